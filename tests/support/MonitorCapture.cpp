#include "MonitorCapture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zalvo {

namespace {

constexpr std::size_t window = MonitorCapture::rate / 100;

} // namespace

MonitorCapture::MonitorCapture(const std::string& sink) {
    std::array<int, 2> ends{};
    if (pipe(ends.data()) != 0) {
        return;
    }
    std::string device = sink + ".monitor";
    std::vector<std::string> arguments{"parec",        "-d",
                                       device,         "--format=s16le",
                                       "--channels=1", "--rate=" + std::to_string(rate),
                                       "--raw",        "--latency-msec=10"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions{};
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, "parec", &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    reader = std::thread([this, in = ends[0]] { readAll(in); });

    // An idle null sink may sleep for seconds before it renders again; until it does, the monitor is
    // silent in time as well as in level, and nothing heard could be timed.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        {
            const std::lock_guard lock(mutex);
            if (samples.size() >= rate / 10) {
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

MonitorCapture::~MonitorCapture() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    if (reader.joinable()) {
        reader.join();
    }
}

void MonitorCapture::readAll(int in) {
    std::array<char, 8192> buffer{};
    std::string pending;
    ssize_t got = 0;
    while ((got = read(in, buffer.data(), buffer.size())) > 0) {
        const Clock::time_point now = Clock::now();
        pending.append(buffer.data(), static_cast<std::size_t>(got));
        const std::size_t whole = pending.size() / 2;
        const std::lock_guard lock(mutex);
        samples.reserve(samples.size() + whole);
        for (std::size_t i = 0; i < whole; ++i) {
            const auto low = static_cast<unsigned char>(pending[2 * i]);
            const auto high = static_cast<unsigned char>(pending[2 * i + 1]);
            samples.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8))));
        }
        pending.erase(0, whole * 2);
        arrivals.emplace_back(samples.size(), now);
    }
    close(in);
}

MonitorCapture::Clock::time_point MonitorCapture::timeOf(std::size_t index) {
    const auto chunk = std::upper_bound(arrivals.begin(), arrivals.end(), index,
                                        [](std::size_t at, const auto& arrival) { return at < arrival.first; });
    if (chunk == arrivals.end()) {
        return Clock::time_point::max();
    }
    const auto ahead = static_cast<double>(chunk->first - index) / rate;
    return chunk->second - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(ahead));
}

std::size_t MonitorCapture::indexAt(Clock::time_point time) {
    std::size_t low = 0;
    std::size_t high = samples.size();
    while (low < high) {
        const std::size_t middle = (low + high) / 2;
        if (timeOf(middle) < time) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

std::optional<std::size_t> MonitorCapture::firstWindowAfter(Clock::time_point from, bool loud, float level,
                                                            std::chrono::milliseconds patience) {
    const Clock::time_point deadline = std::max(Clock::now(), from) + patience;
    const auto threshold = static_cast<int>(level * 32767.0F);
    for (;;) {
        {
            const std::lock_guard lock(mutex);
            for (std::size_t start = indexAt(from); start + window <= samples.size(); start += window) {
                const auto [lowest, highest] =
                    std::minmax_element(samples.begin() + static_cast<std::ptrdiff_t>(start),
                                        samples.begin() + static_cast<std::ptrdiff_t>(start + window));
                const int peak = std::max(-static_cast<int>(*lowest), static_cast<int>(*highest));
                if ((peak > threshold) == loud) {
                    return start;
                }
            }
        }
        if (Clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<MonitorCapture::Clock::time_point> MonitorCapture::louderAfter(Clock::time_point from, float level,
                                                                             std::chrono::milliseconds patience) {
    const auto index = firstWindowAfter(from, true, level, patience);
    const std::lock_guard lock(mutex);
    return index ? std::optional(timeOf(*index)) : std::nullopt;
}

std::optional<MonitorCapture::Clock::time_point> MonitorCapture::quieterAfter(Clock::time_point from, float level,
                                                                              std::chrono::milliseconds patience) {
    const auto index = firstWindowAfter(from, false, level, patience);
    const std::lock_guard lock(mutex);
    return index ? std::optional(timeOf(*index)) : std::nullopt;
}

std::vector<float> MonitorCapture::samplesFrom(Clock::time_point from, double seconds) {
    const auto count = static_cast<std::size_t>(seconds * rate);
    const Clock::time_point deadline = std::max(Clock::now(), from) + std::chrono::seconds(5);
    for (;;) {
        {
            const std::lock_guard lock(mutex);
            const std::size_t start = indexAt(from);
            if (start + count <= samples.size()) {
                std::vector<float> heard;
                for (std::size_t i = start; i < start + count; ++i) {
                    heard.push_back(static_cast<float>(samples[i]) / 32768.0F);
                }
                return heard;
            }
        }
        if (Clock::now() > deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace zalvo
