#pragma once

#include "discovery/state.h"
#include "driver/state.h"
#include "messages/state.h"
#include "platform/emulated/host.h"
#include "transport/state.h"
#include "update/state.h"

namespace rflash_test {

// A fresh machine and start values in every subsystem.
inline void resetEverything() {
    emu::reset();
    rflash::program = {};
    rflash::messages = {};
    rflash::transport = {};
    rflash::discovery = {};
    rflash::update = {};
}

}  // namespace rflash_test
