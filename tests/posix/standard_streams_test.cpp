// Standard output and the message box with the process's real standard streams redirected
// into files.
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdlib.h>
#include <unistd.h>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

class StandardStreams : public testing::Test {
protected:
    StandardStreams() {
        std::string pattern = (fs::temp_directory_path() / "rflash-streams-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        std::fflush(stdout);
        std::fflush(stderr);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) kept[fd] = ::dup(fd);
        redirect(STDOUT_FILENO, "out", O_WRONLY | O_CREAT | O_TRUNC);
        redirect(STDERR_FILENO, "err", O_WRONLY | O_CREAT | O_TRUNC);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
    }
    ~StandardStreams() override {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
            ::dup2(kept[fd], fd);
            ::close(kept[fd]);
        }
        std::clearerr(stdin);
        fs::remove_all(folder);
    }

    void redirect(int fd, const char* name, int flags) {
        int file = ::open((folder / name).c_str(), flags, 0600);
        ::dup2(file, fd);
        ::close(file);
    }
    void answerWith(const std::string& input) {
        std::ofstream(folder / "in") << input;
        redirect(STDIN_FILENO, "in", O_RDONLY);
        std::clearerr(stdin);
    }
    std::string contents(const char* name) const {
        std::ostringstream text;
        text << std::ifstream(folder / name).rdbuf();
        return text.str();
    }

    fs::path folder;
    int kept[3] = {-1, -1, -1};
};

TEST_F(StandardStreams, OutputIsWrittenExactly) {
    ::setenv("LANG", "C", 1);
    writeStandardOutput("\n/// Quarnel Ver2.59B\n");
    writeStandardOutput("");
    writeStandardOutput("\rProcessing 5%%d\\~");
    EXPECT_EQ(contents("out"), "\n/// Quarnel Ver2.59B\n\rProcessing 5%%d\\~");
    EXPECT_EQ(contents("err"), "");
}

TEST_F(StandardStreams, JapaneseReachesTheTerminalInItsCharacterSet) {
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    writeStandardOutput("\r\n\x82\xa0");
    ::setenv("LANG", "ja_JP.SJIS", 1);
    writeStandardOutput("\r\n\x82\xa0");
    EXPECT_EQ(contents("out"), "\r\n\xe3\x81\x82\r\n\x82\xa0");
}

TEST_F(StandardStreams, BoxStaysOffStandardOutput) {
    ::setenv("LANG", "C", 1);
    answerWith("what\nn\n");
    EXPECT_EQ(MessageBoxA(nullptr, "\r\nDo you want to update all drives ?", "RFLASH", MB_YESNO | MB_ICONQUESTION),
              IDNO);
    EXPECT_EQ(contents("out"), "");
    EXPECT_NE(contents("err").find("[RFLASH]\nDo you want to update all drives ?\n"), std::string::npos);
}

TEST_F(StandardStreams, ClosedInputAnswersNothingAtOnce) {
    ::close(STDIN_FILENO);
    EXPECT_EQ(MessageBoxA(nullptr, "\r\nAvailable target is not found.", "RFLASH", MB_OK | MB_ICONINFORMATION), 0);
    EXPECT_EQ(contents("out"), "");
}

TEST_F(StandardStreams, FilesOpenedWhileOutputIsClosedNeverReceiveIt) {
    std::ofstream(folder / "image") << "image bytes";
    ::close(STDOUT_FILENO);
    HANDLE file = CreateFileA((folder / "image").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    writeStandardOutput("printed");
    EXPECT_EQ(::fcntl(STDOUT_FILENO, F_GETFD), -1);  // the slot stayed free
    EXPECT_EQ(CloseHandle(file), TRUE);
    EXPECT_EQ(contents("image"), "image bytes");
}

}  // namespace
