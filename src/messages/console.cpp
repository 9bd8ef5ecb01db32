#include "messages/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "messages/catalogue.h"
#include "messages/state.h"
#include "platform/platform.h"

namespace rflash {
namespace {

constexpr const char* kBoxCaption = "RFLASH";

// Box type value for each box style; 0 for a style that has no box.
platform::UINT boxTypeFor(std::int32_t style) {
    switch (style) {
        case MsgAskOkCancel: return platform::MB_OKCANCEL | platform::MB_ICONQUESTION;
        case MsgAskYesNo: return platform::MB_YESNO | platform::MB_ICONQUESTION;
        case MsgError: return platform::MB_OK | platform::MB_ICONERROR;
        case MsgInfo: return platform::MB_OK | platform::MB_ICONINFORMATION;
        case MsgWarning: return platform::MB_OK | platform::MB_ICONWARNING;
        default: return platform::MB_OK;
    }
}

}  // namespace

void printText(const char* text) {
    platform::writeStandardOutput(std::string_view(text, std::strlen(text)));
}

std::string formatText(const char* format, std::va_list arguments) {
    std::va_list measuring;
    va_copy(measuring, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string text;
    if (length > 0) {
        text.assign(static_cast<std::size_t>(length), '\0');
        std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    }
    return text;
}

void formatScratch(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    messages.scratchText = formatText(format, arguments);
    va_end(arguments);
}

std::int32_t showMessageBox(const char* text, std::int32_t style) {
    return platform::MessageBoxA(nullptr, text, kBoxCaption, boxTypeFor(style));
}

}  // namespace rflash
