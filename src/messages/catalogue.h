// The numbered bilingual message catalogue.
#pragma once

#include <cstdint>

namespace rflash {

enum MessageStyle : std::int32_t {
    MsgPrint = 0,
    MsgAskOkCancel = 1,
    MsgAskYesNo = 2,
    MsgError = 16,
    MsgInfo = 17,
    MsgWarning = 18,
};

constexpr std::uint32_t kLastMessageCode = 100;
constexpr std::int32_t kJapaneseCodePage = 932;

// One row of the catalogue. japanese holds code page 932 bytes; japaneseUtf8 the same text as
// UTF-8, as the catalogue is written. Codes without a row give nullptr.
struct CatalogueRow {
    const char* japanese;
    const char* english;
    const char* japaneseUtf8;
};
const CatalogueRow* catalogueRow(std::uint32_t code);

// Formats message `code` in the language of codePage with its arguments and prints and/or shows
// it as the style says. Returns the button for box styles, 0 otherwise.
std::int32_t showMessage(std::uint32_t code, std::int32_t style);

}  // namespace rflash
