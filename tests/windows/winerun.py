"""Runs a Windows program under Wine through cmake/wine-run.sh, for the checks of rflash.exe."""
import os
import subprocess
import sys


def run(wine_run, prefix, program, workdir, env=None, timeout=300, arguments=()):
    """Runs program in workdir; returns (exit code, stdout bytes, stderr bytes)."""
    environment = dict(os.environ)
    # English texts whatever the machine's locale: Wine derives the OEM code page from it.
    environment["LC_ALL"] = "C"
    environment.pop("LANG", None)
    environment.update(env or {})
    os.makedirs(workdir, exist_ok=True)
    completed = subprocess.run([wine_run, prefix, program, *arguments], cwd=workdir, env=environment,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
    return completed.returncode, completed.stdout, completed.stderr


def fail(message, stdout=None):
    print(f"FAILED: {message}")
    if stdout is not None:
        print(f"console bytes: {stdout!r}")
    sys.exit(1)
