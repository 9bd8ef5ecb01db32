// The native Windows backend: every operation of platform.h calls the Windows API of the same
// name through the gateways of sdk.h.
#include <cstdio>

#include "platform/platform.h"
#include "platform/win32/sdk.h"

namespace platform {

// Through the C runtime's stdout, left in the text mode it starts in, as a console program of
// this kind writes: "\n" reaches the console as "\r\n" (and a text's own "\r\n" as "\r\r\n",
// which a console shows the same). Flushed at once so that a progress line moves while a
// transfer runs.
void writeStandardOutput(std::string_view bytes) {
    if (bytes.empty()) return;
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    int answer = win32sdk::messageBox(hWnd, lpText, lpCaption, uType);
    // Windows returns 0 when it cannot show the box; Wine without a display returns -1.
    return answer > 0 ? answer : 0;
}

UINT GetOEMCP() { return win32sdk::getOemCodePage(); }

MMRESULT timeBeginPeriod(UINT uPeriod) { return win32sdk::timeBeginPeriod(uPeriod); }
MMRESULT timeEndPeriod(UINT uPeriod) { return win32sdk::timeEndPeriod(uPeriod); }
DWORD timeGetTime() { return win32sdk::timeGetTime(); }

BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation) {
    return win32sdk::getVersion(lpVersionInformation);
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) {
    return win32sdk::regOpenKey(hKey, lpSubKey, ulOptions, samDesired, phkResult);
}
LONG RegCloseKey(HKEY hKey) { return win32sdk::regCloseKey(hKey); }

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return win32sdk::globalAlloc(uFlags, dwBytes); }
LPVOID GlobalLock(HGLOBAL hMem) { return win32sdk::globalLock(hMem); }
BOOL GlobalUnlock(HGLOBAL hMem) { return win32sdk::globalUnlock(hMem); }
HGLOBAL GlobalFree(HGLOBAL hMem) { return win32sdk::globalFree(hMem); }

HMODULE LoadLibraryA(LPCSTR lpLibFileName) { return win32sdk::loadLibrary(lpLibFileName); }
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    return win32sdk::getProcAddress(hModule, lpProcName);
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPVOID lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return win32sdk::createFile(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}
BOOL CloseHandle(HANDLE hObject) { return win32sdk::closeHandle(hObject); }
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    return win32sdk::getFileSize(hFile, lpFileSizeHigh);
}
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPVOID lpOverlapped) {
    return win32sdk::readFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
}
BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                     DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                     LPDWORD lpBytesReturned, LPVOID lpOverlapped) {
    return win32sdk::deviceIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                     nOutBufferSize, lpBytesReturned, lpOverlapped);
}
DWORD GetLastError() { return win32sdk::getLastError(); }

HANDLE CreateEventA(LPVOID lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    return win32sdk::createEvent(lpEventAttributes, bManualReset, bInitialState, lpName);
}
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return win32sdk::waitForSingleObject(hHandle, dwMilliseconds);
}
void Sleep(DWORD dwMilliseconds) { win32sdk::sleep(dwMilliseconds); }

}  // namespace platform
