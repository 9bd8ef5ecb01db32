// Placeholder until enumeration lands.
#include "discovery/enumeration.h"

namespace rflash {

std::int32_t enumerateDrives() { return 0; }
void beginMcnControl(std::int32_t) {}
void endMcnControl(std::int32_t) {}

}  // namespace rflash
