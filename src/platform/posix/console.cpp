#include "platform/posix/console.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace platform::posix {
namespace {

// A reader that went away must not end the run in the middle of an update: writes to a closed
// pipe fail and are ignored instead of killing the process.
void ignoreBrokenPipes() {
    static const bool ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    static_cast<void>(ignored);
}

}  // namespace
}  // namespace platform::posix

namespace platform {

void writeStandardOutput(std::string_view bytes) {
    posix::ignoreBrokenPipes();
    std::string text = posix::textForTerminal(bytes, posix::localeUsesShiftJis(posix::messagesLocale()));
    std::string_view rest = text;
    // Written straight to the descriptor: nothing waits in a buffer, so progress lines move.
    while (!rest.empty()) {
        ssize_t put = ::write(STDOUT_FILENO, rest.data(), rest.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        rest.remove_prefix(static_cast<std::size_t>(put));
    }
}

int MessageBoxA(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    posix::ignoreBrokenPipes();
    return posix::askOnConsole(lpText != nullptr ? lpText : "", lpCaption != nullptr ? lpCaption : "", uType,
                               stdin, stderr, posix::localeUsesShiftJis(posix::messagesLocale()));
}

UINT GetOEMCP() {
    return posix::codePageForLocale(posix::messagesLocale());
}

}  // namespace platform
