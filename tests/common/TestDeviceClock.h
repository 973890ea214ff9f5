#pragma once

#include "DeviceClock.h"

#include <chrono>
#include <vector>

// Device time that passes only when asked: each reading moves it on by a millisecond, a pause at
// once by its length. Installed for as long as it lives, so time-outs, late replies and the write
// pacing cost no waiting. Pauses are recorded in their order.
class TestDeviceClock final : public DeviceClock {
public:
    TestDeviceClock() { setDeviceClock(this); }
    ~TestDeviceClock() override { setDeviceClock(nullptr); }
    TestDeviceClock(const TestDeviceClock &) = delete;
    TestDeviceClock &operator=(const TestDeviceClock &) = delete;

    TimePoint now() override { return current += std::chrono::milliseconds(1); }
    void sleepFor(std::chrono::milliseconds duration) override
    {
        pauses.push_back(duration);
        current += duration;
    }
    // Device time since the clock was installed.
    std::chrono::milliseconds elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(current - TimePoint{});
    }

    std::vector<std::chrono::milliseconds> pauses;

private:
    TimePoint current{};
};
