#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/PlayList.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace zalvo {

// What playing costs: the process's CPU while a track plays with the window idle (the tick only), and
// whether memory stays flat as the playlist runs through track after track.
namespace {

using namespace std::chrono_literals;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

// Plays for `seconds`, ticking every 100 ms as the window's timer does.
void tickFor(PlayList& playList, std::chrono::seconds seconds) {
    const auto until = std::chrono::steady_clock::now() + seconds;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(100ms);
        playList.advanceIfFinished();
    }
}

void playingCpu(benchmark::State& state, const std::filesystem::path& file) {
    for (auto _ : state) {
        PlayList playList;
        if (!playList.addMusic(file.u16string())) {
            state.SkipWithError("the file did not open");
            return;
        }
        playList.playPause();
        std::this_thread::sleep_for(1s);
        const double cpuBefore = cpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        tickFor(playList, 10s);
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
        state.counters["cpu_percent"] = 100.0 * (cpuSeconds() - cpuBefore) / wall.count();
    }
}

void twentyTrackRun(benchmark::State& state, const TempDir* dir) {
    for (auto _ : state) {
        PlayList playList;
        for (int i = 0; i < 20; ++i) {
            const std::filesystem::path file = dir->file("track" + std::to_string(i) + ".flac");
            writeToneFile(file, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, 1.0}}, 44100, 2, 0.5});
            playList.addMusic(file.u16string());
        }
        playList.playPause();
        tickFor(playList, 3s);
        const long afterTwo = residentKilobytes();
        tickFor(playList, 18s);
        state.counters["rss_growth_kb"] = static_cast<double>(residentKilobytes() - afterTwo);
    }
}

} // namespace

} // namespace zalvo

int main(int argc, char** argv) {
    using namespace zalvo;
    benchmark::Initialize(&argc, argv);
    const TempDir dir;
    std::printf("Writing a 3-minute stereo file in FLAC, Ogg Vorbis and MP3...\n");
    for (const AudioFormat format : {AudioFormat::Flac, AudioFormat::Ogg, AudioFormat::Mp3}) {
        const std::filesystem::path file = dir.file("three-minutes" + extensionOf(format));
        writeToneFile(file, format, ToneShape{{ToneSegment{440.0, 180.0}}, 44100, 2, 0.5});
        benchmark::RegisterBenchmark(("Playing/cpu" + extensionOf(format)).c_str(), playingCpu, file)
            ->Iterations(1)
            ->Unit(benchmark::kSecond);
    }
    benchmark::RegisterBenchmark("Playing/twentyTrackRun", twentyTrackRun, &dir)
        ->Iterations(1)
        ->Unit(benchmark::kSecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
