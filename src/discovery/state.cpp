#include "discovery/state.h"

namespace rflash {

DiscoveryState discovery;

}  // namespace rflash
