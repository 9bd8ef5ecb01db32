#include "messages/catalogue.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "discovery/state.h"
#include "driver/state.h"
#include "messages/console.h"
#include "update/state.h"

namespace rflash {
namespace {

constexpr const char* kUnknownCodeText = "\r\nUnknow Message Code\r\n";

// Where the fields that message 82 prints sit in the Inquiry data and in the image header.
constexpr std::size_t kInquiryIdentification = 8;    // vendor and product, 24 bytes
constexpr std::size_t kInquiryRevision = 32;         // product revision and the byte after it
constexpr std::size_t kInquiryDate = 37;             // firmware date text, 8 bytes
constexpr std::size_t kImageIdentification = 96;     // 24 bytes
constexpr std::size_t kImageRevisionText = 144;      // 5 bytes
constexpr std::size_t kImageDateText = 304;          // 8 bytes
constexpr std::size_t kImageHeaderPrinted = kImageDateText + 8;

// The catalogue's texts are checked when the build generates the table: both languages of a code
// take the same conversions, and a test holds each code's conversions to the arguments below.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
__attribute__((format(printf, 1, 2))) std::string formatMessage(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::string text = formatText(format, arguments);
    va_end(arguments);
    return text;
}

// Formats the text with the arguments that message `code` takes, read from the program-wide
// values as they are now.
std::string formatWithArguments(std::uint32_t code, const char* format) {
    const char* inquiry = reinterpret_cast<const char*>(update.inquiryData.data());
    const char* newRevision = update.newRevisionText.data();
    switch (code) {
        case 11: return formatMessage(format, program.workingEntry.imageFileName);
        case 31: return formatMessage(format, discovery.targetCount);
        case 32:
            return formatMessage(format, program.currentTarget, newRevision, inquiry + kInquiryIdentification,
                                 inquiry + kInquiryRevision);
        case 34: return formatMessage(format, program.currentTarget + 1);
        case 45:
        case 46: return formatMessage(format, newRevision);
        case 58: return formatMessage(format, program.successCount);
        case 82: {
            // The image header as far as the buffer holds it; zero bytes where there is none.
            std::array<char, kImageHeaderPrinted> header{};
            const SharedBuffer& image = discovery.imageBuffer;
            if (image.data != nullptr) {
                std::memcpy(header.data(), image.data, std::min(image.size, header.size()));
            }
            return formatMessage(format, inquiry + kInquiryIdentification, inquiry + kInquiryRevision,
                                 inquiry + kInquiryDate, header.data() + kImageIdentification,
                                 header.data() + kImageRevisionText, header.data() + kImageDateText);
        }
        default: return formatMessage(format);
    }
}
#pragma GCC diagnostic pop

bool isQuestion(std::int32_t style) { return style == MsgAskOkCancel || style == MsgAskYesNo; }

bool isPrintedAndBoxed(std::int32_t style) {
    return style == MsgError || style == MsgInfo || style == MsgWarning;
}

}  // namespace

std::int32_t showMessage(std::uint32_t code, std::int32_t style) {
    const CatalogueRow* row = catalogueRow(code);
    std::string text;
    if (row == nullptr) {
        text = kUnknownCodeText;
    } else {
        const bool japanese = program.codePage == kJapaneseCodePage;
        text = formatWithArguments(code, japanese ? row->japanese : row->english);
    }

    if (isQuestion(style)) return showMessageBox(text.c_str(), style);
    printText(text.c_str());
    if (isPrintedAndBoxed(style)) return showMessageBox(text.c_str(), style);
    return 0;
}

}  // namespace rflash
