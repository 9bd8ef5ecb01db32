// The walk over drives that builds the target list.
#pragma once

#include <cstdint>

namespace rflash {

std::int32_t enumerateDrives();
void beginMcnControl(std::int32_t index);
void endMcnControl(std::int32_t index);

}  // namespace rflash
