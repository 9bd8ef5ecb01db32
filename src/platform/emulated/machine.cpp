// Operating system version, registry keys and global memory.
#include "platform/emulated/host.h"
#include "platform/emulated/unbuilt.h"
#include "platform/platform.h"

namespace emu {

void resetMachine() {}

}  // namespace emu

namespace platform {

BOOL GetVersionExA(OSVERSIONINFOA*) { emu::unbuilt("GetVersionExA"); }
LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, HKEY*) { emu::unbuilt("RegOpenKeyExA"); }
LONG RegCloseKey(HKEY) { emu::unbuilt("RegCloseKey"); }
HGLOBAL GlobalAlloc(UINT, SIZE_T) { emu::unbuilt("GlobalAlloc"); }
LPVOID GlobalLock(HGLOBAL) { emu::unbuilt("GlobalLock"); }
BOOL GlobalUnlock(HGLOBAL) { emu::unbuilt("GlobalUnlock"); }
HGLOBAL GlobalFree(HGLOBAL) { emu::unbuilt("GlobalFree"); }

}  // namespace platform
