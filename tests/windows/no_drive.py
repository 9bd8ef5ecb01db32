"""rflash.exe on a machine without drives: the banner and message 28 on standard output, through
the C runtime's text mode ("\n" becomes "\r\n"), and exit code 1."""
import argparse

import winerun

BANNER = b"\r\n/// Quarnel Ver2.59B\r\n"
NOT_FOUND = b"\r\r\nAvailable target is not found."


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--workdir", required=True)
    arguments = parser.parse_args()

    code, stdout, stderr = winerun.run(arguments.wine_run, arguments.prefix, arguments.program,
                                       arguments.workdir)
    if stdout != BANNER + NOT_FOUND:
        winerun.fail(f"unexpected console output; stderr: {stderr!r}", stdout)
    if code != 1:
        winerun.fail(f"exit code {code}, expected 1")
    print("banner and message 28 printed, exit code 1")


if __name__ == "__main__":
    main()
