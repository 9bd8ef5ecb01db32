// The emulated machine: operating system version, registry keys, global memory and the ASPI
// library with its host adapters. The drives behind the adapters belong to the device area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace emu {

// ---- Version (GetVersionExA) ----
// A fresh machine reports platform 2, version 5.1.
void setWindowsVersion(platform::DWORD platformId, platform::DWORD major, platform::DWORD minor);

// ---- Registry (RegOpenKeyExA, RegCloseKey) ----
// Makes a key open under HKEY_LOCAL_MACHINE. Key paths compare case-insensitively, as the
// registry does. A fresh machine has no keys.
void addRegistryKey(std::string_view path);
// Every path passed to RegOpenKeyExA, in order, whether it opened or not.
const std::vector<std::string>& registryKeysTried();
// Keys opened and not yet closed.
int openRegistryKeyCount();

// ---- Global memory (GlobalAlloc, GlobalLock, GlobalUnlock, GlobalFree) ----
// The n-th GlobalAlloc call from now (counting from 1) fails; 0 lets every call succeed.
void failGlobalAllocAt(int call);
int globalAllocCalls();

struct GlobalBlock {
    platform::HGLOBAL handle;
    std::size_t size;
    platform::UINT flags;
    int lockCount;
    const std::uint8_t* address;  // where the block lives; never moves
};
// Blocks allocated and not yet freed, in the order allocated.
std::vector<GlobalBlock> globalBlocksAllocated();
// GlobalFree calls on a handle that is not (or no longer) allocated.
int invalidGlobalFrees();
// GlobalFree calls on a block that was still locked.
int globalFreesOfLockedBlocks();

// ---- ASPI library (LoadLibraryA("WNASPI32.DLL"), entry points by ordinal) ----
// Whether the library is present; a fresh machine has none. Installing it also gives it both
// entry points.
void installAspiLibrary(bool present = true);
// Takes an entry point out of (or puts it back into) the installed library.
void setAspiOrdinalPresent(platform::WORD ordinal, bool present);
// GetASPI32SupportInfo reports SS_FAILED_INIT instead of the adapter count.
void failAspiInitialisation(bool failed = true);
// Adds a host adapter with a 16-byte identifier (shorter texts are padded with zero bytes).
// Returns its adapter number. GetASPI32SupportInfo reports at most 255 adapters.
int addAspiAdapter(std::string_view identifier);

int aspiLibraryLoads();
// Adapter numbers of the SC_HA_INQUIRY requests sent, in order.
const std::vector<int>& aspiAdapterInquiries();

}  // namespace emu
