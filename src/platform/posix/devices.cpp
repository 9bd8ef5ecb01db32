#include "platform/posix/devices.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/handles.h"

namespace platform::posix {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kDriveNodePrefix = "/dev/sr";
constexpr const char* kSysfsRoot = "/sys";
constexpr const char* kPollingAttribute = "events_poll_msecs";
constexpr std::string_view kPollingOff = "0\n";
constexpr std::size_t kLongestPollingText = 64;

constexpr int kSgInterface = 'S';
constexpr unsigned kMillisecondsPerSecond = 1000;
// UINT_MAX asks SG_IO for no time-out at all; a request always keeps a bound.
constexpr unsigned kLongestTimeoutMs = UINT_MAX - 1;
// driver_status: the driver byte is its low nibble; the sense flag only says sense is there.
constexpr unsigned short kDriverSense = 0x08;
constexpr unsigned short kDriverByteMask = 0x0F;
constexpr unsigned short kDriverTimeout = 0x06;
constexpr unsigned short kHostTimeout = 0x03;

BOOL fail(int error) {
    setLastError(error);
    return FALSE;
}

std::string drivePath(int driveIndex) {
    return std::string(kDriveNodePrefix) + std::to_string(driveIndex);
}

std::filesystem::path pollingPath(const std::filesystem::path& sysfsRoot, int driveIndex) {
    return sysfsRoot / "block" / ("sr" + std::to_string(driveIndex)) / kPollingAttribute;
}

std::optional<std::string> readSmallText(const std::filesystem::path& path) {
    int fd = openDescriptor(path.c_str(), O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::array<char, kLongestPollingText> text{};
    ssize_t got;
    do {
        got = ::read(fd, text.data(), text.size());
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0) return std::nullopt;
    return std::string(text.data(), static_cast<std::size_t>(got));
}

bool writeText(const std::filesystem::path& path, std::string_view text) {
    // No O_CREAT: a drive without the attribute keeps not having it.
    int fd = openDescriptor(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) return false;
    bool written = true;
    while (!text.empty()) {
        ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            written = false;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    ::close(fd);
    return written;
}

int dataDirection(UCHAR dataIn) {
    switch (dataIn) {
        case SCSI_IOCTL_DATA_IN: return SG_DXFER_FROM_DEV;
        case SCSI_IOCTL_DATA_OUT: return SG_DXFER_TO_DEV;
        default: return SG_DXFER_NONE;
    }
}

int openFlagsFor(DWORD desiredAccess) {
    constexpr DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
    int access = (desiredAccess & readWrite) == readWrite ? O_RDWR
                 : (desiredAccess & GENERIC_WRITE) != 0  ? O_WRONLY
                                                          : O_RDONLY;
    // O_NONBLOCK lets a drive without a disc open.
    return access | O_NONBLOCK;
}

}  // namespace

std::optional<int> driveIndexForPath(std::string_view path) {
    if (!path.starts_with(kDevicePrefix)) return std::nullopt;
    path.remove_prefix(kDevicePrefix.size());
    if (path.size() != 2 || path[1] != ':') return std::nullopt;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < kFirstDriveLetter || letter > kLastDriveLetter) return std::nullopt;
    return letter - kFirstDriveLetter;
}

int sendSgIo(int fd, sg_io_hdr& header) {
    // Never repeated on EINTR: the command may already have reached the drive.
    return ::ioctl(fd, SG_IO, &header);
}

BOOL passThroughDirect(int fd, std::span<const std::byte> in, std::span<std::byte> out,
                       DWORD* bytesReturned, const SgIoCall& sgIo) {
    SCSI_PASS_THROUGH_DIRECT request;
    if (in.size() < sizeof request || out.size() < sizeof request) return fail(EINVAL);
    std::memcpy(&request, in.data(), sizeof request);

    if (request.Length != sizeof request) return fail(EINVAL);
    if (request.CdbLength == 0 || request.CdbLength > sizeof request.Cdb) return fail(EINVAL);
    if (request.DataIn > SCSI_IOCTL_DATA_UNSPECIFIED) return fail(EINVAL);
    bool hasData = request.DataTransferLength != 0;
    // A data phase needs a buffer and a known direction; nothing is sent otherwise.
    if (hasData && (request.DataBuffer == nullptr || request.DataIn == SCSI_IOCTL_DATA_UNSPECIFIED)) {
        return fail(EINVAL);
    }
    std::size_t senseOffset = request.SenseInfoOffset;
    std::size_t senseRoom = request.SenseInfoLength;
    // The sense bytes land in `out`, behind the record and inside the buffer given.
    if (senseRoom != 0 && (senseOffset < sizeof request || senseOffset > out.size() ||
                           senseRoom > out.size() - senseOffset)) {
        return fail(EINVAL);
    }

    sg_io_hdr header{};
    header.interface_id = kSgInterface;
    header.dxfer_direction = hasData ? dataDirection(request.DataIn) : SG_DXFER_NONE;
    header.cmd_len = request.CdbLength;
    header.mx_sb_len = request.SenseInfoLength;
    header.dxfer_len = hasData ? request.DataTransferLength : 0;
    header.dxferp = hasData ? request.DataBuffer : nullptr;
    header.cmdp = request.Cdb;
    header.sbp = senseRoom != 0 ? reinterpret_cast<unsigned char*>(out.data() + senseOffset) : nullptr;
    header.timeout = static_cast<unsigned>(std::min<unsigned long long>(
        static_cast<unsigned long long>(request.TimeOutValue) * kMillisecondsPerSecond, kLongestTimeoutMs));

    errno = 0;
    if (sgIo(fd, header) < 0) return fail(errno != 0 ? errno : EIO);
    // No SCSI status was reached: the command may not have run, or not to its end.
    unsigned driverByte = header.driver_status & kDriverByteMask;
    if (header.host_status != 0 || (header.driver_status & ~kDriverSense) != 0) {
        bool timedOut = header.host_status == kHostTimeout || driverByte == kDriverTimeout;
        return fail(timedOut ? ETIMEDOUT : EIO);
    }

    // resid counts the bytes that did not move; a value outside 0..dxfer_len is not trusted.
    auto residue = std::clamp<long long>(header.resid, 0, header.dxfer_len);
    request.ScsiStatus = header.status;
    request.SenseInfoLength = std::min(header.sb_len_wr, header.mx_sb_len);
    request.DataTransferLength = header.dxfer_len - static_cast<ULONG>(residue);
    std::memcpy(out.data(), &request, sizeof request);
    if (bytesReturned != nullptr) {
        *bytesReturned = static_cast<DWORD>(request.SenseInfoLength != 0 ? senseOffset + request.SenseInfoLength
                                                                         : sizeof request);
    }
    return TRUE;
}

bool turnMediaPollingOff(const std::filesystem::path& sysfsRoot, int driveIndex,
                         std::optional<std::string>& saved) {
    auto path = pollingPath(sysfsRoot, driveIndex);
    // Once off, the text now found is our own 0: keep the one found first.
    std::optional<std::string> found = saved ? saved : readSmallText(path);
    if (!found || !writeText(path, kPollingOff)) return false;
    saved = std::move(found);
    return true;
}

bool restoreMediaPolling(const std::filesystem::path& sysfsRoot, int driveIndex,
                         std::optional<std::string>& saved) {
    if (!saved || !writeText(pollingPath(sysfsRoot, driveIndex), *saved)) return false;
    saved.reset();
    return true;
}

HANDLE openDevice(const char* path, DWORD desiredAccess) {
    auto driveIndex = driveIndexForPath(path);
    if (!driveIndex) {
        setLastError(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    std::string node = drivePath(*driveIndex);
    if (desiredAccess == 0) {
        // A handle for notification control only names the drive.
        struct stat status {};
        if (::stat(node.c_str(), &status) != 0) {
            setLastError(errno);
            return INVALID_HANDLE_VALUE;
        }
        if (!S_ISBLK(status.st_mode)) {
            setLastError(ENOTBLK);
            return INVALID_HANDLE_VALUE;
        }
        return addHandle({HandleKind::DeviceControl, -1, *driveIndex, std::nullopt});
    }

    int fd = openDescriptor(node.c_str(), openFlagsFor(desiredAccess));
    if (fd < 0) {
        setLastError(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISBLK(status.st_mode)) {
        // Commands go to drives only, never to whatever else sits at that name.
        ::close(fd);
        setLastError(ENOTBLK);
        return INVALID_HANDLE_VALUE;
    }
    return addHandle({HandleKind::Device, fd, *driveIndex, std::nullopt});
}

}  // namespace platform::posix

namespace platform {

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPVOID lpOverlapped) {
    posix::HandleObject* device = posix::findHandle(hDevice);
    if (device == nullptr || device->kind == posix::HandleKind::File) return posix::fail(EBADF);
    if (lpOverlapped != nullptr) return posix::fail(EINVAL);
    std::span<const std::byte> in;
    std::span<std::byte> out;
    if (lpInBuffer != nullptr) in = {static_cast<const std::byte*>(lpInBuffer), nInBufferSize};
    if (lpOutBuffer != nullptr) out = {static_cast<std::byte*>(lpOutBuffer), nOutBufferSize};

    switch (dwIoControlCode) {
        case IOCTL_SCSI_PASS_THROUGH_DIRECT:
            if (device->kind != posix::HandleKind::Device) return posix::fail(EBADF);
            return posix::passThroughDirect(device->fd, in, out, lpBytesReturned, posix::sendSgIo);

        case IOCTL_STORAGE_MCN_CONTROL: {
            if (in.size() < sizeof(PREVENT_MEDIA_REMOVAL)) return posix::fail(EINVAL);
            if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
            bool turnOff = std::to_integer<BOOLEAN>(in[0]) != 0;
            errno = 0;
            bool done = turnOff ? posix::turnMediaPollingOff(posix::kSysfsRoot, device->driveIndex, device->savedPolling)
                                : posix::restoreMediaPolling(posix::kSysfsRoot, device->driveIndex, device->savedPolling);
            return done ? TRUE : posix::fail(errno != 0 ? errno : EIO);
        }

        default:
            return posix::fail(EINVAL);
    }
}

}  // namespace platform
