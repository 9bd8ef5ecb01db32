#include "world.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/emulated/clock.h"
#include "platform/emulated/devices.h"
#include "platform/platform.h"
#include "platform/scsi.h"
#include "scenario.h"

namespace aspi_world {
namespace {

platform::GetASPI32SupportInfoFunction emulatedSupportInfo = nullptr;
platform::SendASPI32CommandFunction emulatedSend = nullptr;

// GetProcAddress hands out a type-erased pointer; void(*)() is the neutral step between types.
template <typename Function>
Function entryPoint(platform::HMODULE library, platform::WORD ordinal) {
    platform::FARPROC found = platform::GetProcAddress(library, platform::ordinalName(ordinal));
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

platform::SRB_ExecSCSICmd& asRequest(void* record) { return *static_cast<platform::SRB_ExecSCSICmd*>(record); }

}  // namespace

bool start(const std::string& scenario) {
    if (!aspi_test::setUpScenario(scenario)) return false;
    // The emulated machine's own library, bound as the program binds it.
    platform::HMODULE library = platform::LoadLibraryA("WNASPI32.DLL");
    emulatedSupportInfo = entryPoint<platform::GetASPI32SupportInfoFunction>(library, platform::ASPI_ORDINAL_GET_SUPPORT_INFO);
    emulatedSend = entryPoint<platform::SendASPI32CommandFunction>(library, platform::ASPI_ORDINAL_SEND_COMMAND);
    return emulatedSupportInfo != nullptr && emulatedSend != nullptr;
}

std::uint32_t supportInfo() {
    return emulatedSupportInfo != nullptr ? emulatedSupportInfo() : platform::DWORD{platform::SS_FAILED_INIT} << 8;
}

bool completesLater(const void* record) {
    return static_cast<const platform::BYTE*>(record)[0] == platform::SC_EXEC_SCSI_CMD;
}

std::uint32_t sendAtOnce(void* record) {
    return emulatedSend != nullptr ? emulatedSend(record) : platform::SS_FAILED_INIT;
}

void markPending(void* record) { publishStatus(record, platform::SS_PENDING); }

Completion execute(void* record) {
    platform::SRB_ExecSCSICmd& request = asRequest(record);
    bool notify = (request.SRB_Flags & platform::SRB_EVENT_NOTIFY) != 0;
    Completion completion{platform::SS_ERR, notify ? request.SRB_PostProc : nullptr};
    if (emulatedSend == nullptr) return completion;

    // The emulated library runs the request in virtual time on a copy without the program's
    // event (which is a real one); the data moves straight between drive and program buffer.
    platform::SRB_ExecSCSICmd copy = request;
    copy.SRB_Flags = static_cast<platform::BYTE>(copy.SRB_Flags & ~platform::SRB_EVENT_NOTIFY);
    copy.SRB_PostProc = nullptr;
    emulatedSend(&copy);
    while (copy.SRB_Status == platform::SS_PENDING) {
        std::int64_t next = emu::nextScheduledInMs();
        if (next < 0) break;  // nothing left that could complete it
        if (next == 0) {
            emu::runDueWork();
        } else {
            emu::advanceClock(static_cast<platform::DWORD>(next));
        }
    }
    std::copy(std::begin(copy.SenseArea), std::end(copy.SenseArea), std::begin(request.SenseArea));
    request.SRB_HaStat = copy.SRB_HaStat;
    request.SRB_TargStat = copy.SRB_TargStat;
    if (copy.SRB_Status != platform::SS_PENDING) completion.status = copy.SRB_Status;
    return completion;
}

void publishStatus(void* record, std::uint8_t status) {
    std::atomic_thread_fence(std::memory_order_release);
    *static_cast<volatile platform::BYTE*>(&asRequest(record).SRB_Status) = status;
}

std::string describeRequest(const void* record) {
    const auto& request = *static_cast<const platform::SRB_ExecSCSICmd*>(record);
    char line[160];
    std::snprintf(line, sizeof line, "adapter %u target %u opcode %02X mode %02X flags %02X event %s",
                  unsigned{request.SRB_HaId}, unsigned{request.SRB_Target}, unsigned{request.CDBByte[0]},
                  unsigned{request.CDBByte[1]}, unsigned{request.SRB_Flags},
                  request.SRB_PostProc != nullptr ? "yes" : "no");
    std::string text = line;
    // An image piece: where it goes, and whether its bytes are the file's at that offset.
    if (request.CDBByte[0] == scsi::WRITE_BUFFER && request.CDBByte[1] == scsi::BUFFER_MODE_DOWNLOAD_OFFSETS_SAVE_ACTIVATE) {
        std::uint32_t offset = (std::uint32_t{request.CDBByte[3]} << 16) | (std::uint32_t{request.CDBByte[4]} << 8) |
                               request.CDBByte[5];
        std::vector<std::uint8_t> image = aspi_test::imageBytes();
        bool matches = request.SRB_BufPointer != nullptr && offset <= image.size() &&
                       request.SRB_BufLen <= image.size() - offset &&
                       std::equal(request.SRB_BufPointer, request.SRB_BufPointer + request.SRB_BufLen,
                                  image.begin() + offset);
        std::snprintf(line, sizeof line, " offset %u length %u data %s", unsigned{offset},
                      unsigned{request.SRB_BufLen}, matches ? "matches-image" : "differs");
        text += line;
    }
    return text + "\n";
}

std::string drivesText() {
    std::string text;
    std::vector<std::uint8_t> image = aspi_test::imageBytes();
    for (emu::DeviceId id = 0; id < emu::deviceCount(); ++id) {
        const emu::DriveModel& drive = emu::drive(id);
        bool received = drive.receivedImage().size() == image.size() &&
                        std::equal(image.begin(), image.end(), drive.receivedImage().begin());
        text += "device " + std::to_string(id) + " revision " + drive.reportedRevision() +
                " kernel-mode " + (drive.inKernelMode() ? "yes" : "no") + " restarts " +
                std::to_string(drive.restarts()) + " image " +
                (received ? "matches-file" : drive.receivedImage().empty() ? "none" : "differs") + "\n";
    }
    return text;
}

}  // namespace aspi_world
