// Ordinary files: the firmware image in the current directory.
#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"
#include "platform/emulated/unbuilt.h"

namespace emu {

void resetFiles() {}

platform::HANDLE openFile(const char*, platform::DWORD) { unbuilt("CreateFileA on a file"); }
void closeFile(std::uint32_t) { unbuilt("CloseHandle on a file"); }

}  // namespace emu

namespace platform {

DWORD GetFileSize(HANDLE, LPDWORD) { emu::unbuilt("GetFileSize"); }
BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPVOID) { emu::unbuilt("ReadFile"); }

}  // namespace platform
