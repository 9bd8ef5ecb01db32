// Events, waiting and Sleep on the emulated clock.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/emulated/clock.h"
#include "platform/emulated/devices_internal.h"
#include "platform/emulated/handles.h"

namespace emu {
namespace {

struct Event {
    platform::HANDLE handle;
    bool manualReset;
    bool signaled;
    bool open = true;
};

struct EventsState {
    std::vector<Event> events;  // indexed by the handle's object number
    bool reuseClosedHandles = false;
    std::vector<platform::HANDLE> closedHandles;  // most recently closed last
};

EventsState& state() {
    static EventsState events;
    return events;
}

platform::HANDLE newEventHandle(std::uint32_t object) {
    auto& closed = state().closedHandles;
    while (state().reuseClosedHandles && !closed.empty()) {
        platform::HANDLE value = closed.back();
        closed.pop_back();
        if (adoptHandle(value, HandleKind::Event, object)) return value;
    }
    return allocateHandle(HandleKind::Event, object);
}

// Takes the signal if the event has one; an auto-reset event is reset by the taking.
bool takeSignal(std::uint32_t object) {
    Event& event = state().events.at(object);
    if (!event.signaled) return false;
    if (!event.manualReset) event.signaled = false;
    return true;
}

[[noreturn]] void waitForever() {
    std::fprintf(stderr, "emulated host: WaitForSingleObject without limit on an event that nothing will set\n");
    std::abort();
}

}  // namespace

void resetEvents() {
    state() = EventsState{};
}

bool signalEvent(platform::HANDLE event) {
    auto target = findHandle(event);
    if (!target || target->kind != HandleKind::Event) return false;
    state().events.at(target->object).signaled = true;
    return true;
}

void closeEvent(std::uint32_t object) {
    Event& event = state().events.at(object);
    event.open = false;
    state().closedHandles.push_back(event.handle);
}

void reuseClosedEventHandles(bool enabled) {
    state().reuseClosedHandles = enabled;
}

int openEventCount() {
    return openHandleCount(HandleKind::Event);
}

}  // namespace emu

namespace platform {

HANDLE CreateEventA(LPVOID, BOOL bManualReset, BOOL bInitialState, LPCSTR) {
    auto& events = emu::state().events;
    auto object = static_cast<std::uint32_t>(events.size());
    events.push_back({nullptr, bManualReset != FALSE, bInitialState != FALSE});
    events.back().handle = emu::newEventHandle(object);
    return events.back().handle;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto target = emu::findHandle(hHandle);
    if (!target || target->kind != emu::HandleKind::Event) {
        emu::setLastError(platform::ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    bool unlimited = dwMilliseconds == INFINITE;
    std::uint64_t deadline = emu::elapsedMs() + dwMilliseconds;
    for (;;) {
        emu::runDueWork();
        if (emu::takeSignal(target->object)) return WAIT_OBJECT_0;
        std::uint64_t now = emu::elapsedMs();
        if (!unlimited && now >= deadline) return WAIT_TIMEOUT;
        // Move the clock to the next piece of scheduled work (a completion may set the event),
        // or to the deadline when nothing comes before it.
        std::int64_t next = emu::nextScheduledInMs();
        if (next < 0 && unlimited) emu::waitForever();
        std::uint64_t step = next < 0 ? deadline - now : static_cast<std::uint64_t>(next);
        if (!unlimited) step = std::min(step, deadline - now);
        emu::advanceClock(static_cast<DWORD>(step));
    }
}

void Sleep(DWORD dwMilliseconds) {
    emu::advanceClock(dwMilliseconds);
}

}  // namespace platform
