// Ordinary files: the firmware image in the current directory.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/handles.h"

namespace platform::posix {
namespace {

constexpr unsigned kDwordBits = 32;

HandleObject* findFile(HANDLE handle) {
    HandleObject* file = findHandle(handle);
    if (file == nullptr || file->kind != HandleKind::File) {
        setLastError(EBADF);
        return nullptr;
    }
    return file;
}

}  // namespace

HANDLE openFile(const char* path, DWORD desiredAccess) {
    int access = (desiredAccess & GENERIC_WRITE) != 0 ? ((desiredAccess & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY)
                                                      : O_RDONLY;
    // O_NONBLOCK keeps a FIFO at that name from stalling the open; it is refused below.
    int fd = openDescriptor(path, access | O_NONBLOCK);
    if (fd < 0) {
        setLastError(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        setLastError(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    return addHandle({HandleKind::File, fd, -1, std::nullopt});
}

}  // namespace platform::posix

namespace platform {

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    posix::HandleObject* file = posix::findFile(hFile);
    if (file == nullptr) return INVALID_FILE_SIZE;
    struct stat status {};
    if (::fstat(file->fd, &status) != 0) {
        posix::setLastError(errno);
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<unsigned long long>(status.st_size);
    auto high = static_cast<DWORD>(size >> posix::kDwordBits);
    auto low = static_cast<DWORD>(size);
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = high;
    } else if (high != 0 || low == INVALID_FILE_SIZE) {
        // The size does not fit in what the caller can receive; a cut-down size would be wrong.
        posix::setLastError(EFBIG);
        return INVALID_FILE_SIZE;
    }
    posix::setLastError(0);
    return low;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPVOID lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    posix::HandleObject* file = posix::findFile(hFile);
    if (file == nullptr) return FALSE;
    if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead != 0)) {
        posix::setLastError(EINVAL);
        return FALSE;
    }
    auto* next = static_cast<char*>(lpBuffer);
    DWORD total = 0;
    // read(2) may return less than asked; keep going until the count or the end of the file.
    while (total < nNumberOfBytesToRead) {
        ssize_t got = ::read(file->fd, next + total, nNumberOfBytesToRead - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            posix::setLastError(errno);
            if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
            return FALSE;
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
    return TRUE;
}

}  // namespace platform
