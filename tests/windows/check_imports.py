"""The shipped rflash.exe imports only from the system's own DLLs and nothing newer than
Windows XP: no runtime DLL of the toolchain, none of the functions toolchains are known to pull
in from later Windows versions."""
import argparse
import re
import subprocess
import sys

ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "winmm.dll", "msvcrt.dll"}

# Functions the program or its runtime could reach for that Windows XP does not have.
NEWER_THAN_XP = {
    "GetTickCount64", "QueryUnbiasedInterruptTime", "GetSystemTimePreciseAsFileTime",
    "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
    "TryAcquireSRWLockShared", "InitializeConditionVariable", "SleepConditionVariableCS",
    "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable",
    "InitOnceInitialize", "InitOnceBeginInitialize", "InitOnceComplete", "InitOnceExecuteOnce",
    "InitializeCriticalSectionEx", "CreateEventExA", "CreateEventExW", "CreateMutexExA",
    "CreateMutexExW", "CreateSemaphoreExA", "CreateSemaphoreExW", "WaitOnAddress",
    "WakeByAddressSingle", "WakeByAddressAll", "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue",
    "GetCurrentProcessorNumber", "SetThreadErrorMode", "GetThreadErrorMode", "GetErrorMode",
    "GetFileInformationByHandleEx", "SetFileInformationByHandle", "GetFinalPathNameByHandleA",
    "GetFinalPathNameByHandleW", "CreateSymbolicLinkA", "CreateSymbolicLinkW", "CreateFile2",
    "CancelIoEx", "GetQueuedCompletionStatusEx", "GetLocaleInfoEx", "LCMapStringEx",
    "CompareStringEx", "GetUserDefaultLocaleName", "LocaleNameToLCID", "LCIDToLocaleName",
    "RegGetValueA", "RegGetValueW", "RegDeleteKeyExA", "RegDeleteKeyExW",
}


def imports(objdump, program):
    """Maps each imported DLL (lower case) to the names imported from it."""
    listing = subprocess.run([objdump, "-p", program], capture_output=True, text=True,
                             check=True).stdout
    table, current = {}, None
    for line in listing.splitlines():
        dll = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if dll:
            current = table.setdefault(dll.group(1).lower(), set())
            continue
        entry = re.match(r"\s*[0-9a-fA-F]+\s+\d+\s+([A-Za-z_]\w*)\s*$", line)
        if current is not None and entry:
            current.add(entry.group(1))
        elif current is not None and not line.strip():
            current = None
    return table


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("program")
    arguments = parser.parse_args()

    table = imports(arguments.objdump, arguments.program)
    problems = []
    if "kernel32.dll" not in table or "CreateFileA" not in table["kernel32.dll"]:
        problems.append("the import table could not be read (no KERNEL32 CreateFileA)")
    for dll in sorted(set(table) - ALLOWED_DLLS):
        problems.append(f"imports from {dll}: {sorted(table[dll])}")
    for dll, names in sorted(table.items()):
        for name in sorted(names & NEWER_THAN_XP):
            problems.append(f"imports {name} from {dll}, which Windows XP does not have")
    for dll, names in sorted(table.items()):
        print(f"{dll}: {len(names)} functions")
    if problems:
        print("FAILED:\n  " + "\n  ".join(problems))
        sys.exit(1)


if __name__ == "__main__":
    main()
