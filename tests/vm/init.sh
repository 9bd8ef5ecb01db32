#!/bin/busybox sh
# First process of the check's virtual machine. Loads the CD drivers, runs rflash with its
# standard input held open on a fifo so that it waits at its first box, reads the drives' media
# polling there and after the run, and writes every observation to the second serial port as
# "key value" lines, byte data in base64. The host judges them; nothing here decides pass or fail.
export PATH=/bin
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tracefs tracefs /sys/kernel/tracing 2>/dev/null
exec </dev/console >/dev/console 2>&1
. /check/vm.conf

stty -F /dev/ttyS1 raw -echo
exec 3>/dev/ttyS1
say() { echo "$*" >&3; }
blob() { printf '%s ' "$1" >&3; base64 -w 0 <"$2" >&3; echo >&3; }
finish() {
    say end
    exec 3>&-
    sleep 1
    poweroff -f
}

for module in $(cat /modules/order); do
    insmod "/modules/$module.ko" || say "note insmod $module failed"
done

# Drives appear once their bus has been probed; wait for the number this machine was given.
tries=0
while [ "$(ls -d /sys/block/sr* 2>/dev/null | wc -l)" -lt "$DRIVES" ]; do
    tries=$((tries + 1))
    [ $tries -gt 300 ] && break
    usleep 100000
done
drives=""
for block in /sys/block/sr*; do
    [ -e "$block" ] || continue
    name=${block##*/}
    tries=0
    while [ ! -e "/dev/$name" ] && [ $tries -lt 50 ]; do tries=$((tries + 1)); usleep 100000; done
    drives="$drives $name"
    hctl=$(basename "$(readlink "$block/device")")
    bus=$(cat "/sys/class/scsi_host/host${hctl%%:*}/proc_name")
    say "drive $name $hctl $bus $(cat "$block/device/type") $(cat "$block/device/vendor") $(cat "$block/device/model")"
done
polls() { for name in $drives; do say "$1 $name $(cat "/sys/block/$name/events_poll_msecs")"; done; }
polls poll_before

# Record the commands the drives complete while rflash runs.
trace=/sys/kernel/tracing
if [ -e $trace/events/scsi/scsi_dispatch_cmd_done/enable ]; then
    echo 0 >$trace/tracing_on
    echo >$trace/trace
    echo 1 >$trace/events/scsi/scsi_dispatch_cmd_start/enable
    echo 1 >$trace/events/scsi/scsi_dispatch_cmd_done/enable
    echo 1 >$trace/tracing_on
else
    say "note no scsi trace events"
fi

cd /check
mkfifo /tmp/answers
./rflash </tmp/answers >/tmp/stdout 2>/tmp/stderr &
pid=$!
exec 4>/tmp/answers

# rflash is at a box when it blocks reading its standard input: read(2) on descriptor 0.
box=ended
tries=0
while [ $tries -lt 1200 ]; do
    set -- $(cat /proc/$pid/syscall 2>/dev/null)
    if [ "$1" = 0 ] && [ "$2" = 0x0 ]; then box=waiting; break; fi
    set -- $(cat /proc/$pid/stat 2>/dev/null)
    if [ -z "$3" ] || [ "$3" = Z ]; then break; fi
    tries=$((tries + 1))
    usleep 50000
done
[ $box = ended ] && [ $tries -ge 1200 ] && box=timeout
say "box $box"
if [ $box = waiting ]; then
    polls poll_at_box
    blob stderr_at_box /tmp/stderr
    echo ok >&4
elif [ $box = timeout ]; then
    kill -9 $pid
fi
exec 4>&-
wait $pid
say "exit $?"
polls poll_after
echo 0 >$trace/tracing_on 2>/dev/null
blob stdout /tmp/stdout
blob stderr /tmp/stderr
grep -h scsi_dispatch_cmd_ $trace/trace 2>/dev/null >/tmp/trace
while read -r line; do say "trace $line"; done </tmp/trace
finish
