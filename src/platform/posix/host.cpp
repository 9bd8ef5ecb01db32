// The host: version, registry, memory, libraries, events, time. Linux has no registry and no
// ASPI library, so those find nothing and the program takes the pass-through path.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/utsname.h>

#include "platform/posix/handles.h"

namespace platform::posix {
namespace {

constexpr LONG kErrorInvalidHandle = 6;
constexpr UINT kFinestTimerPeriodMs = 1;
constexpr unsigned long long kMillisecondsPerSecond = 1000;
constexpr long kNanosecondsPerMillisecond = 1000000;

// "6.1.0-18-amd64" -> 6, 1, 0: the leading numbers of the kernel release, 0 where missing.
void readKernelVersion(const char* release, OSVERSIONINFOA& info) {
    DWORD* fields[] = {&info.dwMajorVersion, &info.dwMinorVersion, &info.dwBuildNumber};
    const char* next = release;
    for (DWORD* field : fields) {
        char* end = nullptr;
        unsigned long value = std::strtoul(next, &end, 10);
        if (end == next) break;
        *field = static_cast<DWORD>(value);
        if (*end != '.') break;
        next = end + 1;
    }
}

}  // namespace
}  // namespace platform::posix

namespace platform {

BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation) {
    if (lpVersionInformation == nullptr) {
        posix::setLastError(EINVAL);
        return FALSE;
    }
    utsname system{};
    if (::uname(&system) != 0) {
        posix::setLastError(errno);
        return FALSE;
    }
    OSVERSIONINFOA& info = *lpVersionInformation;
    DWORD size = info.dwOSVersionInfoSize;
    info = OSVERSIONINFOA{};
    info.dwOSVersionInfoSize = size;
    info.dwPlatformId = VER_PLATFORM_WIN32_NT;
    posix::readKernelVersion(system.release, info);
    return TRUE;
}

LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, HKEY* phkResult) {
    if (phkResult != nullptr) *phkResult = nullptr;
    return ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY) {
    return posix::kErrorInvalidHandle;  // no key is ever opened
}

// Memory is always zero-filled and never moves, so a lock is the block itself.
HGLOBAL GlobalAlloc(UINT /*uFlags*/, SIZE_T dwBytes) {
    void* block = std::calloc(dwBytes != 0 ? dwBytes : 1, 1);
    if (block == nullptr) posix::setLastError(ENOMEM);
    return block;
}

LPVOID GlobalLock(HGLOBAL hMem) {
    return hMem;
}

BOOL GlobalUnlock(HGLOBAL) {
    posix::setLastError(0);
    return FALSE;  // the block is not locked any more
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    std::free(hMem);
    return nullptr;
}

HMODULE LoadLibraryA(LPCSTR) {
    posix::setLastError(ENOENT);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE, LPCSTR) {
    posix::setLastError(ENOENT);
    return nullptr;
}

// Events serve only the ASPI library, which Linux does not have.
HANDLE CreateEventA(LPVOID, BOOL, BOOL, LPCSTR) {
    posix::setLastError(ENOSYS);
    return nullptr;
}

DWORD WaitForSingleObject(HANDLE, DWORD) {
    posix::setLastError(EBADF);
    return WAIT_FAILED;
}

MMRESULT timeBeginPeriod(UINT uPeriod) {
    return uPeriod >= posix::kFinestTimerPeriodMs ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT timeEndPeriod(UINT uPeriod) {
    return uPeriod >= posix::kFinestTimerPeriodMs ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

DWORD timeGetTime() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    auto milliseconds = static_cast<unsigned long long>(now.tv_sec) * posix::kMillisecondsPerSecond +
                        static_cast<unsigned long long>(now.tv_nsec / posix::kNanosecondsPerMillisecond);
    return static_cast<DWORD>(milliseconds);  // wraps at 2^32 as the platform's count does
}

void Sleep(DWORD dwMilliseconds) {
    timespec rest{static_cast<time_t>(dwMilliseconds / posix::kMillisecondsPerSecond),
                  static_cast<long>(dwMilliseconds % posix::kMillisecondsPerSecond) * posix::kNanosecondsPerMillisecond};
    while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
