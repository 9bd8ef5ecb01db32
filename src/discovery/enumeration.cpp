#include "discovery/enumeration.h"

#include <array>

#include "discovery/state.h"
#include "platform/platform.h"

namespace rflash {
namespace {

// "\\.\X:" and its terminator.
using DevicePath = std::array<char, 7>;

DevicePath devicePath(char letter) {
    return {'\\', '\\', '.', '\\', letter, ':', '\0'};
}

bool controlHandleOpen(platform::HANDLE handle) {
    return handle != nullptr && handle != platform::INVALID_HANDLE_VALUE;
}

void setMediaChangeNotification(platform::HANDLE handle, bool off) {
    platform::PREVENT_MEDIA_REMOVAL prevent{static_cast<platform::BOOLEAN>(off ? 1 : 0)};
    platform::DWORD returned = 0;
    platform::DeviceIoControl(handle, platform::IOCTL_STORAGE_MCN_CONTROL, &prevent, sizeof prevent, nullptr, 0,
                              &returned, nullptr);
}

}  // namespace

// Placeholder walk until the transport's probes land.
std::int32_t enumerateDrives() { return 0; }

void beginMcnControl(std::int32_t index) {
    DevicePath path = devicePath(discovery.opticalDriveLetters[index]);
    // Access 0: a handle for device control only, which does not compete with the probes.
    platform::HANDLE handle = platform::CreateFileA(path.data(), 0, platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                                    nullptr, platform::OPEN_EXISTING, 0, nullptr);
    discovery.mcnHandles[index] = handle;
    if (!controlHandleOpen(handle)) return;
    setMediaChangeNotification(handle, true);
}

void endMcnControl(std::int32_t index) {
    if (discovery.useAspi != 0) return;
    platform::HANDLE& handle = discovery.mcnHandles[index];
    if (!controlHandleOpen(handle)) return;
    setMediaChangeNotification(handle, false);
    // Notification is on again; nothing needs the handle any more.
    platform::CloseHandle(handle);
    handle = nullptr;
}

}  // namespace rflash
