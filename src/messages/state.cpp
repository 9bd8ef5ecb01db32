#include "messages/state.h"

namespace rflash {

MessagesState messages;

}  // namespace rflash
