#include "TempDir.h"
#include "ToneFile.h"
#include "decode/TrackDecoder.h"
#include "engine/GaplessSource.h"
#include "playlist/TrackOpener.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zalvo {

// A CD's worth of tracks in one file: reading its sheet and outlining the entries, as a load does, and
// what the joins between them cost the thread that pulls the sound.
namespace {

constexpr unsigned trackCount = 99;
constexpr std::uint32_t cdFramesPerTrack = 75;
constexpr std::size_t blockFrames = 4096;

struct Album {
    TempDir dir;
    std::filesystem::path audio = dir.file("album.flac");
    std::filesystem::path sheet = dir.file("album.cue");

    Album() {
        writeToneFile(audio, AudioFormat::Flac, ToneShape{{ToneSegment{440.0, trackCount * 1.0}}, 44100, 2, 0.5});
        std::ofstream cue(sheet);
        cue << "TITLE \"Long\"\nFILE \"album.flac\" WAVE\n";
        for (unsigned track = 1; track <= trackCount; ++track) {
            const unsigned seconds = track - 1;
            cue << "  TRACK " << (track < 10 ? "0" : "") << track << " AUDIO\n    TITLE \"Track " << track
                << "\"\n    INDEX 01 " << seconds / 60 << ':' << (seconds % 60 < 10 ? "0" : "") << seconds % 60
                << ":00\n";
        }
    }
};

const Album& album() {
    static const Album made;
    return made;
}

void openLongSheet(benchmark::State& state) {
    const std::u16string sheet = album().sheet.u16string();
    std::size_t tracks = 0;
    for (auto _ : state) {
        tracks = TrackOpener::openAll({sheet}).size();
    }
    if (tracks != trackCount) {
        state.SkipWithError("the sheet did not give its tracks");
    }
}

// Pulls the whole album through the source, the decoder of each track going on into the next.
void pullAcrossCueJoins(benchmark::State& state) {
    const std::string path = album().audio.string();
    // As the playlist's tracks are: tags of their own, read once.
    std::vector<std::shared_ptr<const TrackTagsOnce>> tags;
    for (unsigned track = 0; track < trackCount; ++track) {
        tags.push_back(std::make_shared<const TrackTagsOnce>(album().audio.u16string(), TrackTags{}));
    }
    const auto trackOf = [&path, &tags](std::uint64_t number) {
        const auto begin = static_cast<std::uint32_t>((number - 1) * cdFramesPerTrack);
        const std::optional<std::uint32_t> end =
            number == trackCount ? std::nullopt : std::optional(begin + cdFramesPerTrack);
        return GaplessSource::Track{number, path, nullptr, tags[number - 1], TrackSpan{begin, end}};
    };
    std::chrono::steady_clock::duration slowestJoin{};
    std::chrono::steady_clock::duration slowestOther{};
    for (auto _ : state) {
        GaplessSource source(TrackDecoder::open(path, trackOf(1).span), trackOf(1), 0, TrackLoudness{});
        auto plan = std::make_shared<GaplessSource::Plan>();
        plan->choose = [&trackOf](std::uint64_t ending) {
            return ending < trackCount ? std::optional(trackOf(ending + 1)) : std::nullopt;
        };
        source.setPlan(plan);
        std::vector<float> block(blockFrames * 2);
        std::uint64_t pulled = 0;
        for (std::size_t got = blockFrames; got == blockFrames;) {
            const auto before = std::chrono::steady_clock::now();
            got = source.read(block);
            const auto took = std::chrono::steady_clock::now() - before;
            // A block that crosses a track's end holds a join.
            const bool join = (pulled + got) / 44100 != pulled / 44100;
            (join ? slowestJoin : slowestOther) = std::max(join ? slowestJoin : slowestOther, took);
            pulled += got;
        }
        benchmark::DoNotOptimize(block.data());
    }
    using Micro = std::chrono::duration<double, std::micro>;
    state.counters["slowest_join_pull_us"] = Micro(slowestJoin).count();
    state.counters["slowest_other_pull_us"] = Micro(slowestOther).count();
}

} // namespace

BENCHMARK(openLongSheet)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(pullAcrossCueJoins)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace zalvo

BENCHMARK_MAIN();
