// Module-level state of the console messages.
#pragma once

#include <string>

namespace rflash {

struct MessagesState {
    // The program-wide text that Parts format ad-hoc lines into before printing them.
    std::string scratchText;
};

extern MessagesState messages;

}  // namespace rflash
