#include "FfmpegEncode.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "playlist/Music.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

namespace zalvo {

// Adding a track opens its file to learn the duration: a playlist of long files must still load fast.
namespace {

void openTrack(benchmark::State& state, const std::filesystem::path& file) {
    const std::u16string path = file.u16string();
    Music music;
    for (auto _ : state) {
        benchmark::DoNotOptimize(music.open(path));
    }
    if (!music.open(path)) {
        state.SkipWithError("the file did not open");
    }
}

// Building a track and refusing its file, with no other track alive, as adding a file that is not
// audio does: the audio output is not touched.
void refuseTrack(benchmark::State& state, const std::filesystem::path& file) {
    const std::u16string path = file.u16string();
    for (auto _ : state) {
        Music music;
        benchmark::DoNotOptimize(music.open(path));
    }
}

// The first file only FFmpeg reads loads the decoder module and FFmpeg's libraries; the second does not.
void reportModuleLoad(const std::filesystem::path& file) {
    const std::u16string path = file.u16string();
    Music music;
    for (const char* which : {"first", "second"}) {
        const auto start = std::chrono::steady_clock::now();
        const bool opened = music.open(path);
        const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
        std::printf("%s open of %s (%s): %.2f ms\n", which, file.filename().c_str(), opened ? "opened" : "FAILED",
                    spent.count());
    }
}

} // namespace

} // namespace zalvo

int main(int argc, char** argv) {
    using namespace zalvo;
    benchmark::Initialize(&argc, argv);
    const TempDir dir;
    std::printf("Writing a 3-minute stereo file in each format...\n");
    for (const AudioFormat format : allAudioFormats()) {
        const std::filesystem::path file = dir.file("three-minutes" + extensionOf(format));
        writeToneFile(file, format, ToneShape{{ToneSegment{440.0, 180.0}}, 44100, 2, 0.5});
        benchmark::RegisterBenchmark(("MusicOpen/3min" + extensionOf(format)).c_str(), openTrack, file)
            ->Unit(benchmark::kMicrosecond);
    }
    const std::filesystem::path wav = dir.file("three-minutes.wav");
    for (const auto& [name, options] : {std::pair{"aac.m4a", "-c:a aac"}, std::pair{"wma2.wma", "-c:a wmav2"},
                                        std::pair{"wavpack.wv", "-c:a wavpack"}}) {
        const std::filesystem::path file = dir.file(std::string("three-minutes-") + name);
        encodeWithFfmpeg(wav, file, options);
        if (file.extension() == ".m4a") {
            reportModuleLoad(file);
        }
        benchmark::RegisterBenchmark((std::string("MusicOpen/3min-") + name).c_str(), openTrack, file)
            ->Unit(benchmark::kMicrosecond);
    }
    const std::filesystem::path notAudio = dir.file("notes.wav");
    std::FILE* notes = std::fopen(notAudio.c_str(), "w");
    std::fputs("not audio", notes);
    std::fclose(notes);
    benchmark::RegisterBenchmark("MusicOpen/refused", refuseTrack, notAudio)->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
