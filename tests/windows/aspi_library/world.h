// The emulated side of the test ASPI library: the scenario's drives and adapters behind the
// library's two entry points. Plain types only; library.cpp, which sees <windows.h>, calls these
// with the program's request records, one call at a time.
#pragma once

#include <cstdint>
#include <string>

namespace aspi_world {

// Sets up the scenario once; false when the name is unknown.
bool start(const std::string& scenario);

std::uint32_t supportInfo();

// Whether the record is an SC_EXEC_SCSI_CMD request, which completes later on the library's own
// thread; anything else is answered at once by sendAtOnce.
bool completesLater(const void* record);
std::uint32_t sendAtOnce(void* record);

// Marks an SC_EXEC_SCSI_CMD request pending, as the library does before it returns.
void markPending(void* record);

struct Completion {
    std::uint8_t status;  // the SRB_Status still to be published
    void* event;          // the event to set, or nullptr when the request did not ask for one
};
// Carries the request out on the emulated devices and writes data, sense and host and target
// status into the program's record; SRB_Status is left for publishStatus.
Completion execute(void* record);
// Writes SRB_Status after everything else the request returns, as the real library does.
void publishStatus(void* record, std::uint8_t status);

// One line about the request as the program made it: adapter, target, opcode, flags, and
// whether it carried an event.
std::string describeRequest(const void* record);
// The drives' state now: revision reported, kernel mode, image received and stored.
std::string drivesText();

}  // namespace aspi_world
