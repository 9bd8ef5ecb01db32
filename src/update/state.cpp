#include "update/state.h"

namespace rflash {

UpdateState update;

}  // namespace rflash
