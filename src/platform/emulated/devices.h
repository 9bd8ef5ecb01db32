// The emulated host's devices: drives behind drive letters ("\\.\X:") and behind ASPI host
// adapter numbers and target ids, the pass-through and media change notification requests, the
// events of the ASPI path, fault injection and the trace of every command a device received.
//
// A test attaches devices after emu::reset() (which removes them all again):
//
//     emu::DeviceId drive = emu::attachDrive('E');                 // DVD drive model on E:
//     emu::DeviceId same = emu::attachDrive('F', {.revision = "1.02"});
//     emu::placeOnAspi(drive, 1, 0);                               // also adapter 1, target 0
//     emu::refuseOpen('G');                                        // open of G: is refused
//     emu::injectFault(drive, {.when = {.opcode = scsi::TEST_UNIT_READY, .occurrence = 2},
//                              .effect = emu::FaultEffect::CheckCondition,
//                              .sense = {scsi::UNIT_ATTENTION, scsi::ASC_POWER_ON_RESET, 0}});
//     ... run the program ...
//     for (const emu::TraceEntry& command : emu::commandTrace()) ...
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/drive_model.h"
#include "platform/platform.h"

namespace emu {

// Index of an attached device, in the order attached.
using DeviceId = std::uint32_t;

// ---- Attaching devices ----

// Adds a device reachable nowhere yet; place it with placeOnLetter / placeOnAspi.
DeviceId addDevice(const DeviceConfig& config = {});
// Makes the device the one behind "\\.\X:" (letters A to Z; the program walks D to Z).
void placeOnLetter(DeviceId device, char letter);
// Makes the device the one at this ASPI host adapter number and target id.
void placeOnAspi(DeviceId device, std::uint8_t adapter, std::uint8_t target);

// Shorthands: a new device on a letter, or at an adapter and target id.
DeviceId attachDrive(char letter, const DeviceConfig& config = {});
DeviceId attachAspiDrive(std::uint8_t adapter, std::uint8_t target, const DeviceConfig& config = {});

// Opening the letter for reading or writing fails with ERROR_ACCESS_DENIED, whether or not a
// device is behind it. A control-only open (desired access 0) still succeeds unless
// `controlOnlyToo` is set.
void refuseOpen(char letter, bool controlOnlyToo = false);

// The model behind a device, to look at or change its state during a test.
DriveModel& drive(DeviceId device);
std::uint32_t deviceCount();

// ---- Fault injection ----

struct FaultMatch {
    std::uint8_t opcode = 0;
    std::optional<std::uint8_t> mode{};      // CDB byte 1 of READ/WRITE BUFFER
    std::optional<std::uint8_t> bufferId{};  // CDB byte 2 of READ/WRITE BUFFER
    unsigned occurrence = 0;               // 0: every matching command; n: only the n-th (from 1)
};

enum class FaultEffect {
    CheckCondition,              // the command is not carried out; CHECK CONDITION with `sense`
    CheckConditionWithoutSense,  // the same, but the drive delivers no sense bytes
    Slow,                        // carried out, but takes `durationMs` (pass-through: the OS gives
                                 // up at the request's time-out; ASPI: the library completes late)
    HostFailure,                 // never reaches the drive: pass-through DeviceIoControl fails with
                                 // ERROR_IO_DEVICE; ASPI completes with SS_ERR and no target status
    CarriedOutThenCheckCondition,  // the drive acts on the command, then reports CHECK CONDITION
                                   // with `sense`, as when its own restart interrupts the reply
};

struct Fault {
    FaultMatch when{};
    FaultEffect effect = FaultEffect::CheckCondition;
    Sense sense{};  // raw sense key byte (flag bits included), ASC, ASCQ
    std::uint32_t durationMs = 0;
};

void injectFault(DeviceId device, const Fault& fault);

// ---- Trace ----

enum class Path { PassThrough, Aspi };

enum class TraceOutcome {
    Completed,    // the host saw the device's status (and sense)
    TimedOut,     // pass-through: the OS gave up at the time-out and failed the call
    HostFailure,  // the request never reached the drive
};

struct TraceEntry {
    DeviceId device;
    Path path;
    std::uint64_t timeMs;          // virtual time at which the device began the command
    std::uint64_t completedMs;     // virtual time at which the host saw it end
    std::array<std::uint8_t, 16> cdb;
    std::uint8_t cdbLength;
    DataDirection direction;
    std::uint32_t transferLength;
    const void* buffer;            // the data buffer address the request carried
    std::optional<std::uint32_t> timeoutSeconds;  // pass-through only; ASPI requests carry none
    TraceOutcome outcome;
    std::uint8_t status;           // SCSI status byte
    std::array<std::uint8_t, 18> sense;
    std::uint8_t senseLength;      // sense bytes the drive delivered
};

// Every command in the order the devices began them.
const std::vector<TraceEntry>& commandTrace();
// The commands one device received, in order.
std::vector<TraceEntry> traceOf(DeviceId device);
// One line: time, device, path, CDB bytes, direction and length, buffer, time-out, outcome.
std::string describe(const TraceEntry& entry);

// ---- Media change notification ----

struct McnControlCall {
    platform::HANDLE handle;
    char letter;
    std::uint8_t preventMediaRemoval;  // 1: notification off, 0: back on
};

// Every IOCTL_STORAGE_MCN_CONTROL call that succeeded, in order.
const std::vector<McnControlCall>& mcnControlCalls();
// The last value set through a handle, if any.
std::optional<std::uint8_t> mcnStateOf(platform::HANDLE handle);

// ---- Events ----

// Windows may hand a closed event's handle value to the next CreateEventA. With this on, the
// emulation does so too (the most recently closed event handle is reused first), so that a late
// ASPI completion signals a newer event.
void reuseClosedEventHandles(bool enabled);
// Events still open.
int openEventCount();

}  // namespace emu
