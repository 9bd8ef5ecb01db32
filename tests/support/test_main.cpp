// Test entry: before every test the emulated machine and every subsystem's module-level state
// are put back to their start values, so no test sees what another left behind.
#include <gtest/gtest.h>

#include "support/fresh_state.h"

namespace {

class FreshStateListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { rflash_test::resetEverything(); }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStateListener);
    return RUN_ALL_TESTS();
}
