#include "discovery/host_environment.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "discovery/enumeration.h"
#include "discovery/state.h"
#include "messages/catalogue.h"
#include "platform/platform.h"
#include "transport/state.h"
#include "transport/transport.h"

namespace rflash {
namespace {

constexpr std::int32_t kCommandTimeoutMs = 60000;

constexpr std::uint32_t kMsgMemoryAllocationError = 13;
constexpr std::uint32_t kMsgIntelDriverDetected = 48;
constexpr std::uint32_t kMsgIeee1394Detected = 52;

// Set-up results.
constexpr std::int32_t kSetUpDone = 0;
constexpr std::int32_t kSetUpNoMemory = -1;
constexpr std::int32_t kAspiNoLibrary = 1;
constexpr std::int32_t kAspiFailedInit = 2;
constexpr std::int32_t kAspiNoAdapter = 3;

constexpr const char* kAcceleratorKey = "SOFTWARE\\INTEL\\Intel Application Accelerator";
constexpr const char* kUltraAtaKey = "SOFTWARE\\INTEL\\Intel Ultra ATA Storage Driver";
constexpr const char* kAspiLibraryName = "WNASPI32.DLL";

constexpr std::size_t kWorkBufferSize = 2 * kMiB;
constexpr std::size_t kPassThroughImageBufferSize = 8 * kMiB;
constexpr std::size_t kPassThroughParameterBufferSize = 512;
constexpr std::size_t kAspiBufferSize = 2 * kMiB;

// Identifier prefixes of ASPI host adapters, compared over their first 8 bytes.
constexpr std::size_t kPrefixLength = 8;
constexpr std::string_view kIntelAtaAdapter{"intelata", kPrefixLength};
constexpr std::string_view kIeee1394Adapters[] = {
    {"NTMAPHLP", kPrefixLength},
    {"ntmaphlp", kPrefixLength},
    {"        ", kPrefixLength},
    {"\0\0\0\0\0\0\0\0", kPrefixLength},
};

// The version-9x minor versions that are served through the ASPI library.
constexpr platform::DWORD kAspiMinorVersions[] = {0, 10, 90};

bool selectsAspiLibrary() {
    platform::OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!platform::GetVersionExA(&version)) return false;
    if (version.dwPlatformId != platform::VER_PLATFORM_WIN32_WINDOWS) return false;
    return std::ranges::find(kAspiMinorVersions, version.dwMinorVersion) != std::end(kAspiMinorVersions);
}

bool keyOpens(const char* path) {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, path, 0, platform::KEY_READ, &key) !=
        platform::ERROR_SUCCESS) {
        return false;
    }
    platform::RegCloseKey(key);
    return true;
}

// A zero-filled block, locked so that it stays at one address until freed.
bool allocateShared(SharedBuffer& buffer, std::size_t size) {
    platform::HGLOBAL handle = platform::GlobalAlloc(platform::GHND, size);
    if (handle == nullptr) return false;
    void* data = platform::GlobalLock(handle);
    if (data == nullptr) {
        platform::GlobalFree(handle);
        return false;
    }
    buffer = SharedBuffer{handle, static_cast<std::uint8_t*>(data), size};
    return true;
}

void freeShared(SharedBuffer& buffer) {
    if (buffer.handle == nullptr) return;
    platform::GlobalUnlock(buffer.handle);
    platform::GlobalFree(buffer.handle);
    buffer = SharedBuffer{};
}

// Frees whatever of the shared buffers was allocated, in reverse order of allocation.
void freeSharedBuffers() {
    freeShared(discovery.parameterBuffer);
    freeShared(discovery.imageBuffer);
    freeShared(discovery.aspiRequestBlock);
    freeShared(discovery.workBuffer);
}

// GetProcAddress hands out a type-erased pointer; void(*)() is the neutral step between types.
template <typename Function>
Function entryPoint(platform::HMODULE library, platform::WORD ordinal) {
    platform::FARPROC found = platform::GetProcAddress(library, platform::ordinalName(ordinal));
    return found == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// A library without either entry point cannot be used.
bool bindAspiEntryPoints(platform::HMODULE library) {
    auto supportInfo = entryPoint<platform::GetASPI32SupportInfoFunction>(library, platform::ASPI_ORDINAL_GET_SUPPORT_INFO);
    auto sendCommand = entryPoint<platform::SendASPI32CommandFunction>(library, platform::ASPI_ORDINAL_SEND_COMMAND);
    if (supportInfo == nullptr || sendCommand == nullptr) return false;
    discovery.getAspi32SupportInfo = supportInfo;
    discovery.sendAspi32Command = sendCommand;
    return true;
}

std::string_view identifierPrefix(const platform::SRB_HAInquiry& record) {
    return {reinterpret_cast<const char*>(record.HA_Identifier), kPrefixLength};
}

bool marksIeee1394Adapter(std::string_view prefix) {
    return std::ranges::find(kIeee1394Adapters, prefix) != std::end(kIeee1394Adapters);
}

// One host adapter inquiry per adapter: records the identifiers and notes the Intel IDE host
// driver and the IEEE 1394 adapter.
void surveyAspiAdapters() {
    discovery.aspiAdapterInquiry.assign(discovery.aspiAdapterCount, platform::SRB_HAInquiry{});
    for (std::uint8_t adapter = 0; adapter < discovery.aspiAdapterCount; ++adapter) {
        platform::SRB_HAInquiry& record = discovery.aspiAdapterInquiry[adapter];
        record.SRB_Cmd = platform::SC_HA_INQUIRY;
        record.SRB_HaId = adapter;
        discovery.sendAspi32Command(&record);

        std::memcpy(discovery.aspiAdapterNames[adapter].data(), record.HA_Identifier, sizeof record.HA_Identifier);
        std::string_view prefix = identifierPrefix(record);
        if (prefix == kIntelAtaAdapter) {
            if (discovery.hostDriverKind != 1) showMessage(kMsgIntelDriverDetected, MsgPrint);
            discovery.hostDriverKind = 1;
        } else if (marksIeee1394Adapter(prefix)) {
            discovery.ieee1394Adapter = adapter;
            showMessage(kMsgIeee1394Detected, MsgPrint);
        }
    }
}

}  // namespace

std::int32_t checkHostEnvironment() {
    transport.commandTimeoutMs = kCommandTimeoutMs;
    discovery.useAspi = selectsAspiLibrary() ? 1 : 0;
    std::int32_t result = discovery.useAspi == 1 ? setUpAspi() : setUpPassThrough();
    if (result == kSetUpNoMemory) {
        showMessage(kMsgMemoryAllocationError, MsgPrint);
        return -1;
    }
    // Every other outcome lets the run go on; a host without a usable library finds no drive.
    return 0;
}

std::int32_t setUpPassThrough() {
    transport.commandTimeoutMs = kCommandTimeoutMs;
    discovery.hostDriverKind = 0;
    discovery.passThroughAddress = {0, 0, 0};

    // The accelerator alone is announced but does not change how drives are driven.
    if (keyOpens(kAcceleratorKey)) showMessage(kMsgIntelDriverDetected, MsgPrint);
    if (keyOpens(kUltraAtaKey)) {
        discovery.hostDriverKind = 1;
        showMessage(kMsgIntelDriverDetected, MsgPrint);
    }

    if (!allocateShared(discovery.workBuffer, kWorkBufferSize) ||
        !allocateShared(discovery.imageBuffer, kPassThroughImageBufferSize) ||
        !allocateShared(discovery.parameterBuffer, kPassThroughParameterBufferSize)) {
        return kSetUpNoMemory;
    }
    return kSetUpDone;
}

std::int32_t setUpAspi() {
    transport.commandTimeoutMs = kCommandTimeoutMs;
    discovery.hostDriverKind = 0;
    discovery.ieee1394Adapter = -1;

    if (!allocateShared(discovery.workBuffer, kAspiBufferSize) ||
        !allocateShared(discovery.aspiRequestBlock, kAspiBufferSize) ||
        !allocateShared(discovery.imageBuffer, kAspiBufferSize) ||
        !allocateShared(discovery.parameterBuffer, kAspiBufferSize)) {
        return kSetUpNoMemory;
    }

    platform::HMODULE library = platform::LoadLibraryA(kAspiLibraryName);
    if (library == nullptr) return kAspiNoLibrary;
    discovery.aspiLibrary = library;
    if (!bindAspiEntryPoints(library)) return kAspiNoLibrary;

    platform::DWORD supportInfo = discovery.getAspi32SupportInfo();
    if (((supportInfo >> 8) & 0xFF) == platform::SS_FAILED_INIT) return kAspiFailedInit;
    // Only as many adapters as aspiAdapterNames has slots are taken; the rest are never probed.
    discovery.aspiAdapterCount = static_cast<std::uint8_t>(
        std::min<platform::DWORD>(supportInfo & 0xFF, kAspiAdapterSlots));
    if (discovery.aspiAdapterCount == 0) return kAspiNoAdapter;

    surveyAspiAdapters();
    return kSetUpDone;
}

void finalRelease() {
    if (discovery.useAspi == 1) {
        releaseAspi();
    } else {
        releasePassThrough();
    }
}

std::int32_t releasePassThrough() {
    for (std::int32_t index = 0; index < discovery.opticalDriveCount; ++index) endMcnControl(index);
    freeSharedBuffers();
    return 0;
}

std::int32_t releaseAspi() {
    // A request the library still holds would write into freed memory; the buffers then stay
    // until the process ends, which comes right after the release.
    if (!libraryRequestsOutstanding()) freeSharedBuffers();
    discovery.aspiAdapterInquiry = {};
    return 0;
}

}  // namespace rflash
