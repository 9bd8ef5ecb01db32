// Language and console on Linux: the code page comes from the locale of messages, the
// catalogue's code page 932 bytes are shown as the terminal's character set needs them, and
// message boxes are drawn on standard error and answered on standard input. The functions here
// are the backend's inner steps, kept apart so that tests can drive them.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform::posix {

constexpr UINT kJapaneseCodePage = 932;
constexpr UINT kDefaultOemCodePage = 437;

// The locale value that decides the language of messages: LC_ALL, else LC_MESSAGES, else LANG,
// the first that is set and not empty; empty when none is.
std::string messagesLocale();

// 932 for a locale whose language is Japanese ("ja..."), 437 for any other.
UINT codePageForLocale(std::string_view locale);

// Whether the character set the locale value names (after '.', before any '@') is Shift JIS.
bool localeUsesShiftJis(std::string_view locale);

// Code page 932 text as the terminal shows it: unchanged for a Shift JIS terminal, UTF-8
// otherwise. Text without bytes above 0x7F is always returned unchanged.
std::string textForTerminal(std::string_view bytes, bool terminalUsesShiftJis);

// A message box on the console: draws caption, text and a prompt for the buttons of `type` on
// `screen` and reads answer lines from `answers` until one fits a button. Returns that button,
// or 0 when input ends or fails, or when the type has buttons no console answer can name.
int askOnConsole(std::string_view text, std::string_view caption, UINT type, std::FILE* answers,
                 std::FILE* screen, bool terminalUsesShiftJis);

}  // namespace platform::posix
