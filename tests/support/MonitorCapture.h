#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace zalvo {

// Hears a sink of the server PULSE_SERVER names through its monitor (parec, mono, 44.1 kHz, low
// latency) and remembers when each sample arrived, so a test can tell when sound started or stopped.
class MonitorCapture final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr unsigned rate = 44100;

    // Returns once the monitor is delivering.
    explicit MonitorCapture(const std::string& sink);
    ~MonitorCapture();
    MonitorCapture(const MonitorCapture&) = delete;
    MonitorCapture& operator=(const MonitorCapture&) = delete;

    // When the first 10 ms window at or after `from` peaked above (or below) a level (0..1), waiting up
    // to `patience` for it to be heard.
    std::optional<Clock::time_point> louderAfter(Clock::time_point from, float level,
                                                 std::chrono::milliseconds patience = std::chrono::seconds(3));
    std::optional<Clock::time_point> quieterAfter(Clock::time_point from, float level,
                                                  std::chrono::milliseconds patience = std::chrono::seconds(3));
    // Samples (-1..1) heard from `from` on, for `seconds`, waiting for them to arrive.
    std::vector<float> samplesFrom(Clock::time_point from, double seconds);

private:
    std::optional<std::size_t> firstWindowAfter(Clock::time_point from, bool loud, float level,
                                                std::chrono::milliseconds patience);
    std::size_t indexAt(Clock::time_point time);
    Clock::time_point timeOf(std::size_t index);
    void readAll(int in);

    pid_t pid = -1;
    std::thread reader;
    std::mutex mutex;
    std::vector<std::int16_t> samples;
    // When each sample's chunk arrived, with the index just past it.
    std::vector<std::pair<std::size_t, Clock::time_point>> arrivals;
};

} // namespace zalvo
