#include "driver/state.h"

namespace rflash {

ProgramState program;

}  // namespace rflash
