// Message boxes on a terminal: the box is drawn on one stream (standard error), the answer read
// as one line from another (standard input).
#pragma once

#include <iosfwd>
#include <string>

#include "platform/platform.h"

namespace emu_demo {

// Draws the box (caption, text) and a prompt for the buttons of `type`, then reads lines until
// one answers it: y/yes/n/no for Yes/No boxes, o/ok/c/cancel for OK/Cancel boxes (any letter
// case), any line for OK-only boxes. An unrecognised line asks again; the end of input answers 0,
// as a box that could not be shown.
int askOnTerminal(const std::string& text, const std::string& caption, platform::UINT type, std::istream& in,
                  std::ostream& out);

// Draws the box alone: a frame with the caption and the text's lines.
void drawBox(const std::string& text, const std::string& caption, std::ostream& out);

// The button a scripted answer word stands for (the words above, also "0" for no answer); -1
// when the word means nothing.
int buttonForWord(const std::string& word);

}  // namespace emu_demo
