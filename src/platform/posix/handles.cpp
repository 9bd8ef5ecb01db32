#include "platform/posix/handles.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <map>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace platform::posix {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr int kFirstFreeDescriptor = STDERR_FILENO + 1;

struct HandleTable {
    std::map<std::uintptr_t, HandleObject> open;
    std::uintptr_t next = 0x1000;  // far from nullptr and INVALID_HANDLE_VALUE
    int lastError = 0;
};

HandleTable& table() {
    static HandleTable handles;
    return handles;
}

}  // namespace

HANDLE addHandle(HandleObject object) {
    HandleTable& handles = table();
    std::uintptr_t value = handles.next;
    handles.next += 4;
    handles.open.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

HandleObject* findHandle(HANDLE handle) {
    auto& open = table().open;
    auto found = open.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == open.end() ? nullptr : &found->second;
}

void setLastError(int error) {
    table().lastError = error;
}

int openDescriptor(const char* path, int flags) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 || fd >= kFirstFreeDescriptor) return fd;

    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
    int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

}  // namespace platform::posix

namespace platform {

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPVOID /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    // Nothing is ever created: the program only opens drives and its image file.
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING) {
        posix::setLastError(EINVAL);
        return INVALID_HANDLE_VALUE;
    }
    bool isDevice = std::string_view(lpFileName).starts_with(posix::kDevicePrefix);
    return isDevice ? posix::openDevice(lpFileName, dwDesiredAccess)
                    : posix::openFile(lpFileName, dwDesiredAccess);
}

BOOL CloseHandle(HANDLE hObject) {
    auto& open = posix::table().open;
    auto found = open.find(reinterpret_cast<std::uintptr_t>(hObject));
    if (found == open.end()) {
        posix::setLastError(EBADF);
        return FALSE;
    }
    int fd = found->second.fd;
    open.erase(found);
    // Linux releases the descriptor even when close reports an error; never close it twice.
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
        posix::setLastError(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetLastError() {
    return static_cast<DWORD>(posix::table().lastError);
}

}  // namespace platform
