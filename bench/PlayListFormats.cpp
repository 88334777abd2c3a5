#include "TempDir.h"
#include "ToneFile.h"
#include "formats/Archive.h"
#include "formats/PlayListFile.h"
#include "playlist/PlayList.h"
#include "playlist/TrackCollector.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

constexpr double trackSeconds = 180.0;
const std::vector<std::pair<PlayListFile::Format, const char*>> formats{{PlayListFile::Format::Archive, ".zpl"},
                                                                        {PlayListFile::Format::M3u, ".m3u8"},
                                                                        {PlayListFile::Format::Pls, ".pls"},
                                                                        {PlayListFile::Format::Xspf, ".xspf"}};

// Three-minute stereo files, two of each audio format, and playlist files naming them over and over.
class Fixtures final {
public:
    Fixtures() {
        for (const fs::path& file : writeTrackPairs(
                 dir.path(), {AudioFormat::Wav, AudioFormat::Flac, AudioFormat::Ogg, AudioFormat::Mp3}, trackSeconds)) {
            tracks.push_back(file.u16string());
        }
    }

    fs::path playList(std::size_t format, std::size_t entries) {
        const auto key = std::pair{format, entries};
        if (const auto found = files.find(key); found != files.end()) {
            return found->second;
        }
        const fs::path file = dir.file("list" + std::to_string(entries) + formats[format].second);
        std::ofstream out(file, std::ios::binary);
        if (formats[format].first == PlayListFile::Format::Archive) {
            Archive archive(out);
            archive.writeUInt32(static_cast<std::uint32_t>(entries));
            for (std::size_t i = 0; i < entries; ++i) {
                archive.writeString(tracks[i % tracks.size()]);
            }
            archive.flush();
        } else {
            std::vector<SavedTrack> saved;
            for (std::size_t i = 0; i < entries; ++i) {
                saved.push_back({tracks[i % tracks.size()], static_cast<float>(trackSeconds), "A title"});
            }
            PlayListFile::write(out, formats[format].first, saved, dir.path().u16string());
        }
        files.emplace(key, file);
        return file;
    }

    TempDir dir;
    std::vector<std::u16string> tracks;
    std::map<std::pair<std::size_t, std::size_t>, fs::path> files;
};

Fixtures& fixtures() {
    static Fixtures instance;
    return instance;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The highest resident memory seen while it lives, sampled every few milliseconds.
class PeakSampler final {
public:
    PeakSampler()
        : sampler([this] {
              while (!done) {
                  peak = std::max(peak.load(), residentBytes());
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~PeakSampler() { stop(); }
    PeakSampler(const PeakSampler&) = delete;
    PeakSampler& operator=(const PeakSampler&) = delete;

    long stop() {
        done = true;
        if (sampler.joinable()) {
            sampler.join();
        }
        return std::max(peak.load(), residentBytes());
    }

private:
    std::atomic<bool> done = false;
    std::atomic<long> peak = residentBytes();
    std::thread sampler;
};

// The player's loading path, without the window: the file read, the tracks opened, then swapped in.
void BM_Load(benchmark::State& state) {
    const auto format = static_cast<std::size_t>(state.range(0));
    const auto entries = static_cast<std::size_t>(state.range(1));
    const fs::path file = fixtures().playList(format, entries);
    PlayList playList;
    for (auto _ : state) {
        const std::atomic<bool> cancelled = false;
        TrackCollector collector(cancelled);
        collector.addPlayListFile(file.u16string());
        playList.replaceTracks(collector.takeTracks());
    }
    state.SetLabel(formats[format].second);
    if (playList.getList()->size() != entries) {
        state.SkipWithError("not every entry loaded");
    }
}
BENCHMARK(BM_Load)->ArgsProduct({{0, 1, 2, 3}, {10'000}})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Load)->ArgsProduct({{0, 1, 2, 3}, {100'000}})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 100 MB of empty entries, the first one naming a file that is not there: nothing is kept, so the
// reading costs a buffer, whatever the file's size.
void BM_HundredMegabytesOfEmptyEntries(benchmark::State& state) {
    constexpr std::uint32_t entries = 100'000'000;
    const fs::path file = fixtures().dir.file("empty.zpl");
    {
        std::ofstream out(file, std::ios::binary);
        Archive archive(out);
        archive.writeUInt32(entries);
        archive.writeString(u"/no/such/track.wav");
        const std::string zeros(1 << 20, '\0');
        for (std::uint32_t written = 1; written < entries; written += static_cast<std::uint32_t>(zeros.size())) {
            out.write(zeros.data(), std::min<std::streamsize>(static_cast<std::streamsize>(zeros.size()),
                                                              static_cast<std::streamsize>(entries - written)));
        }
    }
    const Music deviceHold;
    const long idle = residentBytes();
    PeakSampler sampler;
    std::size_t read = 0;
    for (auto _ : state) {
        const std::atomic<bool> cancelled = false;
        TrackCollector collector(cancelled);
        read = collector.addPlayListFile(file.u16string()).entries;
    }
    state.counters["entries"] = static_cast<double>(read);
    state.counters["peak_MB_above_idle"] = static_cast<double>(sampler.stop() - idle) / (1024.0 * 1024.0);
    fs::remove(file);
}
BENCHMARK(BM_HundredMegabytesOfEmptyEntries)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Files made to hurt the readers: each is refused or read within a few chunks of memory, and quickly.
void writeRepeated(const fs::path& file, const std::string& opening, const std::string& body, std::size_t repeats,
                   const std::string& closing) {
    std::ofstream out(file, std::ios::binary);
    out << opening;
    for (std::size_t i = 0; i < repeats; ++i) {
        out << body;
    }
    out << closing;
}

void BM_HostilePlayList(benchmark::State& state) {
    const fs::path file = fixtures().dir.file("hostile");
    switch (state.range(0)) {
    case 0:
        state.SetLabel("xspf, xml:base nested 30,000 deep");
        writeRepeated(file, "<playlist><trackList><track>", "<extension xml:base=\"folder/\">", 30'000, "");
        break;
    case 1:
        state.SetLabel("xspf, one 200 MB attribute");
        writeRepeated(file, "<playlist title=\"", std::string(1 << 20, 'a'), 200, "\"/>");
        break;
    case 2:
        state.SetLabel("xspf, one 200 MB comment");
        writeRepeated(file, "<playlist><!--", std::string(1 << 20, 'a'), 200, "--></playlist>");
        break;
    default: {
        state.SetLabel("archive naming one 400 MB path");
        writeRepeated(file, std::string("\x01\0\0\0\xFF\xFE\xFF\xFF\xFF\xFF\0\0\0\x0C", 14), "", 0, "");
        fs::resize_file(file, std::uint64_t{420} << 20U);
    }
    }
    const long idle = residentBytes();
    PeakSampler sampler;
    for (auto _ : state) {
        const std::atomic<bool> cancelled = false;
        TrackCollector collector(cancelled);
        benchmark::DoNotOptimize(collector.addPlayListFile(file.u16string()).status);
    }
    state.counters["peak_MB_above_idle"] = static_cast<double>(sampler.stop() - idle) / (1024.0 * 1024.0);
    fs::remove(file);
}
BENCHMARK(BM_HostilePlayList)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// From Cancel to the reader's return, on 200 MB of XSPF that names no track.
void BM_CancelAPlayListRead(benchmark::State& state) {
    const fs::path file = fixtures().dir.file("nothing.xspf");
    writeRepeated(file, "<playlist><trackList>", "<track/>", 25'000'000, "</trackList></playlist>");
    for (auto _ : state) {
        std::atomic<bool> cancelled = false;
        std::thread reader([&cancelled, &file] {
            TrackCollector collector(cancelled);
            collector.addPlayListFile(file.u16string());
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = std::chrono::steady_clock::now();
        cancelled = true;
        reader.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    fs::remove(file);
}
BENCHMARK(BM_CancelAPlayListRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

} // namespace zalvo

int main(int argc, char** argv) {
    setenv("ALSOFT_DRIVERS", "null", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
