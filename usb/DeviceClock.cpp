#include "DeviceClock.h"

#include <thread>

namespace {

class SteadyClock final : public DeviceClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds duration) override
    {
        std::this_thread::sleep_for(duration);
    }
};

SteadyClock steadyClock;
DeviceClock *installedClock = &steadyClock;

} // namespace

DeviceClock &deviceClock()
{
    return *installedClock;
}

void setDeviceClock(DeviceClock *clock)
{
    installedClock = clock ? clock : &steadyClock;
}
