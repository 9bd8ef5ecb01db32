// Drive letters, devices, pass-through, media change notification, events and the ASPI library.
#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"
#include "platform/emulated/unbuilt.h"

namespace emu {

void resetDevices() {}

platform::HANDLE openDevice(const char*, platform::DWORD) { unbuilt("CreateFileA on a device"); }
void closeDevice(std::uint32_t) { unbuilt("CloseHandle on a device"); }
void closeEvent(std::uint32_t) { unbuilt("CloseHandle on an event"); }
platform::DWORD executeAspiRequest(platform::SRB_ExecSCSICmd*) { unbuilt("SC_EXEC_SCSI_CMD"); }

}  // namespace emu

namespace platform {

BOOL DeviceIoControl(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPVOID) { emu::unbuilt("DeviceIoControl"); }
HANDLE CreateEventA(LPVOID, BOOL, BOOL, LPCSTR) { emu::unbuilt("CreateEventA"); }
DWORD WaitForSingleObject(HANDLE, DWORD) { emu::unbuilt("WaitForSingleObject"); }
void Sleep(DWORD) { emu::unbuilt("Sleep"); }

}  // namespace platform
