// Handles of the emulated host. Every handle value is new (values are never reused), so a
// handle used after it was closed is caught instead of reaching another object.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace emu {

enum class HandleKind { Device, Event, File };

struct HandleTarget {
    HandleKind kind;
    std::uint32_t object;  // index in the owning area's table
};

platform::HANDLE allocateHandle(HandleKind kind, std::uint32_t object);
// Registers a value that is not open at the moment (the events area hands out closed event
// handle values again when asked to behave as Windows may). False when the value is in use.
bool adoptHandle(platform::HANDLE value, HandleKind kind, std::uint32_t object);
std::optional<HandleTarget> findHandle(platform::HANDLE handle);
void forgetHandle(platform::HANDLE handle);
// Handles still open, for tests that check the program released what it took.
int openHandleCount(HandleKind kind);

// The areas behind CreateFileA and CloseHandle.
// Opens "\\.\X:" device paths; other names are files.
platform::HANDLE openDevice(const char* path, platform::DWORD desiredAccess);
platform::HANDLE openFile(const char* path, platform::DWORD desiredAccess);
void closeDevice(std::uint32_t object);
void closeEvent(std::uint32_t object);
void closeFile(std::uint32_t object);

void setLastError(platform::DWORD error);

// SendASPI32Command hands SC_EXEC_SCSI_CMD requests to the device area, which completes them
// later in virtual time as the real library does. Returns what SendASPI32Command returns.
platform::DWORD executeAspiRequest(platform::SRB_ExecSCSICmd* request);

}  // namespace emu
