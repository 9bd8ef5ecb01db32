// SC_EXEC_SCSI_CMD requests of the emulated ASPI library. As the real library does, it returns
// SS_PENDING at once and completes the request later, on its own: when the command's virtual
// duration has passed it writes the incoming data, the sense area, the target and host status
// and SRB_Status into the request, in that order, and then sets the request's event. Requests
// to one target are served one after the other, in submission order, like a host adapter does.
#include <algorithm>
#include <cstring>

#include "platform/emulated/clock.h"
#include "platform/emulated/devices_internal.h"
#include "platform/emulated/handles.h"

namespace emu {
namespace {

void startNext(DeviceId id);

bool requestValid(const platform::SRB_ExecSCSICmd& record) {
    if (record.SRB_CDBLen == 0 || record.SRB_CDBLen > sizeof(record.CDBByte)) return false;
    if (record.SRB_SenseLen > sizeof(record.SenseArea)) return false;
    bool in = (record.SRB_Flags & platform::SRB_DIR_IN) != 0;
    bool out = (record.SRB_Flags & platform::SRB_DIR_OUT) != 0;
    if (in && out) return false;
    if ((in || out) && record.SRB_BufLen != 0 && record.SRB_BufPointer == nullptr) return false;
    return true;
}

AspiRequest takeRequest(platform::SRB_ExecSCSICmd* record) {
    AspiRequest request{};
    request.record = record;
    std::copy_n(record->CDBByte, record->SRB_CDBLen, request.cdb.begin());
    request.cdbLength = record->SRB_CDBLen;
    bool in = (record->SRB_Flags & platform::SRB_DIR_IN) != 0;
    bool out = (record->SRB_Flags & platform::SRB_DIR_OUT) != 0;
    request.direction = record->SRB_BufLen == 0 ? DataDirection::None
                        : in                     ? DataDirection::In
                        : out                    ? DataDirection::Out
                                                 : DataDirection::None;
    request.buffer = record->SRB_BufPointer;
    request.bufferLength = record->SRB_BufLen;
    request.senseLength = record->SRB_SenseLen;
    if ((record->SRB_Flags & platform::SRB_EVENT_NOTIFY) != 0) request.event = record->SRB_PostProc;
    return request;
}

// A request the library refuses or cannot deliver ends at once.
platform::DWORD endAtOnce(platform::SRB_ExecSCSICmd* record, platform::BYTE status) {
    record->SRB_Status = status;
    if ((record->SRB_Flags & platform::SRB_EVENT_NOTIFY) != 0) signalEvent(record->SRB_PostProc);
    return status;
}

void complete(DeviceId id, const AspiRequest& request, const Execution& execution, std::size_t traced) {
    platform::SRB_ExecSCSICmd* record = request.record;
    const DriveReply& reply = execution.reply;
    bool delivered = execution.reachedDrive && execution.answered;
    if (delivered && request.direction == DataDirection::In && !execution.dataIn.empty()) {
        std::memcpy(request.buffer, execution.dataIn.data(), std::min<std::size_t>(execution.dataIn.size(), request.bufferLength));
    }
    if (delivered && reply.status != scsi::GOOD) {
        std::size_t count = std::min<std::size_t>(request.senseLength, reply.senseLength);
        std::memcpy(record->SenseArea, reply.sense.data(), count);
    }
    record->SRB_HaStat = delivered ? platform::HASTAT_OK : platform::HASTAT_SEL_TO;
    record->SRB_TargStat = delivered ? reply.status : scsi::GOOD;
    record->SRB_Status = delivered && reply.status == scsi::GOOD ? platform::SS_COMP : platform::SS_ERR;
    if (request.event != nullptr) signalEvent(request.event);
    completeTrace(traced, delivered ? TraceOutcome::Completed : TraceOutcome::HostFailure, execution);

    Device& device = deviceAt(id);
    device.aspiBusy = false;
    if (!device.aspiQueue.empty()) startNext(id);
}

void startNext(DeviceId id) {
    Device& device = deviceAt(id);
    AspiRequest request = device.aspiQueue.front();
    device.aspiQueue.pop_front();
    device.aspiBusy = true;

    DriveCommand command;
    command.cdb = std::span<const std::uint8_t>(request.cdb.data(), request.cdbLength);
    command.direction = request.direction;
    // Data out is taken from the caller's buffer when the device starts the command.
    if (request.direction == DataDirection::Out) command.dataOut = {request.buffer, request.bufferLength};
    if (request.direction == DataDirection::In) command.dataInRoom = request.bufferLength;

    TraceEntry entry{};
    entry.device = id;
    entry.path = Path::Aspi;
    entry.timeMs = elapsedMs();
    entry.cdb = request.cdb;
    entry.cdbLength = request.cdbLength;
    entry.direction = request.direction;
    entry.transferLength = request.bufferLength;
    entry.buffer = request.buffer;
    std::size_t traced = recordTrace(entry);

    Execution execution = executeAt(id, command);
    std::uint32_t duration = !execution.reachedDrive ? 0
                             : !execution.answered   ? kSelectionTimeoutMs
                                                     : execution.reply.durationMs;
    std::uint64_t generation = deviceGeneration();
    schedule(duration, [id, request, execution = std::move(execution), traced, generation] {
        if (generation == deviceGeneration()) complete(id, request, execution, traced);
    });
}

}  // namespace

platform::DWORD executeAspiRequest(platform::SRB_ExecSCSICmd* record) {
    if (record == nullptr) return platform::SS_INVALID_SRB;
    record->SRB_Status = platform::SS_PENDING;
    if (record->SRB_Cmd != platform::SC_EXEC_SCSI_CMD || !requestValid(*record)) {
        return endAtOnce(record, platform::SS_INVALID_SRB);
    }
    auto id = deviceAtAspi(record->SRB_HaId, record->SRB_Target);
    if (!id || record->SRB_Lun != 0) return endAtOnce(record, platform::SS_NO_DEVICE);

    Device& device = deviceAt(*id);
    device.aspiQueue.push_back(takeRequest(record));
    if (!device.aspiBusy) startNext(*id);
    return platform::SS_PENDING;
}

}  // namespace emu
