// Placeholder until the catalogue lands: every code prints the unknown-code text.
#include "messages/catalogue.h"

#include "messages/console.h"

namespace rflash {

const CatalogueRow* catalogueRow(std::uint32_t) { return nullptr; }

std::int32_t showMessage(std::uint32_t, std::int32_t style) {
    const char* text = "\r\nUnknow Message Code\r\n";
    if (style == MsgAskOkCancel || style == MsgAskYesNo) return showMessageBox(text, style);
    printText(text);
    if (style == MsgError || style == MsgInfo || style == MsgWarning) return showMessageBox(text, style);
    return 0;
}

}  // namespace rflash
