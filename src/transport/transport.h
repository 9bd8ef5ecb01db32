// Execution of one command descriptor block against one drive, over SCSI pass-through or the
// ASPI library, with time-outs and sense capture.
#pragma once

#include <array>
#include <cstdint>

namespace rflash {

enum CommandDirection : std::int32_t {
    DirectionNone = 0,
    DirectionIn = 1,   // drive to host
    DirectionOut = 2,  // host to drive
};

struct CommandRequest {
    std::int32_t targetIndex;
    std::int32_t direction;
    std::int32_t cdbLength;
    std::int32_t timeoutMs;  // 0: no time-out given
    std::int32_t transferLength;
    std::uint8_t* buffer;    // the caller's own buffer; never copied
    std::array<std::uint8_t, 16> cdb;
};

// Transport results. Callers test zero against non-zero; the values are for diagnosis.
constexpr std::int32_t kCommandOk = 0;
constexpr std::int32_t kCommandCheckCondition = 2;  // pass-through: non-zero SCSI status
constexpr std::int32_t kCommandFailed = -1;
constexpr std::int32_t kCommandNoDrive = -2;        // pass-through open failed / event wait timed out

std::int32_t executeCommand(CommandRequest& request);

// Whether a library request abandoned after a time-out may still complete: the library would
// then write into its record and its buffer, so those must stay allocated.
bool libraryRequestsOutstanding();

std::int32_t openDrive(char letter);
std::int32_t closeDrive();
std::int32_t captureSense();

// Pass-through forms use the drive opened by openDrive; library forms address adapter/target.
std::int32_t probeInquiry();
std::int32_t probeInquiry(std::int32_t adapter, std::int32_t target);
std::int32_t probeDriveInfo();
std::int32_t probeDriveInfo(std::int32_t adapter, std::int32_t target);

}  // namespace rflash
