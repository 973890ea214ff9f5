#pragma once

#include <chrono>

// The device link's sense of time: the monotonic clock that limits a reply's wait and the pause
// between written rows. Tests put in a clock of their own to run through time-outs and pauses
// without waiting for them.
class DeviceClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~DeviceClock() = default;
    virtual TimePoint now() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

DeviceClock &deviceClock();

// Replaces the clock; nullptr restores the steady clock. The caller keeps ownership.
void setDeviceClock(DeviceClock *clock);
