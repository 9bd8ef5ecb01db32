#!/usr/bin/env python3
"""Real-kernel check of the Linux rflash.

Boots the machine's Debian kernel under QEMU (software emulation) with a small initramfs that
holds static busybox, the CD drivers, the built rflash with the shared libraries it links and a
firmware image file, runs rflash as root against QEMU's empty CD/DVD drives on one way of
attaching them, and judges what comes back on the second serial port: standard output, standard
error, exit code, the media polling of every drive before, during and after the run, and the
commands the drives completed.

Exit code 0: passed; 1: failed; 77: skipped because this machine lacks QEMU, a kernel or busybox.
"""

from __future__ import annotations

import argparse
import base64
import gzip
import io
import lzma
import os
import re
import shutil
import stat
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

SKIP = 77
HERE = Path(__file__).resolve().parent

EXPECTED_STDOUT = b"\n/// Quarnel Ver2.59B\n\r\nAvailable target is not found."
EXPECTED_EXIT = 1
NO_TARGET_TEXT = b"Available target is not found."
IMAGE_FILE_NAME = "W7283051.107"
# What a desktop's udev sets; it makes the kernel poll every drive for media changes.
DEFAULT_POLL_MS = 2000

# Drivers for the buses below, the sr driver and sg; their dependencies are added from modules.dep.
ROOT_MODULES = ("sr_mod", "sg", "ata_piix", "ata_generic", "ahci", "virtio_pci", "virtio_scsi")

# Enumeration's probes, byte for byte: INQUIRY of 96 bytes and the drive-information READ BUFFER.
INQUIRY_CDB = "12 00 00 00 60 00"
DRIVE_INFO_CDB = "3c 02 f1 00 00 00 00 00 30 00"
# Commands rflash sends only to a drive it updates: none may reach a drive that is no target.
TARGET_ONLY_OPCODES = {0x1B: "START STOP UNIT", 0x3B: "WRITE BUFFER"}

IDE_DVD = ("ata_piix", "QEMU DVD-ROM")
AHCI_DVD = ("ahci", "QEMU DVD-ROM")
SCSI_CD = ("virtio_scsi", "QEMU CD-ROM")

IDE_ARGS = ("-drive", "if=ide,index=2,media=cdrom")  # what -cdrom makes, without a disc
AHCI_ARGS = ("-device", "ahci,id=ahci0",
             "-drive", "if=none,id=cd1,media=cdrom", "-device", "ide-cd,drive=cd1,bus=ahci0.0")
VIRTIO_SCSI_ARGS = ("-device", "virtio-scsi-pci,id=scsi0",
                    "-drive", "if=none,id=cd2,media=cdrom", "-device", "scsi-cd,drive=cd2,bus=scsi0.0")


@dataclass(frozen=True)
class Variant:
    qemu_args: tuple[str, ...]
    drives: tuple[tuple[str, str], ...]  # (host driver, model) of each drive, in any order


VARIANTS = {
    "ide": Variant(IDE_ARGS, (IDE_DVD,)),
    "ahci": Variant(AHCI_ARGS, (AHCI_DVD,)),
    "virtio-scsi": Variant(VIRTIO_SCSI_ARGS, (SCSI_CD,)),
    "two-drives": Variant(IDE_ARGS + AHCI_ARGS, (IDE_DVD, AHCI_DVD)),
}


class Skip(Exception):
    pass


# ---- what the host needs ------------------------------------------------------------------------

def find_kernel(requested: str | None) -> tuple[Path, Path]:
    """The kernel image and its module directory: the one asked for, else the newest installed."""
    if requested:
        image = Path(requested)
        candidates = [image]
    else:
        def version(path: Path) -> list:
            return [int(part) if part.isdigit() else part for part in re.split(r"(\d+)", path.name)]
        candidates = sorted(Path("/boot").glob("vmlinuz-*"), key=version, reverse=True)
    for image in candidates:
        modules = Path("/lib/modules") / image.name.removeprefix("vmlinuz-")
        if image.is_file() and (modules / "modules.dep").is_file():
            if not os.access(image, os.R_OK):
                raise Skip(f"kernel image {image} is not readable by this user")
            return image, modules
    raise Skip("no kernel image with modules (/boot/vmlinuz-* and /lib/modules/*; package linux-image-amd64)")


def is_static_elf(path: Path) -> bool:
    """True for an ELF executable without a program interpreter."""
    data = path.read_bytes()
    if data[:4] != b"\x7fELF" or data[4] != 2:
        return False
    order = "little" if data[5] == 1 else "big"
    phoff = int.from_bytes(data[0x20:0x28], order)
    phentsize = int.from_bytes(data[0x36:0x38], order)
    phnum = int.from_bytes(data[0x38:0x3A], order)
    pt_interp = 3
    return all(int.from_bytes(data[phoff + i * phentsize:phoff + i * phentsize + 4], order) != pt_interp
               for i in range(phnum))


def find_busybox() -> Path:
    for candidate in (Path("/bin/busybox"), Path("/usr/bin/busybox")):
        if candidate.is_file() and is_static_elf(candidate):
            return candidate
    raise Skip("no statically linked busybox (package busybox-static)")


def find_qemu() -> str:
    qemu = shutil.which("qemu-system-x86_64")
    if not qemu:
        raise Skip("qemu-system-x86_64 not found (package qemu-system-x86)")
    return qemu


def module_order(modules_dir: Path) -> list[Path]:
    """The module files to load for ROOT_MODULES, every dependency before its users."""
    def name_of(path: str) -> str:
        return re.sub(r"\.ko(\.\w+)?$", "", path.rsplit("/", 1)[-1]).replace("-", "_")

    deps: dict[str, list[str]] = {}
    paths: dict[str, Path] = {}
    for line in (modules_dir / "modules.dep").read_text().splitlines():
        target, _, rest = line.partition(":")
        name = name_of(target)
        paths[name] = modules_dir / target
        deps[name] = [name_of(d) for d in rest.split()]
    builtin_file = modules_dir / "modules.builtin"
    builtin = {name_of(line) for line in builtin_file.read_text().split()} if builtin_file.is_file() else set()

    order: list[str] = []

    def visit(name: str) -> None:
        if name in order:
            return
        for dep in deps[name]:
            visit(dep)
        order.append(name)

    for root in ROOT_MODULES:
        if root in deps:
            visit(root)
        elif root not in builtin:
            raise Skip(f"kernel {modules_dir.name} has no module {root}")
    return [paths[name] for name in order]


def module_bytes(path: Path) -> bytes:
    """busybox insmod wants plain .ko files."""
    if path.suffix == ".xz":
        return lzma.decompress(path.read_bytes())
    if path.suffix == ".gz":
        return gzip.decompress(path.read_bytes())
    if path.suffix == ".zst":
        zstd = shutil.which("zstd")
        if not zstd:
            raise Skip(f"{path.name} is zstd-compressed and zstd is not installed")
        return subprocess.run([zstd, "-dc", str(path)], check=True, capture_output=True).stdout
    return path.read_bytes()


def shared_libraries(program: Path) -> list[Path]:
    """The shared objects the dynamic loader maps for program, the loader itself included."""
    result = subprocess.run(["ldd", str(program)], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"ldd {program} failed: {result.stderr.strip()}")
    libraries = []
    for line in result.stdout.splitlines():
        match = re.search(r"(?:=>\s*)?(/\S+)\s+\(0x", line)
        if match:
            libraries.append(Path(match.group(1)))
    return libraries


# ---- the initramfs: a newc cpio archive, written here so that no root rights are needed ---------

class Cpio:
    def __init__(self) -> None:
        self.out = io.BytesIO()
        self.inode = 1
        self.dirs: set[str] = set()

    def _entry(self, name: str, mode: int, data: bytes = b"", rdev: tuple[int, int] = (0, 0)) -> None:
        fields = [self.inode, mode, 0, 0, 1, 0, len(data), 0, 0, rdev[0], rdev[1], len(name) + 1, 0]
        self.inode += 1
        self.out.write(b"070701" + b"".join(b"%08X" % f for f in fields) + name.encode() + b"\0")
        self._pad()
        self.out.write(data)
        self._pad()

    def _pad(self) -> None:
        self.out.write(b"\0" * (-self.out.tell() % 4))

    def directory(self, name: str) -> None:
        parent = name.rpartition("/")[0]
        if parent:
            self.directory(parent)
        if name not in self.dirs:
            self.dirs.add(name)
            self._entry(name, stat.S_IFDIR | 0o755)

    def file(self, name: str, data: bytes, mode: int = 0o644) -> None:
        self.directory(name.rpartition("/")[0])
        self._entry(name, stat.S_IFREG | mode, data)

    def char_device(self, name: str, major: int, minor: int) -> None:
        self.directory(name.rpartition("/")[0])
        self._entry(name, stat.S_IFCHR | 0o600, rdev=(major, minor))

    def finish(self) -> bytes:
        self._entry("TRAILER!!!", 0)
        return self.out.getvalue()


def build_initramfs(rflash: Path, busybox: Path, modules: list[Path], drives: int) -> bytes:
    archive = Cpio()
    archive.char_device("dev/console", 5, 1)
    for name in ("proc", "sys", "tmp"):
        archive.directory(name)
    archive.file("init", (HERE / "init.sh").read_bytes(), 0o755)
    archive.file("bin/busybox", busybox.read_bytes(), 0o755)
    names = []
    for path in modules:
        name = re.sub(r"\.ko(\.\w+)?$", "", path.name)
        names.append(name)
        archive.file(f"modules/{name}.ko", module_bytes(path))
    archive.file("modules/order", ("\n".join(names) + "\n").encode())
    for library in shared_libraries(rflash):
        archive.file(str(library).lstrip("/"), library.read_bytes(), 0o755)
    archive.file("check/rflash", rflash.read_bytes(), 0o755)
    # The no-target run never reads the image; it is there because a user's directory holds it.
    archive.file(f"check/{IMAGE_FILE_NAME}", bytes(64 * 1024))
    config = [f"DRIVES={drives}"]
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
        if name in os.environ:
            config.append(f"export {name}='{os.environ[name]}'")
    archive.file("check/vm.conf", ("\n".join(config) + "\n").encode())
    return archive.finish()


# ---- the run --------------------------------------------------------------------------------------

def boot(qemu: str, kernel: Path, initramfs: Path, variant: Variant, work: Path, timeout: float) -> tuple[Path, Path]:
    console = work / "console.log"
    results = work / "results.txt"
    for path in (console, results):
        path.unlink(missing_ok=True)
    command = [
        qemu, "-accel", "tcg", "-m", "512", "-nodefaults", "-no-reboot", "-display", "none",
        "-kernel", str(kernel), "-initrd", str(initramfs),
        "-append", f"console=ttyS0 panic=-1 loglevel=4 block.events_dfl_poll_msecs={DEFAULT_POLL_MS}",
        "-serial", f"file:{console}", "-serial", f"file:{results}",
        *variant.qemu_args,
    ]
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        output, _ = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        output, _ = process.communicate()
        raise RuntimeError(f"the virtual machine did not power off within {timeout:.0f} s") from None
    if process.returncode != 0:
        raise RuntimeError(f"qemu ended with {process.returncode}: {output.decode(errors='replace').strip()}")
    return console, results


@dataclass
class Drive:
    name: str
    hctl: str
    bus: str
    device_type: str
    model: str
    polls: dict[str, str] = field(default_factory=dict)


@dataclass
class Observations:
    drives: dict[str, Drive] = field(default_factory=dict)
    box: str = ""
    exit_code: int | None = None
    stdout: bytes | None = None
    stderr: bytes = b""
    stderr_at_box: bytes = b""
    trace: list[str] = field(default_factory=list)
    notes: list[str] = field(default_factory=list)
    complete: bool = False


def parse(results: Path) -> Observations:
    seen = Observations()
    for raw in results.read_bytes().decode(errors="replace").splitlines():
        key, _, value = raw.rstrip("\r").partition(" ")
        if key == "drive":
            name, hctl, bus, device_type, vendor_and_model = value.split(maxsplit=4)
            # sysfs gives the INQUIRY fields blank-padded; the vendor is the first word.
            model = vendor_and_model.split(maxsplit=1)[1] if " " in vendor_and_model else ""
            seen.drives[name] = Drive(name, hctl, bus, device_type, model.strip())
        elif key in ("poll_before", "poll_at_box", "poll_after"):
            name, _, text = value.partition(" ")
            seen.drives[name].polls[key] = text
        elif key == "box":
            seen.box = value
        elif key == "exit":
            seen.exit_code = int(value)
        elif key in ("stdout", "stderr", "stderr_at_box"):
            setattr(seen, key, base64.b64decode(value))
        elif key == "trace":
            seen.trace.append(value)
        elif key == "note":
            seen.notes.append(value)
        elif key == "end":
            seen.complete = True
    return seen


TRACE_LINE = re.compile(r"scsi_dispatch_cmd_(start|done): host_no=(\d+) channel=(\d+) id=(\d+) lun=(\d+) "
                        r".*?raw=([0-9a-f ]+)\)(?:.*?status=(\w+))?")


@dataclass(frozen=True)
class Command:
    event: str  # "start" when dispatched to the drive, "done" when completed with a status
    hctl: str
    cdb: str
    status: str | None


def traced_commands(trace: list[str]) -> list[Command]:
    """Every command the SCSI layer dispatched or completed while rflash ran. A command that
    fails on an ATAPI drive completes through libata's error handling, which leaves no "done"."""
    commands = []
    for line in trace:
        match = TRACE_LINE.search(line)
        if match:
            event, host, channel, target, lun, cdb, status = match.groups()
            commands.append(Command(event, f"{host}:{channel}:{target}:{lun}", cdb.strip(), status))
    return commands


def judge(variant: Variant, seen: Observations) -> list[str]:
    faults = []
    if not seen.complete:
        return ["the virtual machine's report ended early"] + seen.notes
    faults += seen.notes
    found = sorted((d.bus, d.model) for d in seen.drives.values())
    if found != sorted(variant.drives):
        faults.append(f"drives {found}, expected {sorted(variant.drives)}")
    if seen.stdout != EXPECTED_STDOUT:
        faults.append(f"standard output {seen.stdout!r}, expected {EXPECTED_STDOUT!r}")
    if seen.exit_code != EXPECTED_EXIT:
        faults.append(f"exit code {seen.exit_code}, expected {EXPECTED_EXIT}")
    if seen.box != "waiting":
        faults.append(f"rflash did not wait at the box of its no-target message ({seen.box})")
    elif NO_TARGET_TEXT not in seen.stderr_at_box or b"RFLASH" not in seen.stderr_at_box:
        faults.append(f"the box on standard error does not show the no-target message: {seen.stderr_at_box!r}")

    commands = traced_commands(seen.trace)
    for drive in seen.drives.values():
        if drive.device_type != "5":
            faults.append(f"{drive.name}: device type {drive.device_type}, expected 5")
        before = drive.polls.get("poll_before")
        if before in (None, "0"):
            faults.append(f"{drive.name}: media polling {before!r} before the run; the check needs it on")
        if seen.box == "waiting" and drive.polls.get("poll_at_box") != "0":
            faults.append(f"{drive.name}: media polling {drive.polls.get('poll_at_box')!r} at the box, expected '0'")
        if drive.polls.get("poll_after") != before:
            faults.append(f"{drive.name}: media polling {drive.polls.get('poll_after')!r} after the run, "
                          f"expected {before!r} as before")
        mine = [c for c in commands if c.hctl == drive.hctl]
        sent = {c.cdb for c in mine if c.event == "start"}
        for what, cdb in (("INQUIRY", INQUIRY_CDB), ("READ BUFFER", DRIVE_INFO_CDB)):
            if cdb not in sent:
                faults.append(f"{drive.name}: rflash's {what} {cdb} never reached the drive")
        if Command("done", drive.hctl, INQUIRY_CDB, "SAM_STAT_GOOD") not in mine:
            faults.append(f"{drive.name}: the INQUIRY did not complete GOOD")
        for cdb in sorted(sent):
            opcode = int(cdb.split()[0], 16)
            if opcode in TARGET_ONLY_OPCODES:
                faults.append(f"{drive.name}: {TARGET_ONLY_OPCODES[opcode]} {cdb} reached a drive that is no target")
    return faults


def describe(seen: Observations) -> str:
    lines = []
    for drive in sorted(seen.drives.values(), key=lambda d: d.name):
        polls = " / ".join(drive.polls.get(k, "-") for k in ("poll_before", "poll_at_box", "poll_after"))
        lines.append(f"  {drive.name} {drive.hctl} {drive.bus} type {drive.device_type} {drive.model!r}: "
                     f"events_poll_msecs before / at box / after = {polls}")
    lines.append(f"  box: {seen.box}; exit code: {seen.exit_code}")
    lines.append(f"  stdout: {seen.stdout!r}")
    lines.append(f"  stderr: {seen.stderr!r}")
    for command in traced_commands(seen.trace):
        if command.event == "start":
            lines.append(f"  sent {command.hctl}: {command.cdb}")
        else:
            lines.append(f"  done {command.hctl}: {command.cdb} -> {command.status}")
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rflash", required=True, type=Path, help="the built Linux rflash")
    parser.add_argument("--variant", required=True, choices=sorted(VARIANTS))
    parser.add_argument("--work-dir", required=True, type=Path)
    parser.add_argument("--kernel", help="kernel image (default: the newest /boot/vmlinuz-* with modules)")
    parser.add_argument("--timeout", type=float, default=150.0, help="seconds until the VM is given up")
    args = parser.parse_args()
    variant = VARIANTS[args.variant]

    try:
        qemu = find_qemu()
        busybox = find_busybox()
        kernel, modules_dir = find_kernel(args.kernel)
        modules = module_order(modules_dir)
    except Skip as reason:
        print(f"SKIP: {reason}")
        return SKIP

    args.work_dir.mkdir(parents=True, exist_ok=True)
    initramfs = args.work_dir / "initramfs.cpio"
    initramfs.write_bytes(build_initramfs(args.rflash.resolve(), busybox, modules, len(variant.drives)))
    print(f"{args.variant}: booting {kernel.name} under QEMU (TCG)")
    started = time.monotonic()
    try:
        console, results = boot(qemu, kernel, initramfs, variant, args.work_dir, args.timeout)
    except RuntimeError as failure:
        print(f"FAIL: {failure}")
        console = args.work_dir / "console.log"
        if console.is_file():
            print("--- console (last lines)\n" + "\n".join(console.read_text(errors="replace").splitlines()[-40:]))
        return 1
    seen = parse(results)
    print(f"{args.variant}: virtual machine ran {time.monotonic() - started:.1f} s\n{describe(seen)}")
    faults = judge(variant, seen)
    if faults:
        print("FAIL:\n  " + "\n  ".join(faults))
        print("--- console (last lines)\n" + "\n".join(console.read_text(errors="replace").splitlines()[-40:]))
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
