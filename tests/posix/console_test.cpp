// Language, character set and message boxes on the console.
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <stdlib.h>
#include <string>

#include "messages/catalogue.h"
#include "platform/posix/console.h"

namespace {

using namespace platform;
using posix::textForTerminal;

struct LocaleCase {
    const char* locale;
    UINT codePage;
    bool shiftJis;
};

TEST(Locale, GivesCodePageAndCharacterSet) {
    const LocaleCase cases[] = {
        {"ja_JP.UTF-8", 932, false},   {"ja_JP.eucJP", 932, false},  {"ja_JP", 932, false},
        {"ja", 932, false},            {"ja_JP.SJIS", 932, true},    {"ja_JP.sjis", 932, true},
        {"ja_JP.Shift_JIS", 932, true}, {"ja_JP.shift_jis", 932, true}, {"ja_JP.CP932", 932, true},
        {"ja_JP.PCK", 932, true},      {"ja_JP.pck@euro", 932, true}, {"en_US.UTF-8", 437, false},
        {"en_US.SJIS", 437, true},     {"C", 437, false},            {"C.UTF-8", 437, false},
        {"POSIX", 437, false},         {"", 437, false},             {"de_DE@euro", 437, false},
        {"JA_JP.UTF-8", 437, false},   {"ja_JP.SJISX", 932, false},
    };
    for (const LocaleCase& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(posix::codePageForLocale(c.locale), c.codePage);
        EXPECT_EQ(posix::localeUsesShiftJis(c.locale), c.shiftJis);
    }
}

class Environment : public testing::Test {
protected:
    static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    Environment() {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            kept.emplace_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~Environment() override {
        for (std::size_t i = 0; i < kept.size(); ++i) set(kVariables[i], kept[i] ? kept[i]->c_str() : nullptr);
    }
    static void set(const char* name, const char* value) {
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    std::vector<std::optional<std::string>> kept;
};

TEST_F(Environment, FirstSetAndNonEmptyVariableDecides) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        const char* locale;
        UINT codePage;
    };
    const Case cases[] = {
        {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", "C", 437},
        {"", "ja_JP.UTF-8", "C", "ja_JP.UTF-8", 932},
        {nullptr, "", "ja_JP.SJIS", "ja_JP.SJIS", 932},
        {nullptr, nullptr, "en_GB.UTF-8", "en_GB.UTF-8", 437},
        {nullptr, nullptr, nullptr, "", 437},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        set("LC_ALL", c.all);
        set("LC_MESSAGES", c.messages);
        set("LANG", c.lang);
        EXPECT_EQ(posix::messagesLocale(), c.locale);
        EXPECT_EQ(GetOEMCP(), c.codePage);
    }
}

TEST(TerminalText, EveryJapaneseTextOfTheCatalogueBecomesItsReadableForm) {
    int japaneseTexts = 0;
    for (std::uint32_t code = 0; code <= rflash::kLastMessageCode; ++code) {
        const rflash::CatalogueRow* row = rflash::catalogueRow(code);
        if (row == nullptr || row->japanese == nullptr) continue;
        SCOPED_TRACE(code);
        ++japaneseTexts;
        EXPECT_EQ(textForTerminal(row->japanese, false), row->japaneseUtf8);
        EXPECT_EQ(textForTerminal(row->japanese, true), row->japanese);
    }
    EXPECT_GT(japaneseTexts, 0) << "the catalogue holds no Japanese text";
}

TEST(TerminalText, EnglishBytesAreNeverTouched) {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
    EXPECT_EQ(textForTerminal(ascii, false), ascii);
    EXPECT_EQ(textForTerminal(ascii, true), ascii);
    for (std::uint32_t code = 0; code <= rflash::kLastMessageCode; ++code) {
        const rflash::CatalogueRow* row = rflash::catalogueRow(code);
        if (row == nullptr || row->english == nullptr) continue;
        SCOPED_TRACE(code);
        EXPECT_EQ(textForTerminal(row->english, false), row->english);
    }
}

TEST(TerminalText, ConvertsCodePage932ToUtf8) {
    struct Case {
        const char* name;
        std::string cp932;
        std::string utf8;
    };
    const Case cases[] = {
        {"hiragana", "\x82\xa0\x82\xa2", "\xe3\x81\x82\xe3\x81\x84"},
        {"half-width katakana", "\xb1\xdd", "\xef\xbd\xb1\xef\xbe\x9d"},
        {"second byte 0x5C stays inside its character", "\x95\x5c\\", "\xe8\xa1\xa8\\"},
        {"ASCII around Japanese", "\r\n%d\x82\xa0~\r\n", "\r\n%d\xe3\x81\x82~\r\n"},
        {"a byte outside the code page is kept", "a\xfd" "b\x82\xa0", "a\xfd" "b\xe3\x81\x82"},
        {"a character cut at the end is kept", "\x82\xa0\x82", "\xe3\x81\x82\x82"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(textForTerminal(c.cp932, false), c.utf8);
        EXPECT_EQ(textForTerminal(c.cp932, true), c.cp932);
    }
}

// One box answered from `input`; what was drawn lands in `screen`.
struct BoxRun {
    int answer;
    std::string screen;
};

BoxRun runBox(const std::string& input, UINT type, std::string_view text = "Question?", bool shiftJis = false) {
    std::string feed = input;
    // fmemopen refuses an empty buffer; /dev/null is an input that ends at once.
    std::FILE* answers = feed.empty() ? std::fopen("/dev/null", "r") : ::fmemopen(feed.data(), feed.size(), "r");
    char* drawn = nullptr;
    std::size_t drawnSize = 0;
    std::FILE* screen = ::open_memstream(&drawn, &drawnSize);
    int answer = posix::askOnConsole(text, "RFLASH", type, answers, screen, shiftJis);
    std::fclose(screen);
    std::fclose(answers);
    BoxRun run{answer, std::string(drawn, drawnSize)};
    std::free(drawn);
    return run;
}

constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION;
constexpr UINT kOkCancel = MB_OKCANCEL | MB_ICONQUESTION;
constexpr UINT kInformation = MB_OK | MB_ICONINFORMATION;

TEST(ConsoleBox, AnswerWords) {
    struct Case {
        UINT type;
        const char* input;
        int answer;
    };
    const Case cases[] = {
        {kQuestion, "y\n", IDYES},       {kQuestion, "yes\n", IDYES},     {kQuestion, "YES\r\n", IDYES},
        {kQuestion, "  Y \n", IDYES},    {kQuestion, "n\n", IDNO},        {kQuestion, "no\n", IDNO},
        {kQuestion, "No\n", IDNO},       {kQuestion, "y", IDYES},         {kOkCancel, "o\n", IDOK},
        {kOkCancel, "ok\n", IDOK},       {kOkCancel, "OK\n", IDOK},       {kOkCancel, "c\n", IDCANCEL},
        {kOkCancel, "Cancel\n", IDCANCEL}, {kInformation, "\n", IDOK},    {kInformation, "anything\n", IDOK},
        {MB_OK | MB_ICONERROR, "n\n", IDOK}, {MB_OK | MB_ICONWARNING, "x\n", IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(runBox(c.input, c.type).answer, c.answer);
    }
}

TEST(ConsoleBox, AsksAgainUntilALineNamesOneOfItsButtons) {
    struct Case {
        UINT type;
        const char* input;
        int answer;
        int prompts;
    };
    const Case cases[] = {
        {kQuestion, "maybe\n\nok\ny\n", IDYES, 4},
        {kQuestion, "yess\nno\n", IDNO, 2},
        {kOkCancel, "yes\nnope\nc\n", IDCANCEL, 3},
        {kQuestion, "maybe\n", 0, 2},  // then the input ends
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        BoxRun run = runBox(c.input, c.type);
        EXPECT_EQ(run.answer, c.answer);
        int prompts = 0;
        for (auto at = run.screen.find("[y/n]"); at != std::string::npos; at = run.screen.find("[y/n]", at + 1)) ++prompts;
        for (auto at = run.screen.find("[o/c]"); at != std::string::npos; at = run.screen.find("[o/c]", at + 1)) ++prompts;
        EXPECT_EQ(prompts, c.prompts);
    }
}

TEST(ConsoleBox, EndOfInputOrAReadErrorIsNoAnswer) {
    EXPECT_EQ(runBox("", kQuestion).answer, 0);
    EXPECT_EQ(runBox("", kInformation).answer, 0);

    std::FILE* unreadable = std::fopen("/dev/null", "w");
    std::FILE* screen = std::fopen("/dev/null", "w");
    EXPECT_EQ(posix::askOnConsole("Question?", "RFLASH", kQuestion, unreadable, screen, false), 0);
    std::fclose(screen);
    std::fclose(unreadable);
}

TEST(ConsoleBox, ShowsCaptionTextAndPromptInTheTerminalCharacterSet) {
    const std::string japanese = "\r\n\x82\xa0\x82\xa2\r\n\x82\xa4?";
    BoxRun utf8 = runBox("y\n", kQuestion, japanese, false);
    EXPECT_EQ(utf8.screen, "\n[RFLASH]\n\xe3\x81\x82\xe3\x81\x84\n\xe3\x81\x86?\nYes or No? [y/n]: ");

    BoxRun shiftJis = runBox("\n", kInformation, japanese, true);
    EXPECT_EQ(shiftJis.screen, "\n[RFLASH]\n\x82\xa0\x82\xa2\n\x82\xa4?\nPress Enter to continue: ");
}

TEST(ConsoleBox, TypesWithoutConsoleButtonsAreNotShown) {
    constexpr UINT kAbortRetryIgnore = 0x02;
    BoxRun run = runBox("y\n", kAbortRetryIgnore | MB_ICONQUESTION);
    EXPECT_EQ(run.answer, 0);
    EXPECT_EQ(run.screen, "");
}

}  // namespace
