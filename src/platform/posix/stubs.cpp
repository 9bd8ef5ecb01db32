// Linux backend, first cut: console, code page, clock. Drive, host and file operations report
// failure until they are built, so the program runs its main sequence and finds no drive.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

void writeStandardOutput(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    std::fprintf(stderr, "[%s] %s\n", lpCaption, lpText);
    return 0;
}

UINT GetOEMCP() { return 437; }

MMRESULT timeBeginPeriod(UINT uPeriod) { return uPeriod >= 1 ? TIMERR_NOERROR : TIMERR_NOCANDO; }
MMRESULT timeEndPeriod(UINT) { return TIMERR_NOERROR; }
DWORD timeGetTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                              static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL);
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}
LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, HKEY*) { return ERROR_FILE_NOT_FOUND; }
LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }
HGLOBAL GlobalAlloc(UINT, SIZE_T) { return nullptr; }
LPVOID GlobalLock(HGLOBAL) { return nullptr; }
BOOL GlobalUnlock(HGLOBAL) { return FALSE; }
HGLOBAL GlobalFree(HGLOBAL hMem) { return hMem; }
HMODULE LoadLibraryA(LPCSTR) { return nullptr; }
FARPROC GetProcAddress(HMODULE, LPCSTR) { return nullptr; }
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPVOID, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
BOOL CloseHandle(HANDLE) { return FALSE; }
DWORD GetFileSize(HANDLE, LPDWORD) { return INVALID_FILE_SIZE; }
BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPVOID) { return FALSE; }
BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPVOID) { return FALSE; }
DWORD GetLastError() { return static_cast<DWORD>(errno); }
HANDLE CreateEventA(LPVOID, BOOL, BOOL, LPCSTR) { return nullptr; }
DWORD WaitForSingleObject(HANDLE, DWORD) { return WAIT_FAILED; }
void Sleep(DWORD dwMilliseconds) { usleep(static_cast<useconds_t>(dwMilliseconds) * 1000); }

}  // namespace platform
