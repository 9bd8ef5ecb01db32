#include "platform/emulated/clock.h"

#include <chrono>
#include <map>
#include <thread>
#include <utility>

#include "platform/emulated/host.h"

namespace emu {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct ClockState {
    platform::DWORD base = 0;    // visible value when elapsed was 0
    std::uint64_t elapsed = 0;   // virtual milliseconds since base
    bool realTime = false;
    SteadyClock::time_point realStart = SteadyClock::now();

    // Scheduled work, ordered by due time and then by the order it was scheduled in.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> scheduled;
    std::uint64_t nextId = 1;

    platform::UINT refuseBelow = 0;
    std::vector<platform::UINT> requested;
    std::vector<platform::UINT> begun;
    std::vector<platform::UINT> ended;
};

ClockState& state() {
    static ClockState clock;
    return clock;
}

std::uint64_t currentElapsed() {
    ClockState& clock = state();
    if (clock.realTime) {
        auto real = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - clock.realStart);
        clock.elapsed = static_cast<std::uint64_t>(real.count());
    }
    return clock.elapsed;
}

}  // namespace

void resetClock() {
    state() = ClockState{};
}

platform::DWORD clockNow() {
    return static_cast<platform::DWORD>(state().base + currentElapsed());
}

void setClock(platform::DWORD value) {
    ClockState& clock = state();
    clock.base = value;
    clock.elapsed = 0;
    clock.realStart = SteadyClock::now();
    // Work already scheduled keeps its delay from now.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> rebased;
    for (auto& [key, work] : clock.scheduled) rebased.emplace(std::make_pair(0, key.second), std::move(work));
    clock.scheduled = std::move(rebased);
}

std::uint64_t elapsedMs() {
    return currentElapsed();
}

void runDueWork() {
    ClockState& clock = state();
    for (;;) {
        auto first = clock.scheduled.begin();
        if (first == clock.scheduled.end() || first->first.first > currentElapsed()) return;
        auto work = std::move(first->second);
        clock.scheduled.erase(first);
        work();  // may schedule more work
    }
}

void advanceClock(platform::DWORD milliseconds) {
    ClockState& clock = state();
    if (clock.realTime) {
        std::uint64_t until = currentElapsed() + milliseconds;
        while (currentElapsed() < until) {
            std::int64_t next = nextScheduledInMs();
            std::uint64_t step = until - currentElapsed();
            if (next >= 0 && static_cast<std::uint64_t>(next) < step) step = static_cast<std::uint64_t>(next);
            std::this_thread::sleep_for(std::chrono::milliseconds(step));
            runDueWork();
        }
        runDueWork();
        return;
    }
    // Step from one piece of scheduled work to the next so that each runs at its own time.
    std::uint64_t until = clock.elapsed + milliseconds;
    for (;;) {
        auto first = clock.scheduled.begin();
        if (first == clock.scheduled.end() || first->first.first > until) break;
        if (first->first.first > clock.elapsed) clock.elapsed = first->first.first;
        runDueWork();
    }
    clock.elapsed = until;
}

std::uint64_t schedule(std::uint64_t delayMs, std::function<void()> work) {
    ClockState& clock = state();
    std::uint64_t id = clock.nextId++;
    clock.scheduled.emplace(std::make_pair(currentElapsed() + delayMs, id), std::move(work));
    return id;
}

void cancelScheduled(std::uint64_t id) {
    auto& scheduled = state().scheduled;
    for (auto it = scheduled.begin(); it != scheduled.end(); ++it) {
        if (it->first.second == id) {
            scheduled.erase(it);
            return;
        }
    }
}

std::int64_t nextScheduledInMs() {
    auto& scheduled = state().scheduled;
    if (scheduled.empty()) return -1;
    std::uint64_t due = scheduled.begin()->first.first;
    std::uint64_t now = currentElapsed();
    return due > now ? static_cast<std::int64_t>(due - now) : 0;
}

void useRealTime(bool enabled) {
    ClockState& clock = state();
    std::uint64_t now = currentElapsed();
    clock.realTime = enabled;
    // Keep the visible value continuous across the switch.
    clock.base = static_cast<platform::DWORD>(clock.base + now);
    clock.elapsed = 0;
    clock.realStart = SteadyClock::now();
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> rebased;
    for (auto& [key, work] : clock.scheduled) {
        std::uint64_t due = key.first > now ? key.first - now : 0;
        rebased.emplace(std::make_pair(due, key.second), std::move(work));
    }
    clock.scheduled = std::move(rebased);
}

bool realTime() {
    return state().realTime;
}

void refuseTimerPeriodsBelow(platform::UINT period) {
    state().refuseBelow = period;
}

const std::vector<platform::UINT>& timerPeriodsRequested() {
    return state().requested;
}

const std::vector<platform::UINT>& timerPeriodsBegun() {
    return state().begun;
}

const std::vector<platform::UINT>& timerPeriodsEnded() {
    return state().ended;
}

}  // namespace emu

namespace platform {

DWORD timeGetTime() {
    emu::runDueWork();
    DWORD now = emu::clockNow();
    // A reading costs one virtual millisecond, so that polling the clock moves it.
    if (!emu::realTime()) emu::advanceClock(1);
    return now;
}

MMRESULT timeBeginPeriod(UINT uPeriod) {
    auto& clock = emu::state();
    clock.requested.push_back(uPeriod);
    if (uPeriod == 0 || uPeriod < clock.refuseBelow) return TIMERR_NOCANDO;
    clock.begun.push_back(uPeriod);
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT uPeriod) {
    auto& clock = emu::state();
    clock.ended.push_back(uPeriod);
    return TIMERR_NOERROR;
}

}  // namespace platform
