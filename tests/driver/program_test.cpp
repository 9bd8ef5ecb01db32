#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/state.h"
#include "driver/program.h"
#include "driver/state.h"
#include "platform/emulated/clock.h"
#include "platform/emulated/console.h"
#include "platform/platform.h"
#include "support/fresh_state.h"

namespace {

const std::string kBanner = "\n/// Quarnel Ver2.59B\n";

const std::string kNoTarget = "\r\nAvailable target is not found.";
const std::string kCompleted = "\r\nUpdate operation is completed.";
const std::string kTerminated = "\r\nUpdate program is terminated by occuring an error.\r\n";

std::string startLine(int number) { return "\r\nStart updating the device No." + std::to_string(number) + "."; }

std::string allDrivesQuestion(int count) {
    return "\r\n" + std::to_string(count) + " target device(s) is found.\r\nDo you want to update all drives ?";
}

// What the doubles of the other subsystems are told to do and what they saw.
struct Script {
    std::int32_t hostResult = 0;
    std::int32_t targets = 0;
    std::vector<std::int32_t> results;  // updateDrive's result per target

    struct Visit {
        std::int32_t currentTarget;
        std::int32_t updateAllDrives;
        std::uint64_t startedAtMs;
    };
    std::vector<Visit> visits;
    int enumerations = 0;
    int releases = 0;
    std::uint64_t releasedAtMs = 0;
};

Script script;

std::int32_t hostDouble() { return script.hostResult; }

std::int32_t enumerateDouble() {
    ++script.enumerations;
    rflash::discovery.targetCount = script.targets;
    return script.targets;
}

std::int32_t updateDouble() {
    std::size_t index = script.visits.size();
    script.visits.push_back({rflash::program.currentTarget, rflash::program.updateAllDrives, emu::elapsedMs()});
    return index < script.results.size() ? script.results[index] : 1;
}

void releaseDouble() {
    ++script.releases;
    script.releasedAtMs = emu::elapsedMs();
}

const rflash::MainSequenceSteps kDoubles{&hostDouble, &enumerateDouble, &updateDouble, &releaseDouble};

class MainSequence : public ::testing::Test {
protected:
    void SetUp() override { script = {}; }

    int run(std::int32_t targets, std::vector<std::int32_t> results, std::vector<int> answers = {}) {
        script.targets = targets;
        script.results = std::move(results);
        emu::scriptAnswers(std::move(answers));
        return rflash::runMainSequence(kDoubles);
    }

    static std::vector<std::int32_t> visitedTargets() {
        std::vector<std::int32_t> visited;
        for (const auto& visit : script.visits) visited.push_back(visit.currentTarget);
        return visited;
    }

    struct Box {
        std::string text;
        platform::UINT type;
        bool operator==(const Box&) const = default;
    };
    static std::vector<Box> boxes() {
        std::vector<Box> shown;
        for (const auto& box : emu::boxesShown()) {
            EXPECT_EQ(box.caption, "RFLASH");
            EXPECT_EQ(box.owner, nullptr);
            shown.push_back({box.text, box.type});
        }
        return shown;
    }
};

constexpr platform::UINT kYesNoBox = 0x24;
constexpr platform::UINT kInfoBox = 0x40;
constexpr platform::UINT kWarningBox = 0x30;

TEST_F(MainSequence, NoTargetTellsTheUserAndEndsWithExitCode1) {
    EXPECT_EQ(run(0, {}), 1);
    EXPECT_EQ(emu::consoleOutput(), kBanner + kNoTarget);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kNoTarget, kInfoBox}}));
    EXPECT_TRUE(script.visits.empty());
    EXPECT_EQ(script.releases, 1);
}

// The banner comes before the code page is known and never changes with it; the messages do.
TEST_F(MainSequence, BannerIsTheSameInBothLanguages) {
    const std::string japaneseNoTarget =
        "\r\n\x82\xB1\x82\xCC\xCC\xDF\xDB\xB8\xDE\xD7\xD1\x82\xC5\x97\x98\x97p\x89\xC2\x94\x5C\x82\xC8\xC4\xDE\xD7"
        "\xB2\xCC\xDE\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81" "B";
    emu::setOemCodePage(932);
    EXPECT_EQ(run(0, {}), 1);
    EXPECT_EQ(rflash::program.codePage, 932);
    EXPECT_EQ(emu::consoleOutput(), kBanner + japaneseNoTarget);
}

TEST_F(MainSequence, HostThatCannotProvideItsBuffersEndsTheRunBeforeAnyDrive) {
    script.hostResult = -1;
    EXPECT_EQ(run(2, {0, 0}), 1);
    EXPECT_EQ(script.enumerations, 0);
    EXPECT_TRUE(script.visits.empty());
    EXPECT_EQ(emu::consoleOutput(), kBanner);
    EXPECT_TRUE(emu::boxesShown().empty());
    EXPECT_EQ(script.releases, 1);
}

TEST_F(MainSequence, SingleTargetIsAskedAboutByItsOwnUpdate) {
    EXPECT_EQ(run(1, {0}), 0);
    EXPECT_EQ(emu::consoleOutput(), kBanner + startLine(1) + kCompleted);
    EXPECT_EQ(boxes(), (std::vector<Box>{{kCompleted, kInfoBox}}));
    ASSERT_EQ(script.visits.size(), 1u);
    EXPECT_EQ(script.visits[0].currentTarget, 0);
    EXPECT_EQ(script.visits[0].updateAllDrives, 0);
    EXPECT_EQ(script.releases, 1);
}

// Only an explicit Yes spares each drive its own question; a box that could not be shown is no
// consent.
TEST_F(MainSequence, AllDrivesQuestionDecidesWhetherEachDriveIsAsked) {
    struct Case {
        int answer;
        std::int32_t updateAllDrives;
    };
    for (const Case& c : {Case{platform::IDYES, 1}, Case{platform::IDNO, 0}, Case{0, 0}, Case{platform::IDOK, 0}}) {
        SCOPED_TRACE(c.answer);
        rflash_test::resetEverything();
        script = {};
        EXPECT_EQ(run(3, {1, 7, 1}, {c.answer}), 0);
        EXPECT_EQ(visitedTargets(), (std::vector<std::int32_t>{0, 1, 2}));
        for (const auto& visit : script.visits) EXPECT_EQ(visit.updateAllDrives, c.updateAllDrives);
        // No drive updated: no summary at all.
        EXPECT_EQ(emu::consoleOutput(), kBanner + startLine(1) + startLine(2) + startLine(3));
        EXPECT_EQ(boxes(), (std::vector<Box>{{allDrivesQuestion(3), kYesNoBox}}));
        EXPECT_EQ(script.releases, 1);
    }
}

TEST_F(MainSequence, SummaryCountsTheDrivesUpdated) {
    struct Case {
        std::vector<std::int32_t> results;
        std::string summary;  // empty: none shown
    };
    const std::vector<Case> cases{
        {{0, 0, 0}, kCompleted},
        {{0, 1, 0}, "\r\n2drive(s) have been updated successfully."},
        {{7, 0, 1}, "\r\n1drive(s) have been updated successfully."},
        {{1, 7, 1}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        rflash_test::resetEverything();
        script = {};
        EXPECT_EQ(run(3, c.results, {platform::IDYES, platform::IDOK}), 0);
        EXPECT_EQ(emu::consoleOutput(), kBanner + startLine(1) + startLine(2) + startLine(3) + c.summary);
        std::vector<Box> expected{{allDrivesQuestion(3), kYesNoBox}};
        if (!c.summary.empty()) expected.push_back({c.summary, kInfoBox});
        EXPECT_EQ(boxes(), expected);
        EXPECT_EQ(script.releases, 1);
    }
}

TEST_F(MainSequence, FatalResultEndsTheRunWithoutVisitingTheRest) {
    EXPECT_EQ(run(3, {0, -1, 0}, {platform::IDYES, platform::IDOK}), 1);
    EXPECT_EQ(visitedTargets(), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(emu::consoleOutput(), kBanner + startLine(1) + startLine(2) + kTerminated);
    EXPECT_EQ(boxes(), (std::vector<Box>{{allDrivesQuestion(3), kYesNoBox}, {kTerminated, kWarningBox}}));
    EXPECT_EQ(script.releases, 1);
    EXPECT_EQ(rflash::program.currentTarget, 1);
}

TEST_F(MainSequence, EverySuccessIsFollowedByTwoSecondsTheLastBeforeTheSummary) {
    std::vector<std::uint64_t> boxTimes;
    emu::answerBoxesWith([&](const emu::MessageBoxShown& box) {
        boxTimes.push_back(emu::elapsedMs());
        return box.type == kYesNoBox ? platform::IDYES : platform::IDOK;
    });
    EXPECT_EQ(run(3, {0, 1, 0}), 0);
    ASSERT_EQ(script.visits.size(), 3u);
    ASSERT_EQ(boxTimes.size(), 2u);  // the question and the summary

    const auto& v = script.visits;
    EXPECT_GE(v[1].startedAtMs - v[0].startedAtMs, 2000u);
    EXPECT_LT(v[1].startedAtMs - v[0].startedAtMs, 2010u);
    EXPECT_LT(v[2].startedAtMs - v[1].startedAtMs, 10u);  // no pause after a drive left as it was
    EXPECT_GE(boxTimes[1] - v[2].startedAtMs, 2000u);
    EXPECT_LT(boxTimes[1] - v[2].startedAtMs, 2010u);
    EXPECT_EQ(script.releasedAtMs, boxTimes[1]);
    EXPECT_EQ(emu::timerPeriodsBegun(), (std::vector<platform::UINT>{1, 1}));
    EXPECT_EQ(emu::timerPeriodsEnded(), (std::vector<platform::UINT>{1, 1}));
}

TEST_F(MainSequence, NegativeTargetCountIsNoTarget) {
    EXPECT_EQ(run(-1, {}), 1);
    EXPECT_EQ(emu::consoleOutput(), kBanner + kNoTarget);
    EXPECT_TRUE(script.visits.empty());
    EXPECT_EQ(script.releases, 1);
}

}  // namespace
