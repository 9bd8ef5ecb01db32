// Choice of the access interface, detection of host drivers and adapters, the shared buffers.
#pragma once

#include <cstdint>

namespace rflash {

void checkHostEnvironment();
std::int32_t setUpPassThrough();
std::int32_t setUpAspi();

// Releases what the host checks and the enumeration took; called once on every exit.
void finalRelease();
std::int32_t releasePassThrough();
std::int32_t releaseAspi();

}  // namespace rflash
