// The emulated millisecond clock and timer periods.
//
// Virtual mode (the default): time moves only when the program looks at it or waits. Every
// timeGetTime call moves the clock on by one millisecond, so a busy-wait of N ms costs N calls
// and no real time; Sleep and waits move it by what they wait. Real mode follows the real
// monotonic clock and really sleeps, for the demo.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/platform.h"

namespace emu {

// The visible 32-bit clock value (what timeGetTime returns), without moving the clock.
platform::DWORD clockNow();
// Sets the visible value, for example just before the 2^32 wrap.
void setClock(platform::DWORD value);
// Virtual milliseconds that passed since the last reset or setClock, without wrapping.
std::uint64_t elapsedMs();

// Moves the clock forward (really sleeping in real mode), running scheduled work as its time
// comes, in time order.
void advanceClock(platform::DWORD milliseconds);

// Runs `work` once the clock has passed `delayMs` from now (at the latest when the clock is
// next moved past that point). Returns an id for cancelScheduled.
std::uint64_t schedule(std::uint64_t delayMs, std::function<void()> work);
void cancelScheduled(std::uint64_t id);
// Milliseconds until the earliest scheduled work, or -1 when nothing is scheduled.
std::int64_t nextScheduledInMs();
// Runs the work whose time has come.
void runDueWork();

void useRealTime(bool enabled);
bool realTime();

// timeBeginPeriod refuses every period below `period` (0: every period is granted).
void refuseTimerPeriodsBelow(platform::UINT period);
// Every period asked for (granted or not), every period granted, every period ended.
const std::vector<platform::UINT>& timerPeriodsRequested();
const std::vector<platform::UINT>& timerPeriodsBegun();
const std::vector<platform::UINT>& timerPeriodsEnded();

}  // namespace emu
