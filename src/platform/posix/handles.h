// Handles of the Linux backend. A handle value names an entry of one table; values are never
// reused, so a handle used after it was closed fails instead of reaching another object.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform::posix {

enum class HandleKind {
    Device,        // an optical drive opened for commands: fd is its descriptor
    DeviceControl, // an optical drive named for notification control only: no descriptor
    File,          // an ordinary file opened for reading: fd is its descriptor
};

struct HandleObject {
    HandleKind kind;
    int fd = -1;
    int driveIndex = -1;                    // N of /dev/srN for the two device kinds
    std::optional<std::string> savedPolling; // media polling text to put back, once saved
};

HANDLE addHandle(HandleObject object);
// nullptr for a value that names no open handle.
HandleObject* findHandle(HANDLE handle);

// Remembers errno-style codes for GetLastError.
void setLastError(int error);

// open(2) that never returns one of the three standard descriptors: with standard output
// closed, a drive opened next must not receive what the program prints. -1 on failure.
int openDescriptor(const char* path, int flags);

// The two halves of CreateFileA: "\\.\X:" names a drive, anything else an ordinary file.
HANDLE openDevice(const char* path, DWORD desiredAccess);
HANDLE openFile(const char* path, DWORD desiredAccess);

}  // namespace platform::posix
