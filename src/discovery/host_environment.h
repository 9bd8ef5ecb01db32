// Choice of the access interface, detection of host drivers and adapters, the shared buffers.
#pragma once

#include <cstdint>

namespace rflash {

// Returns 0, or -1 when a shared buffer could not be allocated (after message 13): the run
// cannot go on without its buffers.
std::int32_t checkHostEnvironment();
std::int32_t setUpPassThrough();
std::int32_t setUpAspi();

// Releases what the host checks and the enumeration took; called once on every exit.
void finalRelease();
std::int32_t releasePassThrough();
std::int32_t releaseAspi();

}  // namespace rflash
