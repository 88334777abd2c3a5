#include "FfmpegEncode.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "formats/Archive.h"
#include "playlist/PlayList.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

constexpr std::size_t entries = 10000;
constexpr double trackSeconds = 180.0;

void writePlayList(const std::filesystem::path& file, const std::vector<std::u16string>& tracks) {
    std::ofstream out(file, std::ios::binary);
    Archive archive(out);
    archive.writeUInt32(static_cast<std::uint32_t>(entries));
    for (std::size_t i = 0; i < entries; ++i) {
        archive.writeString(tracks[i % tracks.size()]);
    }
    archive.flush();
}

// Three-minute stereo files, two of each format, and a playlist file naming them 10,000 times over;
// and one naming two AAC files (M4A), which only the FFmpeg module reads, as many times.
class Fixtures final {
public:
    Fixtures() {
        std::vector<std::u16string> tracks;
        std::vector<std::u16string> m4aTracks;
        for (const AudioFormat format : {AudioFormat::Wav, AudioFormat::Flac, AudioFormat::Ogg, AudioFormat::Mp3}) {
            for (int copy = 0; copy < 2; ++copy) {
                const std::filesystem::path file = dir.file("track" + std::to_string(copy) + extensionOf(format));
                ToneShape shape;
                shape.segments = {ToneSegment{220.0 * (copy + 1), trackSeconds}};
                shape.channels = 2;
                shape.amplitude = 0.5;
                writeToneFile(file, format, shape);
                tracks.push_back(file.u16string());
                if (format == AudioFormat::Wav) {
                    const std::filesystem::path m4a = dir.file("track" + std::to_string(copy) + ".m4a");
                    encodeWithFfmpeg(file, m4a, "-c:a aac");
                    m4aTracks.push_back(m4a.u16string());
                }
            }
        }
        writePlayList(playListFile, tracks);
        writePlayList(m4aPlayListFile, m4aTracks);
    }

    TempDir dir;
    std::filesystem::path playListFile = dir.file("ten-thousand.zpl");
    std::filesystem::path m4aPlayListFile = dir.file("ten-thousand-m4a.zpl");
};

Fixtures& fixtures() {
    static Fixtures instance;
    return instance;
}

void load(PlayList& playList, const std::filesystem::path& file = fixtures().playListFile) {
    std::ifstream in(file, std::ios::binary);
    Archive archive(in);
    playList.Serialize(archive);
}

std::string contentsOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Heap in use, mapped blocks included; resident memory hides it when the allocator reuses pages freed
// earlier. It counts the audio device too, which the first track opens.
double heapMegabytes() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
}

std::size_t openFiles() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(std::filesystem::begin(fds), std::filesystem::end(fds)));
}

// Starts the track, lets it play a moment and checks that its play time moved on.
bool plays(Music& track) {
    track.playPause();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bool playing = track.isPlaying() && track.getElapsedTime() > 0.0F;
    track.stop();
    return playing;
}

void BM_LoadTenThousandEntries(benchmark::State& state) {
    fixtures();
    PlayList playList;
    const double emptyResident = residentMegabytes();
    const double emptyHeap = heapMegabytes();
    const std::size_t emptyOpenFiles = openFiles();
    load(playList);
    state.counters["resident_MB_above_empty"] = residentMegabytes() - emptyResident;
    state.counters["heap_MB_above_empty"] = heapMegabytes() - emptyHeap;
    for (auto _ : state) {
        load(playList);
    }
    PlayList::TrackList& list = *playList.getList();
    state.counters["tracks"] = static_cast<double>(list.size());
    state.counters["open_files_held"] = static_cast<double>(openFiles()) - static_cast<double>(emptyOpenFiles);

    // The first eight entries name each file once; then the middle and the last entries.
    const std::vector<std::size_t> samples = {0, 1, 2, 3, 4, 5, 6, 7, list.size() / 2, list.size() - 1};
    double playable = 0;
    for (const std::size_t index : samples) {
        playable += plays(**std::next(list.begin(), static_cast<std::ptrdiff_t>(index))) ? 1 : 0;
    }
    state.counters["sampled_playable"] = playable;
    state.counters["sampled"] = static_cast<double>(samples.size());
    if (list.size() != entries || playable != static_cast<double>(samples.size())) {
        state.SkipWithError("not every track loaded and played");
    }
}
BENCHMARK(BM_LoadTenThousandEntries)->Unit(benchmark::kMillisecond)->Iterations(5);

// The module loads on the first M4A, before the timed loads.
void BM_LoadTenThousandM4aEntries(benchmark::State& state) {
    PlayList playList;
    load(playList, fixtures().m4aPlayListFile);
    for (auto _ : state) {
        load(playList, fixtures().m4aPlayListFile);
    }
    PlayList::TrackList& list = *playList.getList();
    state.counters["tracks"] = static_cast<double>(list.size());
    if (list.size() != entries || !plays(*list.front()) || !plays(*list.back())) {
        state.SkipWithError("not every M4A track loaded and played");
    }
}
BENCHMARK(BM_LoadTenThousandM4aEntries)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveTenThousandEntries(benchmark::State& state) {
    PlayList playList;
    load(playList);
    const std::filesystem::path file = fixtures().dir.file("saved.zpl");
    for (auto _ : state) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        Archive archive(out);
        playList.Serialize(archive);
        archive.flush();
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
    if (contentsOf(file) != contentsOf(fixtures().playListFile)) {
        state.SkipWithError("the saved file differs from the loaded one");
    }
}
BENCHMARK(BM_SaveTenThousandEntries)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

} // namespace zalvo

// Plays through OpenAL Soft's silent device unless told otherwise: the tones need no listener.
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
