#include "platform/emulated/console.h"

#include <cstdio>
#include <deque>
#include <utility>

#include "platform/emulated/host.h"

namespace emu {
namespace {

struct ConsoleState {
    std::string output;
    std::FILE* echo = nullptr;
    platform::UINT codePage = 437;
    std::deque<int> answers;
    std::function<int(const MessageBoxShown&)> handler;
    std::vector<MessageBoxShown> boxes;
    int unanswered = 0;
};

ConsoleState& state() {
    static ConsoleState console;
    return console;
}

}  // namespace

void resetConsole() {
    state() = ConsoleState{};
}

const std::string& consoleOutput() {
    return state().output;
}

void echoConsoleTo(std::FILE* stream) {
    state().echo = stream;
}

void setOemCodePage(platform::UINT codePage) {
    state().codePage = codePage;
}

void scriptAnswers(std::vector<int> answers) {
    state().answers.assign(answers.begin(), answers.end());
}

void answerBoxesWith(std::function<int(const MessageBoxShown&)> handler) {
    state().handler = std::move(handler);
}

const std::vector<MessageBoxShown>& boxesShown() {
    return state().boxes;
}

int unansweredBoxes() {
    return state().unanswered;
}

}  // namespace emu

namespace platform {

void writeStandardOutput(std::string_view bytes) {
    auto& console = emu::state();
    console.output.append(bytes);
    if (console.echo != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), console.echo);
        std::fflush(console.echo);
    }
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    auto& console = emu::state();
    emu::MessageBoxShown box{hWnd, lpText != nullptr ? lpText : "", lpCaption != nullptr ? lpCaption : "", uType, 0};
    if (console.handler) {
        box.answer = console.handler(box);
    } else if (!console.answers.empty()) {
        box.answer = console.answers.front();
        console.answers.pop_front();
    } else {
        ++console.unanswered;
    }
    console.boxes.push_back(box);
    return box.answer;
}

UINT GetOEMCP() {
    return emu::state().codePage;
}

}  // namespace platform
