"""The real rflash.exe on the library path: a Windows 98 Wine prefix, the project's test
WNASPI32.DLL (the emulated drive model behind real Win32 events and the library's own thread),
one whole update. Checks the exit code, the console bytes, the boxes, every request the program
made, and the drive afterwards; then compares console, boxes, command trace and exit code with
the same scenario run on the emulated host (aspi_reference), byte for byte."""
import argparse
import os
import re
import shutil

import winerun

BANNER = "\n/// Quarnel Ver2.59B\n"
PIECE = 32768
IMAGE_SIZE = 2 * 1024 * 1024
IDENTIFICATION = "ZANTOVA DVD-RW  QRW-E28 "
ANSWERS = "6"  # Yes to the update question; the notices after it are not answered (0)


def english_catalogue(path):
    """Message code -> English text (a printf format) from the catalogue source."""
    texts = {}
    escapes = {"\\r": "\r", "\\n": "\n", '\\"': '"'}
    with open(path, encoding="utf-8") as catalogue:
        for line in catalogue:
            match = re.match(r'^(\d+) en "(.*)"$', line.rstrip("\n"))
            if match:
                texts[int(match.group(1))] = re.sub(r'\\[rn"]', lambda m: escapes[m.group(0)], match.group(2))
    return texts


def in_order(text, pieces):
    """The first piece not found after the previous one, or None when all are there in order."""
    position = 0
    for piece in pieces:
        found = text.find(piece, position)
        if found < 0:
            return piece
        position = found + len(piece)
    return None


def read(workdir, name):
    path = os.path.join(workdir, name)
    if not os.path.exists(path):
        return ""
    with open(path, encoding="latin-1") as file:
        return file.read()


def check_requests(requests, scenario, problems):
    lines = [line for line in requests.splitlines() if line]
    if not lines:
        problems.append("the library received no SC_EXEC_SCSI_CMD request")
        return
    pieces = [line for line in lines if re.search(r"opcode 3B mode 07", line)]
    offsets = [int(re.search(r"offset (\d+)", line).group(1)) for line in pieces]
    if offsets != list(range(0, IMAGE_SIZE, PIECE)):
        problems.append(f"image pieces went to offsets {offsets[:4]}... ({len(offsets)} pieces), "
                        f"expected every {PIECE} bytes up to {IMAGE_SIZE}")
    for line in pieces:
        if f"length {PIECE} data matches-image" not in line:
            problems.append(f"piece not carrying the file's bytes: {line}")
            break
    first_piece = lines.index(pieces[0]) if pieces else len(lines)
    last_piece = lines.index(pieces[-1]) if pieces else -1
    if not any(re.search(r"opcode 3B mode 04", line) for line in lines[:first_piece]):
        problems.append("no switch into kernel mode (WRITE BUFFER mode 4) before the image")
    if not any(re.search(r"opcode 3B mode 05", line) for line in lines[last_piece + 1:]):
        problems.append("no store and restart (WRITE BUFFER mode 5) after the image")
    for line in lines:
        adapter = int(re.search(r"adapter (\d+)", line).group(1))
        flags = int(re.search(r"flags ([0-9A-F]{2})", line).group(1), 16)
        polled = scenario == "ieee1394" and adapter == 1 and " opcode 3B " in line
        event = "event yes" in line and flags & 0x40
        if polled and ("event no" not in line or flags & 0x40):
            problems.append(f"WRITE BUFFER to the IEEE 1394 adapter not polled: {line}")
        if not polled and not event:
            problems.append(f"request without its event: {line}")


def compare_with_reference(arguments, code, stdout, problems):
    """The same scenario on the emulated host must have printed the same texts (which the C
    runtime's text mode turns "\n" into "\r\n" under Windows), shown the same boxes, sent the
    same commands and ended with the same exit code."""
    workdir = os.path.join(arguments.workdir, "reference")
    os.makedirs(workdir)
    reference_code, _, reference_stderr = winerun.run(arguments.wine_run, arguments.prefix, arguments.reference,
                                                      workdir, arguments=[arguments.scenario, ANSWERS])
    if reference_code != 0:
        problems.append(f"the reference run failed ({reference_code}): {reference_stderr!r}")
        return
    with open(os.path.join(workdir, "reference-console.bin"), "rb") as console:
        expected = console.read().replace(b"\n", b"\r\n")
    if stdout != expected:
        at = next((i for i, (a, b) in enumerate(zip(stdout, expected)) if a != b), min(len(stdout), len(expected)))
        problems.append(f"console differs from the emulated run at byte {at}: "
                        f"{stdout[at:at + 60]!r} instead of {expected[at:at + 60]!r}")
    for name in ("boxes", "trace"):
        real = read(arguments.workdir, f"aspi-{name}.txt")
        reference = read(workdir, f"reference-{name}.txt")
        if real != reference:
            real_lines, reference_lines = real.splitlines(), reference.splitlines()
            at = next((i for i, (a, b) in enumerate(zip(real_lines, reference_lines)) if a != b),
                      min(len(real_lines), len(reference_lines)))
            problems.append(f"{name} differ from the emulated run at line {at + 1}: "
                            f"{real_lines[at:at + 1]} instead of {reference_lines[at:at + 1]}")
    reference_exit = int(read(workdir, "reference-exit.txt") or -1)
    if code != reference_exit:
        problems.append(f"exit code {code}, the emulated run ended with {reference_exit}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--scenario", required=True, choices=["update", "ieee1394"])
    arguments = parser.parse_args()
    for built in ("wine_run", "prefix", "program", "library", "reference"):
        setattr(arguments, built, os.path.abspath(getattr(arguments, built)))

    shutil.rmtree(arguments.workdir, ignore_errors=True)
    os.makedirs(arguments.workdir)
    for built in (arguments.program, arguments.library):
        shutil.copy(built, arguments.workdir)
    program = os.path.join(arguments.workdir, os.path.basename(arguments.program))
    code, stdout, stderr = winerun.run(arguments.wine_run, arguments.prefix, program, arguments.workdir, {
        "WINEDLLOVERRIDES": "wnaspi32=n,b",
        "RFLASH_ASPI_SCENARIO": arguments.scenario,
        "RFLASH_ASPI_ANSWERS": ANSWERS,
    })

    library = read(arguments.workdir, "aspi-library.txt")
    if "MessageBoxA replaced" not in library:
        winerun.fail(f"the test library was not loaded or could not answer the boxes: {library!r}; "
                     f"stderr: {stderr!r}", stdout)
    if f"scenario {arguments.scenario} started" not in library:
        winerun.fail(f"the library's scenario did not start: {library!r}", stdout)

    problems = []
    if code != 0:
        problems.append(f"exit code {code}, expected 0")
    if re.search(rb"(?<!\r)\n", stdout):
        problems.append("a line feed left the C runtime without its carriage return")
    console = stdout.replace(b"\r\n", b"\n").decode("latin-1")
    texts = english_catalogue(arguments.catalogue)
    expected = [
        BANNER,
        texts[34] % 1,
        f"\nCurrent Revision>> {IDENTIFICATION} 1.05  09/03/04",
        texts[61],
        "\rProcessing 0%",
        "\rProcessing 100% --> Data transfer complete\r\nNow internal re-flashing...",
        f"\nNew Revision    >> {IDENTIFICATION} 1.07  10/01/20",
        texts[12],
        texts[35],
    ]
    missing = in_order(console, expected)
    if missing is not None:
        problems.append(f"console: {missing!r} missing or out of order")

    boxes = read(arguments.workdir, "aspi-boxes.txt").splitlines()
    question = "box type 24 answer 6 caption RFLASH text \\x0D\\x0ADo you want to update the F/W"
    if not boxes or not boxes[0].startswith(question):
        problems.append(f"first box is not the update question answered Yes: {boxes[:1]}")
    if not boxes or not boxes[-1].startswith("box type 40 answer 0 caption RFLASH text \\x0D\\x0AUpdate operation is completed."):
        problems.append(f"last box is not the completion notice: {boxes[-1:]}")

    check_requests(read(arguments.workdir, "aspi-requests.txt"), arguments.scenario, problems)

    drives = read(arguments.workdir, "aspi-drives.txt")
    if not re.search(r"revision 1\.07 kernel-mode no restarts 1 image matches-file", drives):
        problems.append(f"the drive did not restart with the new image: {drives!r}")

    compare_with_reference(arguments, code, stdout, problems)

    if problems:
        winerun.fail("\n  ".join([""] + problems), stdout)
    print(f"{arguments.scenario}: update completed through the test library; "
          f"{len(read(arguments.workdir, 'aspi-requests.txt').splitlines())} requests checked")


if __name__ == "__main__":
    main()
