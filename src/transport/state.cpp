#include "transport/state.h"

namespace rflash {

TransportState transport;

}  // namespace rflash
