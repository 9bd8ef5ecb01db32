// Drive letters and the devices behind them, pass-through and media change notification
// requests, fault injection and the command trace.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/emulated/clock.h"
#include "platform/emulated/devices_internal.h"
#include "platform/emulated/handles.h"
#include "platform/emulated/host.h"

namespace emu {
namespace {

constexpr int kLetterCount = 26;
// The largest transfer the emulated port driver accepts in one request.
constexpr platform::ULONG kMaximumTransferLength = 0x10000;
// Windows refuses pass-through time-outs above 30 hours.
constexpr platform::ULONG kMaximumTimeOutSeconds = 108000;
constexpr platform::DWORD kReadWrite = platform::GENERIC_READ | platform::GENERIC_WRITE;

struct Refusal {
    bool refused = false;
    bool controlOnlyToo = false;
};

// A handle opened on "\\.\X:".
struct OpenDevice {
    char letter;
    platform::DWORD access;
};

struct DevicesState {
    std::vector<std::unique_ptr<Device>> devices;
    std::array<std::optional<DeviceId>, kLetterCount> letters{};
    std::array<Refusal, kLetterCount> refusals{};
    std::map<std::pair<std::uint8_t, std::uint8_t>, DeviceId> aspiAddresses;
    std::vector<OpenDevice> openDevices;  // indexed by the handle's object number
    std::vector<TraceEntry> trace;
    std::vector<McnControlCall> mcnCalls;
};

DevicesState& state() {
    static DevicesState devices;
    return devices;
}

std::uint64_t& generation() {
    static std::uint64_t value = 0;
    return value;
}

std::optional<int> letterIndex(char letter) {
    int upper = std::toupper(static_cast<unsigned char>(letter));
    if (upper < 'A' || upper > 'Z') return std::nullopt;
    return upper - 'A';
}

int requireLetter(char letter) {
    auto index = letterIndex(letter);
    if (!index) {
        std::fprintf(stderr, "emulated host: '%c' is not a drive letter\n", letter);
        std::abort();
    }
    return *index;
}

// "\\.\X:" and nothing else.
std::optional<int> letterOfDevicePath(const char* path) {
    if (std::strlen(path) != 6 || std::strncmp(path, "\\\\.\\", 4) != 0 || path[5] != ':') return std::nullopt;
    return letterIndex(path[4]);
}

bool faultMatches(const FaultMatch& match, std::span<const std::uint8_t> cdb) {
    auto byteAt = [&](std::size_t i) { return i < cdb.size() ? cdb[i] : std::uint8_t{0}; };
    if (byteAt(0) != match.opcode) return false;
    if (match.mode && byteAt(1) != *match.mode) return false;
    if (match.bufferId && byteAt(2) != *match.bufferId) return false;
    return true;
}

// The first fault whose turn it is, counting every matching command.
const Fault* faultFor(Device& device, std::span<const std::uint8_t> cdb) {
    const Fault* chosen = nullptr;
    for (FaultSlot& slot : device.faults) {
        if (!faultMatches(slot.fault.when, cdb)) continue;
        ++slot.seen;
        bool due = slot.fault.when.occurrence == 0 || slot.seen == slot.fault.when.occurrence;
        if (due && chosen == nullptr) chosen = &slot.fault;
    }
    return chosen;
}

platform::BOOL failWith(platform::DWORD error) {
    setLastError(error);
    return platform::FALSE;
}

DataDirection directionOf(platform::UCHAR dataIn) {
    switch (dataIn) {
        case platform::SCSI_IOCTL_DATA_IN: return DataDirection::In;
        case platform::SCSI_IOCTL_DATA_OUT: return DataDirection::Out;
        default: return DataDirection::None;
    }
}

// The checks the port driver makes before a pass-through request reaches a device.
bool passThroughRecordValid(const platform::SCSI_PASS_THROUGH_DIRECT& request, platform::DWORD outSize) {
    if (request.Length != sizeof(platform::SCSI_PASS_THROUGH_DIRECT)) return false;
    if (request.CdbLength == 0 || request.CdbLength > sizeof(request.Cdb)) return false;
    if (request.DataIn > platform::SCSI_IOCTL_DATA_UNSPECIFIED) return false;
    if (request.DataTransferLength > kMaximumTransferLength) return false;
    // A data phase needs a buffer and a direction.
    if (request.DataTransferLength != 0 &&
        (request.DataBuffer == nullptr || request.DataIn == platform::SCSI_IOCTL_DATA_UNSPECIFIED)) {
        return false;
    }
    if (request.TimeOutValue == 0 || request.TimeOutValue > kMaximumTimeOutSeconds) return false;
    if (request.SenseInfoLength != 0) {
        // The sense area must lie in the output buffer, past the request itself.
        if (request.SenseInfoOffset < sizeof(platform::SCSI_PASS_THROUGH_DIRECT)) return false;
        if (std::uint64_t{request.SenseInfoOffset} + request.SenseInfoLength > outSize) return false;
    }
    return true;
}

platform::BOOL passThrough(const OpenDevice& opened, void* in, platform::DWORD inSize, void* out, platform::DWORD outSize,
                 platform::DWORD* bytesReturned) {
    if ((opened.access & kReadWrite) != kReadWrite) return failWith(platform::ERROR_ACCESS_DENIED);
    constexpr platform::DWORD kRequestSize = sizeof(platform::SCSI_PASS_THROUGH_DIRECT);
    if (in == nullptr || out == nullptr || inSize < kRequestSize || outSize < kRequestSize || bytesReturned == nullptr) {
        return failWith(platform::ERROR_INVALID_PARAMETER);
    }
    platform::SCSI_PASS_THROUGH_DIRECT request;
    std::memcpy(&request, in, kRequestSize);
    if (!passThroughRecordValid(request, outSize)) return failWith(platform::ERROR_INVALID_PARAMETER);

    DeviceId id = *state().letters[static_cast<std::size_t>(*letterIndex(opened.letter))];
    auto* data = static_cast<std::uint8_t*>(request.DataBuffer);
    DriveCommand command;
    command.cdb = std::span<const std::uint8_t>(request.Cdb, request.CdbLength);
    command.direction = request.DataTransferLength == 0 ? DataDirection::None : directionOf(request.DataIn);
    if (command.direction == DataDirection::Out) command.dataOut = {data, request.DataTransferLength};
    if (command.direction == DataDirection::In) command.dataInRoom = request.DataTransferLength;

    TraceEntry entry{};
    entry.device = id;
    entry.path = Path::PassThrough;
    entry.timeMs = elapsedMs();
    std::copy_n(request.Cdb, request.CdbLength, entry.cdb.begin());
    entry.cdbLength = request.CdbLength;
    entry.direction = directionOf(request.DataIn);
    entry.transferLength = request.DataTransferLength;
    entry.buffer = request.DataBuffer;
    entry.timeoutSeconds = request.TimeOutValue;
    std::size_t traced = recordTrace(entry);

    Execution execution = executeAt(id, command);
    if (!execution.reachedDrive) {
        completeTrace(traced, TraceOutcome::HostFailure, execution);
        return failWith(platform::ERROR_IO_DEVICE);
    }
    std::uint64_t limitMs = std::uint64_t{request.TimeOutValue} * 1000;
    if (!execution.answered || execution.reply.durationMs > limitMs) {
        // The port driver gives up, resets the device and fails the request; nothing comes back.
        advanceClock(static_cast<platform::DWORD>(limitMs));
        completeTrace(traced, TraceOutcome::TimedOut, execution);
        return failWith(platform::ERROR_SEM_TIMEOUT);
    }
    advanceClock(execution.reply.durationMs);
    if (command.direction == DataDirection::In && !execution.dataIn.empty()) {
        std::memcpy(data, execution.dataIn.data(), execution.dataIn.size());
        request.DataTransferLength = static_cast<platform::ULONG>(execution.dataIn.size());
    }
    request.ScsiStatus = execution.reply.status;
    std::uint8_t delivered = execution.reply.status == scsi::GOOD
                                 ? 0
                                 : std::min<std::uint8_t>(request.SenseInfoLength, execution.reply.senseLength);
    request.SenseInfoLength = delivered;
    auto* outBytes = static_cast<std::uint8_t*>(out);
    std::memcpy(outBytes, &request, kRequestSize);
    if (delivered != 0) std::memcpy(outBytes + request.SenseInfoOffset, execution.reply.sense.data(), delivered);
    *bytesReturned = delivered != 0 ? request.SenseInfoOffset + delivered : kRequestSize;
    completeTrace(traced, TraceOutcome::Completed, execution);
    return platform::TRUE;
}

platform::BOOL mediaChangeControl(const OpenDevice& opened, platform::HANDLE handle, const void* in, platform::DWORD inSize) {
    if (in == nullptr || inSize < sizeof(platform::PREVENT_MEDIA_REMOVAL)) return failWith(platform::ERROR_INVALID_PARAMETER);
    platform::PREVENT_MEDIA_REMOVAL request;
    std::memcpy(&request, in, sizeof request);
    state().mcnCalls.push_back({handle, opened.letter, request.PreventMediaRemoval});
    return platform::TRUE;
}

}  // namespace

// ---- The area's internals ----

Device& deviceAt(DeviceId id) {
    return *state().devices.at(id);
}

std::optional<DeviceId> deviceAtAspi(std::uint8_t adapter, std::uint8_t target) {
    auto& addresses = state().aspiAddresses;
    auto found = addresses.find({adapter, target});
    if (found == addresses.end()) return std::nullopt;
    return found->second;
}

Execution executeAt(DeviceId id, const DriveCommand& command) {
    Device& device = deviceAt(id);
    Execution execution;
    const Fault* fault = faultFor(device, command.cdb);
    if (fault != nullptr && fault->effect == FaultEffect::HostFailure) {
        execution.reachedDrive = false;
        return execution;
    }
    if (device.model.kind() == DeviceKind::Unresponsive) {
        execution.answered = false;
        return execution;
    }
    if (fault == nullptr || fault->effect == FaultEffect::Slow) {
        execution.reply = device.model.execute(command, execution.dataIn);
        if (fault != nullptr) execution.reply.durationMs = fault->durationMs;
        return execution;
    }
    if (fault->effect == FaultEffect::CarriedOutThenCheckCondition) {
        std::uint32_t took = device.model.execute(command, execution.dataIn).durationMs;
        execution.dataIn.clear();
        execution.reply = device.model.checkCondition(fault->sense);
        execution.reply.durationMs = took;
        return execution;
    }
    execution.reply = device.model.checkCondition(fault->sense);
    if (fault->effect == FaultEffect::CheckConditionWithoutSense) execution.reply.senseLength = 0;
    return execution;
}

std::size_t recordTrace(const TraceEntry& entry) {
    state().trace.push_back(entry);
    return state().trace.size() - 1;
}

void completeTrace(std::size_t index, TraceOutcome outcome, const Execution& execution) {
    TraceEntry& entry = state().trace.at(index);
    entry.completedMs = elapsedMs();
    entry.outcome = outcome;
    entry.status = execution.reply.status;
    entry.sense = execution.reply.sense;
    entry.senseLength = execution.reply.senseLength;
}

std::uint64_t deviceGeneration() {
    return generation();
}

// ---- Public API ----

void resetDevices() {
    // Completions the ASPI library scheduled before the reset see a new generation and do nothing.
    ++generation();
    state() = DevicesState{};
    resetEvents();
}

DeviceId addDevice(const DeviceConfig& config) {
    auto& devices = state().devices;
    devices.push_back(std::make_unique<Device>(config));
    return static_cast<DeviceId>(devices.size() - 1);
}

void placeOnLetter(DeviceId device, char letter) {
    deviceAt(device);  // must exist
    state().letters[static_cast<std::size_t>(requireLetter(letter))] = device;
}

void placeOnAspi(DeviceId device, std::uint8_t adapter, std::uint8_t target) {
    deviceAt(device);
    state().aspiAddresses[{adapter, target}] = device;
}

DeviceId attachDrive(char letter, const DeviceConfig& config) {
    DeviceId device = addDevice(config);
    placeOnLetter(device, letter);
    return device;
}

DeviceId attachAspiDrive(std::uint8_t adapter, std::uint8_t target, const DeviceConfig& config) {
    DeviceId device = addDevice(config);
    placeOnAspi(device, adapter, target);
    return device;
}

void refuseOpen(char letter, bool controlOnlyToo) {
    state().refusals[static_cast<std::size_t>(requireLetter(letter))] = {true, controlOnlyToo};
}

DriveModel& drive(DeviceId device) {
    return deviceAt(device).model;
}

std::uint32_t deviceCount() {
    return static_cast<std::uint32_t>(state().devices.size());
}

void injectFault(DeviceId device, const Fault& fault) {
    deviceAt(device).faults.push_back({fault, 0});
}

const std::vector<TraceEntry>& commandTrace() {
    return state().trace;
}

std::vector<TraceEntry> traceOf(DeviceId device) {
    std::vector<TraceEntry> entries;
    for (const TraceEntry& entry : state().trace) {
        if (entry.device == device) entries.push_back(entry);
    }
    return entries;
}

std::string describe(const TraceEntry& entry) {
    char line[256];
    int used = std::snprintf(line, sizeof line, "%8llu ms  device %u %-12s ",
                             static_cast<unsigned long long>(entry.timeMs), entry.device,
                             entry.path == Path::PassThrough ? "pass-through" : "aspi");
    std::string text(line, static_cast<std::size_t>(used));
    for (std::size_t i = 0; i < entry.cdbLength; ++i) {
        std::snprintf(line, sizeof line, "%02X ", entry.cdb[i]);
        text += line;
    }
    const char* direction = entry.direction == DataDirection::In    ? "in"
                            : entry.direction == DataDirection::Out ? "out"
                                                                    : "none";
    std::snprintf(line, sizeof line, " %s %u @%p", direction, entry.transferLength, entry.buffer);
    text += line;
    if (entry.timeoutSeconds) {
        std::snprintf(line, sizeof line, "  time-out %u s", *entry.timeoutSeconds);
        text += line;
    }
    switch (entry.outcome) {
        case TraceOutcome::TimedOut: text += "  -> timed out"; break;
        case TraceOutcome::HostFailure: text += "  -> host failure"; break;
        case TraceOutcome::Completed:
            if (entry.status == scsi::GOOD) {
                text += "  -> GOOD";
            } else {
                std::snprintf(line, sizeof line, "  -> status %02X sense %02X/%02X/%02X%s", entry.status,
                              entry.sense[scsi::SENSE_KEY_OFFSET], entry.sense[scsi::SENSE_ASC_OFFSET],
                              entry.sense[scsi::SENSE_ASCQ_OFFSET], entry.senseLength == 0 ? " (not delivered)" : "");
                text += line;
            }
            break;
    }
    return text;
}

const std::vector<McnControlCall>& mcnControlCalls() {
    return state().mcnCalls;
}

std::optional<std::uint8_t> mcnStateOf(platform::HANDLE handle) {
    std::optional<std::uint8_t> value;
    for (const McnControlCall& call : state().mcnCalls) {
        if (call.handle == handle) value = call.preventMediaRemoval;
    }
    return value;
}

// ---- CreateFileA / CloseHandle on devices ----

platform::HANDLE openDevice(const char* path, platform::DWORD desiredAccess) {
    auto letter = letterOfDevicePath(path);
    if (!letter) {
        setLastError(platform::ERROR_FILE_NOT_FOUND);
        return platform::INVALID_HANDLE_VALUE;
    }
    auto index = static_cast<std::size_t>(*letter);
    const Refusal& refusal = state().refusals[index];
    if (refusal.refused && ((desiredAccess & kReadWrite) != 0 || refusal.controlOnlyToo)) {
        setLastError(platform::ERROR_ACCESS_DENIED);
        return platform::INVALID_HANDLE_VALUE;
    }
    if (!state().letters[index]) {
        setLastError(platform::ERROR_FILE_NOT_FOUND);
        return platform::INVALID_HANDLE_VALUE;
    }
    auto& opened = state().openDevices;
    opened.push_back({static_cast<char>('A' + *letter), desiredAccess});
    return allocateHandle(HandleKind::Device, static_cast<std::uint32_t>(opened.size() - 1));
}

void closeDevice(std::uint32_t) {
    // Nothing is held per handle beyond its record, which stays for the trace of MCN calls.
}

}  // namespace emu

namespace platform {

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPVOID lpOverlapped) {
    auto target = emu::findHandle(hDevice);
    if (!target || target->kind != emu::HandleKind::Device) return emu::failWith(platform::ERROR_INVALID_HANDLE);
    if (lpOverlapped != nullptr) return emu::failWith(platform::ERROR_INVALID_PARAMETER);  // not emulated
    const emu::OpenDevice opened = emu::state().openDevices.at(target->object);
    switch (dwIoControlCode) {
        case IOCTL_SCSI_PASS_THROUGH_DIRECT:
            return emu::passThrough(opened, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, lpBytesReturned);
        case IOCTL_STORAGE_MCN_CONTROL:
            return emu::mediaChangeControl(opened, hDevice, lpInBuffer, nInBufferSize);
        default:
            return emu::failWith(platform::ERROR_INVALID_FUNCTION);
    }
}

}  // namespace platform
