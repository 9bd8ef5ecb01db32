// Marks an emulated operation that is not built yet: the run stops loudly instead of guessing.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace emu {

[[noreturn]] inline void unbuilt(const char* operation) {
    std::fprintf(stderr, "emulated host: %s is not emulated yet\n", operation);
    std::abort();
}

}  // namespace emu
