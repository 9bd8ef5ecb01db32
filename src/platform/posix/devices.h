// Optical drives on Linux: drive letters D to Z are /dev/sr0 to /dev/sr22, pass-through
// requests go to the drive with ioctl(SG_IO), and media change notification is the kernel's
// media-event polling of the drive. The functions here are the backend's inner steps, kept
// apart so that tests can drive them without a drive.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <scsi/sg.h>

#include "platform/platform.h"

namespace platform::posix {

constexpr char kFirstDriveLetter = 'D';
constexpr char kLastDriveLetter = 'Z';

// Index N of /dev/srN for a device path "\\.\X:" with X from D to Z; nothing otherwise.
std::optional<int> driveIndexForPath(std::string_view path);

// Sends one request with SG_IO. Production passes the real ioctl; tests stand in for the kernel.
using SgIoCall = std::function<int(int fd, sg_io_hdr& header)>;
int sendSgIo(int fd, sg_io_hdr& header);

// IOCTL_SCSI_PASS_THROUGH_DIRECT on an open drive: reads the SCSI_PASS_THROUGH_DIRECT record
// from `in`, sends its command and writes the record back into `out` with ScsiStatus,
// SenseInfoLength and DataTransferLength, the sense bytes going to SenseInfoOffset of `out`.
// Returns FALSE (with GetLastError) when the request is malformed, the kernel refuses it or the
// command did not reach a SCSI status (time-out, reset, device gone); `out` is then untouched.
BOOL passThroughDirect(int fd, std::span<const std::byte> in, std::span<std::byte> out,
                       DWORD* bytesReturned, const SgIoCall& sgIo);

// Media-event polling of drive N, <sysfsRoot>/block/srN/events_poll_msecs. Turning it off
// saves the text found there (once) and writes 0; restoring writes the saved text back.
// Both return false on any failure and then leave the file as it was.
bool turnMediaPollingOff(const std::filesystem::path& sysfsRoot, int driveIndex,
                         std::optional<std::string>& saved);
bool restoreMediaPolling(const std::filesystem::path& sysfsRoot, int driveIndex,
                         std::optional<std::string>& saved);

}  // namespace platform::posix
