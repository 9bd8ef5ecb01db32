// Operating system version, registry keys, global memory and the ASPI library.
#include "platform/emulated/machine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>

#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"

namespace emu {
namespace {

constexpr platform::DWORD NO_ERROR = 0;

// Size of the extended version record, which GetVersionExA accepts as well.
constexpr platform::DWORD kVersionInfoExSize = 156;

// Handle values of each kind come from their own range and are never reused, so a handle
// passed to the wrong kind of call, or used after it was released, is caught.
constexpr std::uintptr_t kFirstRegistryKey = 0x60000000;
constexpr std::uintptr_t kFirstGlobalHandle = 0x40000000;
constexpr std::uintptr_t kHandleStep = 0x10;
constexpr std::uintptr_t kAspiModule = 0x10000000;

// What a block not asked to be zero-filled holds, so that a missing GMEM_ZEROINIT shows.
constexpr std::uint8_t kUninitialisedByte = 0xA5;

constexpr std::size_t kAdapterIdentifierLength = 16;
constexpr std::size_t kMaxAspiAdapters = 255;
constexpr platform::BYTE kHostAdapterScsiId = 7;

struct Block {
    std::unique_ptr<std::uint8_t[]> storage;
    std::size_t size = 0;
    platform::UINT flags = 0;
    int lockCount = 0;
};

struct AspiAdapter {
    std::array<platform::BYTE, kAdapterIdentifierLength> identifier{};
};

struct MachineState {
    platform::DWORD platformId = platform::VER_PLATFORM_WIN32_NT;
    platform::DWORD majorVersion = 5;
    platform::DWORD minorVersion = 1;

    std::vector<std::string> registryKeys;  // lower case
    std::vector<std::string> registryKeysTried;
    std::map<std::uintptr_t, std::string> openKeys;
    std::uintptr_t nextKey = kFirstRegistryKey;

    int failAllocAt = 0;
    int allocCalls = 0;
    std::map<std::uintptr_t, Block> blocks;  // by handle value
    std::vector<std::uintptr_t> allocationOrder;
    std::uintptr_t nextGlobalHandle = kFirstGlobalHandle;
    int invalidFrees = 0;
    int freesOfLocked = 0;

    bool aspiPresent = false;
    bool ordinalPresent[3] = {false, false, false};
    bool aspiFailedInit = false;
    std::vector<AspiAdapter> adapters;
    int libraryLoads = 0;
    std::vector<int> adapterInquiries;
};

MachineState& state() {
    static MachineState machine;
    return machine;
}

std::string lowerCase(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

std::uintptr_t value(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

Block* findBlock(platform::HGLOBAL handle) {
    auto found = state().blocks.find(value(handle));
    return found == state().blocks.end() ? nullptr : &found->second;
}

// The library's file name, without a directory; the loader adds ".DLL" when no extension is given.
bool namesAspiLibrary(const char* name) {
    std::string_view path(name);
    std::size_t slash = path.find_last_of("\\/");
    std::string file = lowerCase(slash == std::string_view::npos ? path : path.substr(slash + 1));
    return file == "wnaspi32.dll" || file == "wnaspi32";
}

// ---- The library's entry points ----

platform::DWORD aspiGetSupportInfo() {
    const MachineState& machine = state();
    if (machine.aspiFailedInit) return platform::DWORD{platform::SS_FAILED_INIT} << 8;
    if (machine.adapters.empty()) return platform::DWORD{platform::SS_NO_ADAPTERS} << 8;
    std::size_t count = std::min(machine.adapters.size(), kMaxAspiAdapters);
    return (platform::DWORD{platform::SS_COMP} << 8) | static_cast<platform::DWORD>(count);
}

platform::DWORD hostAdapterInquiry(platform::SRB_HAInquiry& request) {
    MachineState& machine = state();
    machine.adapterInquiries.push_back(request.SRB_HaId);
    if (request.SRB_HaId >= machine.adapters.size()) {
        request.SRB_Status = platform::SS_INVALID_HA;
        return request.SRB_Status;
    }
    request.HA_Count = static_cast<platform::BYTE>(std::min(machine.adapters.size(), kMaxAspiAdapters));
    request.HA_SCSI_ID = kHostAdapterScsiId;
    const auto& identifier = machine.adapters[request.SRB_HaId].identifier;
    std::copy(identifier.begin(), identifier.end(), request.HA_Identifier);
    request.SRB_Status = platform::SS_COMP;
    return request.SRB_Status;
}

platform::DWORD aspiSendCommand(platform::LPVOID request) {
    auto* header = static_cast<platform::BYTE*>(request);
    switch (header[0]) {
        case platform::SC_HA_INQUIRY:
            return hostAdapterInquiry(*static_cast<platform::SRB_HAInquiry*>(request));
        case platform::SC_EXEC_SCSI_CMD:
            return executeAspiRequest(static_cast<platform::SRB_ExecSCSICmd*>(request));
        default:
            header[1] = platform::SS_INVALID_SRB;
            return platform::SS_INVALID_SRB;
    }
}

// FARPROC is a type-erased function pointer; the casts go through void(*)() so that no
// incompatible function type is formed on the way.
template <typename Function>
platform::FARPROC asFarProc(Function* function) {
    return reinterpret_cast<platform::FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

void resetMachine() {
    state() = MachineState{};
}

void setWindowsVersion(platform::DWORD platformId, platform::DWORD major, platform::DWORD minor) {
    MachineState& machine = state();
    machine.platformId = platformId;
    machine.majorVersion = major;
    machine.minorVersion = minor;
}

void addRegistryKey(std::string_view path) {
    state().registryKeys.push_back(lowerCase(path));
}

const std::vector<std::string>& registryKeysTried() {
    return state().registryKeysTried;
}

int openRegistryKeyCount() {
    return static_cast<int>(state().openKeys.size());
}

void failGlobalAllocAt(int call) {
    state().failAllocAt = call == 0 ? 0 : state().allocCalls + call;
}

int globalAllocCalls() {
    return state().allocCalls;
}

std::vector<GlobalBlock> globalBlocksAllocated() {
    std::vector<GlobalBlock> live;
    for (std::uintptr_t handle : state().allocationOrder) {
        const Block& block = state().blocks.at(handle);
        live.push_back(GlobalBlock{reinterpret_cast<platform::HGLOBAL>(handle), block.size, block.flags,
                                   block.lockCount, block.storage.get()});
    }
    return live;
}

int invalidGlobalFrees() {
    return state().invalidFrees;
}

int globalFreesOfLockedBlocks() {
    return state().freesOfLocked;
}

void installAspiLibrary(bool present) {
    MachineState& machine = state();
    machine.aspiPresent = present;
    machine.ordinalPresent[platform::ASPI_ORDINAL_GET_SUPPORT_INFO] = present;
    machine.ordinalPresent[platform::ASPI_ORDINAL_SEND_COMMAND] = present;
}

void setAspiOrdinalPresent(platform::WORD ordinal, bool present) {
    if (ordinal == platform::ASPI_ORDINAL_GET_SUPPORT_INFO || ordinal == platform::ASPI_ORDINAL_SEND_COMMAND) {
        state().ordinalPresent[ordinal] = present;
    }
}

void failAspiInitialisation(bool failed) {
    state().aspiFailedInit = failed;
}

int addAspiAdapter(std::string_view identifier) {
    AspiAdapter adapter;
    std::copy_n(identifier.begin(), std::min(identifier.size(), kAdapterIdentifierLength),
                adapter.identifier.begin());
    state().adapters.push_back(adapter);
    return static_cast<int>(state().adapters.size()) - 1;
}

int aspiLibraryLoads() {
    return state().libraryLoads;
}

const std::vector<int>& aspiAdapterInquiries() {
    return state().adapterInquiries;
}

}  // namespace emu

namespace platform {

BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation) {
    if (lpVersionInformation == nullptr ||
        (lpVersionInformation->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
         lpVersionInformation->dwOSVersionInfoSize != emu::kVersionInfoExSize)) {
        emu::setLastError(platform::ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const emu::MachineState& machine = emu::state();
    lpVersionInformation->dwMajorVersion = machine.majorVersion;
    lpVersionInformation->dwMinorVersion = machine.minorVersion;
    lpVersionInformation->dwBuildNumber = 0;
    lpVersionInformation->dwPlatformId = machine.platformId;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    return TRUE;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/, HKEY* phkResult) {
    if (lpSubKey == nullptr || phkResult == nullptr) return static_cast<LONG>(platform::ERROR_INVALID_PARAMETER);
    emu::MachineState& machine = emu::state();
    machine.registryKeysTried.emplace_back(lpSubKey);
    std::string key = emu::lowerCase(lpSubKey);
    bool exists = hKey == HKEY_LOCAL_MACHINE &&
                  std::find(machine.registryKeys.begin(), machine.registryKeys.end(), key) !=
                      machine.registryKeys.end();
    if (!exists) return platform::ERROR_FILE_NOT_FOUND;
    std::uintptr_t handle = machine.nextKey;
    machine.nextKey += emu::kHandleStep;
    machine.openKeys.emplace(handle, key);
    *phkResult = reinterpret_cast<HKEY>(handle);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    return emu::state().openKeys.erase(emu::value(hKey)) == 1 ? ERROR_SUCCESS
                                                              : static_cast<LONG>(platform::ERROR_INVALID_HANDLE);
}

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    emu::MachineState& machine = emu::state();
    ++machine.allocCalls;
    if (machine.allocCalls == machine.failAllocAt) {
        emu::setLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    emu::Block block;
    block.size = dwBytes;
    block.flags = uFlags;
    std::size_t storageSize = std::max<std::size_t>(dwBytes, 1);
    if ((uFlags & GMEM_ZEROINIT) != 0) {
        block.storage = std::make_unique<std::uint8_t[]>(storageSize);
    } else {
        block.storage = std::make_unique_for_overwrite<std::uint8_t[]>(storageSize);
        std::memset(block.storage.get(), emu::kUninitialisedByte, storageSize);
    }
    // A fixed block's handle is its address, as on the real platform.
    std::uintptr_t handle = (uFlags & GMEM_MOVEABLE) != 0 ? machine.nextGlobalHandle : emu::value(block.storage.get());
    machine.nextGlobalHandle += emu::kHandleStep;
    machine.blocks.emplace(handle, std::move(block));
    machine.allocationOrder.push_back(handle);
    return reinterpret_cast<HGLOBAL>(handle);
}

LPVOID GlobalLock(HGLOBAL hMem) {
    emu::Block* block = emu::findBlock(hMem);
    if (block == nullptr) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++block->lockCount;
    return block->storage.get();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    emu::Block* block = emu::findBlock(hMem);
    if (block == nullptr) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block->lockCount == 0) {
        emu::setLastError(platform::ERROR_NOT_LOCKED);
        return FALSE;
    }
    --block->lockCount;
    if (block->lockCount > 0) return TRUE;
    emu::setLastError(emu::NO_ERROR);
    return FALSE;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    emu::MachineState& machine = emu::state();
    emu::Block* block = emu::findBlock(hMem);
    if (block == nullptr) {
        ++machine.invalidFrees;
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return hMem;
    }
    if (block->lockCount != 0) ++machine.freesOfLocked;
    machine.blocks.erase(emu::value(hMem));
    std::erase(machine.allocationOrder, emu::value(hMem));
    return nullptr;
}

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    emu::MachineState& machine = emu::state();
    if (lpLibFileName == nullptr || !machine.aspiPresent || !emu::namesAspiLibrary(lpLibFileName)) {
        emu::setLastError(platform::ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++machine.libraryLoads;
    return reinterpret_cast<HMODULE>(emu::kAspiModule);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    const emu::MachineState& machine = emu::state();
    if (emu::value(hModule) != emu::kAspiModule || machine.libraryLoads == 0) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Ordinals travel in the low word of the name pointer; the library exports nothing by name here.
    std::uintptr_t ordinal = emu::value(lpProcName);
    if (ordinal == ASPI_ORDINAL_GET_SUPPORT_INFO && machine.ordinalPresent[ordinal]) {
        return emu::asFarProc(&emu::aspiGetSupportInfo);
    }
    if (ordinal == ASPI_ORDINAL_SEND_COMMAND && machine.ordinalPresent[ordinal]) {
        return emu::asFarProc(&emu::aspiSendCommand);
    }
    emu::setLastError(platform::ERROR_PROC_NOT_FOUND);
    return nullptr;
}

}  // namespace platform
