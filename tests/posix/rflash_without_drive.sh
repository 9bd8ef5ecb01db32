#!/bin/sh
# Runs the built rflash on a machine without an optical drive, with standard input closed:
# it must print the banner and message 28 on standard output, draw the information box on
# standard error without waiting for an answer, and exit with 1.
rflash=$1
for node in /dev/sr*; do
  if [ -e "$node" ]; then
    echo "skipped: an optical drive is attached ($node)"
    exit 77
  fi
done

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

LC_ALL=C timeout 10 "$rflash" 0<&- >out 2>err
status=$?
printf '\n/// Quarnel Ver2.59B\n\r\nAvailable target is not found.' >expected

failed=0
if [ "$status" -ne 1 ]; then
  echo "exit code $status, expected 1 (124: still waiting after 10 s)"
  failed=1
fi
if ! cmp -s out expected; then
  echo "standard output differs; it was:"
  od -c out
  failed=1
fi
if ! grep -q 'Available target is not found.' err; then
  echo "no information box on standard error; it held:"
  cat err
  failed=1
fi
exit $failed
