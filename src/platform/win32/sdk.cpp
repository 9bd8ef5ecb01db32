// The Windows API behind the gateways of sdk.h; the only place besides layout.cpp that sees
// <windows.h>.
#include "platform/win32/sdk.h"

#include <windows.h>
#include <mmsystem.h>

namespace win32sdk {

Handle createFile(const char* name, std::uint32_t desiredAccess, std::uint32_t shareMode,
                  void* securityAttributes, std::uint32_t creationDisposition,
                  std::uint32_t flagsAndAttributes, Handle templateFile) {
    return ::CreateFileA(name, desiredAccess, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes),
                         creationDisposition, flagsAndAttributes, templateFile);
}

std::int32_t closeHandle(Handle handle) { return ::CloseHandle(handle); }

std::uint32_t getFileSize(Handle file, std::uint32_t* sizeHigh) {
    DWORD high = 0;
    DWORD low = ::GetFileSize(file, sizeHigh != nullptr ? &high : nullptr);
    if (sizeHigh != nullptr) *sizeHigh = high;
    return low;
}

std::int32_t readFile(Handle file, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead,
                      void* overlapped) {
    DWORD read = 0;
    BOOL result = ::ReadFile(file, buffer, bytesToRead, bytesRead != nullptr ? &read : nullptr,
                             static_cast<LPOVERLAPPED>(overlapped));
    if (bytesRead != nullptr) *bytesRead = read;
    return result;
}

std::int32_t deviceIoControl(Handle device, std::uint32_t controlCode, void* inBuffer,
                             std::uint32_t inSize, void* outBuffer, std::uint32_t outSize,
                             std::uint32_t* bytesReturned, void* overlapped) {
    DWORD returned = 0;
    BOOL result = ::DeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                    bytesReturned != nullptr ? &returned : nullptr,
                                    static_cast<LPOVERLAPPED>(overlapped));
    if (bytesReturned != nullptr) *bytesReturned = returned;
    return result;
}

std::uint32_t getLastError() { return ::GetLastError(); }

std::int32_t messageBox(void* owner, const char* text, const char* caption, std::uint32_t type) {
    return ::MessageBoxA(static_cast<HWND>(owner), text, caption, type);
}

std::uint32_t getOemCodePage() { return ::GetOEMCP(); }

std::uint32_t timeBeginPeriod(std::uint32_t period) { return ::timeBeginPeriod(period); }
std::uint32_t timeEndPeriod(std::uint32_t period) { return ::timeEndPeriod(period); }
std::uint32_t timeGetTime() { return ::timeGetTime(); }

std::int32_t getVersion(void* info) {
    return ::GetVersionExA(static_cast<OSVERSIONINFOA*>(info));
}

std::int32_t regOpenKey(void* key, const char* subKey, std::uint32_t options, std::uint32_t access,
                        void** result) {
    HKEY opened = nullptr;
    LONG status = ::RegOpenKeyExA(static_cast<HKEY>(key), subKey, options, access, &opened);
    if (result != nullptr) *result = opened;
    return status;
}

std::int32_t regCloseKey(void* key) { return ::RegCloseKey(static_cast<HKEY>(key)); }

void* globalAlloc(std::uint32_t flags, std::size_t bytes) { return ::GlobalAlloc(flags, bytes); }
void* globalLock(void* memory) { return ::GlobalLock(memory); }
std::int32_t globalUnlock(void* memory) { return ::GlobalUnlock(memory); }
void* globalFree(void* memory) { return ::GlobalFree(memory); }

void* loadLibrary(const char* fileName) { return ::LoadLibraryA(fileName); }

Procedure getProcAddress(void* module, const char* name) {
    // Every entry point is called through a pointer of its own type by the caller.
    return reinterpret_cast<Procedure>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

Handle createEvent(void* securityAttributes, std::int32_t manualReset, std::int32_t initialState,
                   const char* name) {
    return ::CreateEventA(static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes), manualReset,
                          initialState, name);
}

std::uint32_t waitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

void sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace win32sdk
