// Media change notification control against a temporary tree laid out as sysfs is.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdlib.h>

#include "platform/posix/devices.h"

namespace {

namespace fs = std::filesystem;
using platform::posix::restoreMediaPolling;
using platform::posix::turnMediaPollingOff;

class MediaPolling : public testing::Test {
protected:
    MediaPolling() {
        std::string pattern = (fs::temp_directory_path() / "rflash-sysfs-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        fs::create_directories(root / "block" / "sr2");
        write(attribute(2), "2000\n");
    }
    ~MediaPolling() override { fs::remove_all(root); }

    fs::path attribute(int drive) const {
        return root / "block" / ("sr" + std::to_string(drive)) / "events_poll_msecs";
    }
    static void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
    static std::string read(const fs::path& path) {
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }

    fs::path root;
    std::optional<std::string> saved;
};

TEST_F(MediaPolling, IsSavedTurnedOffAndPutBack) {
    ASSERT_TRUE(turnMediaPollingOff(root, 2, saved));
    EXPECT_EQ(read(attribute(2)), "0\n");
    EXPECT_EQ(saved, "2000\n");

    // Turning it off again must not take our own 0 for the drive's setting.
    ASSERT_TRUE(turnMediaPollingOff(root, 2, saved));
    EXPECT_EQ(saved, "2000\n");

    ASSERT_TRUE(restoreMediaPolling(root, 2, saved));
    EXPECT_EQ(read(attribute(2)), "2000\n");
    EXPECT_FALSE(saved);
}

TEST_F(MediaPolling, KernelDefaultIsPutBackAsFound) {
    write(attribute(2), "-1\n");
    ASSERT_TRUE(turnMediaPollingOff(root, 2, saved));
    ASSERT_TRUE(restoreMediaPolling(root, 2, saved));
    EXPECT_EQ(read(attribute(2)), "-1\n");
}

TEST_F(MediaPolling, RestoreWithoutASavedTextWritesNothing) {
    EXPECT_FALSE(restoreMediaPolling(root, 2, saved));
    EXPECT_EQ(read(attribute(2)), "2000\n");

    ASSERT_TRUE(turnMediaPollingOff(root, 2, saved));
    ASSERT_TRUE(restoreMediaPolling(root, 2, saved));
    write(attribute(2), "500\n");  // changed by someone else since
    EXPECT_FALSE(restoreMediaPolling(root, 2, saved));
    EXPECT_EQ(read(attribute(2)), "500\n");
}

TEST_F(MediaPolling, MissingAttributeIsASilentFailure) {
    EXPECT_FALSE(turnMediaPollingOff(root, 5, saved));
    EXPECT_FALSE(saved);
    EXPECT_FALSE(restoreMediaPolling(root, 5, saved));
    EXPECT_FALSE(fs::exists(attribute(5)));
    EXPECT_FALSE(fs::exists(attribute(5).parent_path()));
}

}  // namespace
