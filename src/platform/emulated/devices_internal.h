// Shared inside the device area (devices.cpp, events.cpp, aspi_requests.cpp); not for tests.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/emulated/devices.h"
#include "platform/emulated/drive_model.h"
#include "platform/platform.h"

namespace emu {

// A device that does not answer is given up on the bus after this long (ASPI path).
constexpr std::uint32_t kSelectionTimeoutMs = 250;

// One SC_EXEC_SCSI_CMD request waiting for, or being served by, its device. The library takes
// the request's fields when it is submitted and writes results into `record` at completion.
struct AspiRequest {
    platform::SRB_ExecSCSICmd* record;
    std::array<std::uint8_t, 16> cdb;
    std::uint8_t cdbLength;
    DataDirection direction;
    std::uint8_t* buffer;
    std::uint32_t bufferLength;
    std::uint8_t senseLength;
    platform::HANDLE event;  // nullptr without SRB_EVENT_NOTIFY
};

struct FaultSlot {
    Fault fault;
    unsigned seen = 0;  // matching commands received so far
};

struct Device {
    explicit Device(const DeviceConfig& config) : model(config) {}
    DriveModel model;
    std::vector<FaultSlot> faults;
    // Requests to one target are served one after the other, in submission order.
    std::deque<AspiRequest> aspiQueue;
    bool aspiBusy = false;
};

// What became of one command at a device.
struct Execution {
    bool reachedDrive = true;  // false: host failure
    bool answered = true;      // false: the device never answered (it is unresponsive)
    DriveReply reply;
    std::vector<std::uint8_t> dataIn;
};

Device& deviceAt(DeviceId id);
std::optional<DeviceId> deviceAtAspi(std::uint8_t adapter, std::uint8_t target);

// Runs one command at the device, fault injection included.
Execution executeAt(DeviceId id, const DriveCommand& command);

// Appends to the trace; returns the entry's index for completeTrace.
std::size_t recordTrace(const TraceEntry& entry);
void completeTrace(std::size_t index, TraceOutcome outcome, const Execution& execution);

// Changes with every reset, so that completions scheduled before it do nothing after it.
std::uint64_t deviceGeneration();

// Events.
void resetEvents();
// Sets the event the handle stands for now; false when it is not an open event.
bool signalEvent(platform::HANDLE event);

}  // namespace emu
