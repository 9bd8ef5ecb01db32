// Placeholder until host checks land.
#include "discovery/host_environment.h"

namespace rflash {

std::int32_t checkHostEnvironment() { return 0; }
std::int32_t setUpPassThrough() { return 0; }
std::int32_t setUpAspi() { return 1; }
void finalRelease() {}
std::int32_t releasePassThrough() { return 0; }
std::int32_t releaseAspi() { return 0; }

}  // namespace rflash
