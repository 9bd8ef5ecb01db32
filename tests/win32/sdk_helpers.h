// What the backend tests need of the Windows API beyond platform.h; sdk_helpers.cpp alone sees
// <windows.h>.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace win32_test {

// Runs this test program again with `argument` and returns all it wrote to standard output
// (through a pipe, so the bytes are exactly those the C runtime wrote), or nothing when it could
// not be started or did not end within 30 s.
std::optional<std::string> runSelf(const char* argument);

bool underWine();
bool signalEvent(void* event);
// The SDK's own predefined key, to compare with platform.h's.
std::uintptr_t sdkLocalMachineKey();

}  // namespace win32_test
