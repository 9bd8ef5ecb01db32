// Placeholder until the update procedure lands.
#include "update/update_procedure.h"

namespace rflash {

std::int32_t updateDrive() { return kDriveLeftAsItWas; }
std::int32_t selectDefinitionEntry() { return -1; }
std::int32_t prepareDrive() { return -1; }

}  // namespace rflash
