#include "TempDir.h"
#include "ToneFile.h"
#include "decode/TrackDecoder.h"
#include "engine/GaplessSource.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace zalvo {

// What one pull of the output costs: the decoder alone beside the same decoder behind the gapless
// source, whose last step is the limiter every output's samples pass.
namespace {

constexpr std::size_t blockFrames = 4096;

const std::filesystem::path& stereoTrack() {
    static const TempDir dir;
    static const std::filesystem::path file = [] {
        const std::filesystem::path path = dir.file("three-minutes.wav");
        writeToneFile(path, AudioFormat::WavFloat, ToneShape{{ToneSegment{440.0, 180.0}}, 44100, 2, 0.5});
        return path;
    }();
    return file;
}

void decodeOnly(benchmark::State& state) {
    std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(stereoTrack().string());
    std::vector<float> block(blockFrames * 2);
    for (auto _ : state) {
        if (decoder->read(block) < blockFrames) {
            decoder->seek(0);
        }
        benchmark::DoNotOptimize(block.data());
    }
}

void throughTheSource(benchmark::State& state) {
    GaplessSource source(TrackDecoder::open(stereoTrack().string()), GaplessSource::Track{1, stereoTrack().string()}, 0,
                         TrackLoudness{});
    std::vector<float> block(blockFrames * 2);
    for (auto _ : state) {
        if (source.read(block) < blockFrames) {
            state.SkipWithError("the track ended before the run did");
            return;
        }
        benchmark::DoNotOptimize(block.data());
    }
}

} // namespace

BENCHMARK(decodeOnly)->Iterations(1500);
BENCHMARK(throughTheSource)->Iterations(1500);

} // namespace zalvo

BENCHMARK_MAIN();
