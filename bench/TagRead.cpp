#include "TempDir.h"
#include "tags/CoverArt.h"
#include "tags/TrackTags.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace zalvo {

// A track's tags and cover are read when it becomes current: in every format that must stay well
// under the 100 ms tick, and under a millisecond.
namespace {

void readTags(benchmark::State& state, const std::u16string& path) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(TrackTags::read(path));
    }
    if (TrackTags::read(path).title.empty()) {
        state.SkipWithError("no tags read");
    }
}

void locateCover(benchmark::State& state, const std::u16string& path, const CoverArt& covers) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(covers.locate(path));
    }
    if (!covers.locate(path)) {
        state.SkipWithError("no cover found");
    }
}

} // namespace

} // namespace zalvo

int main(int argc, char** argv) {
    using namespace zalvo;
    benchmark::Initialize(&argc, argv);
    const TempDir dir;
    const CoverArt covers(dir.file("cache"));
    const std::string picture = dir.file("picture.jpg").string();
    std::printf("Writing a tagged 3-minute stereo file in each format...\n");
    if (std::system(
            ("ffmpeg -nostdin -v error -f lavfi -i color=red:s=500x500 -frames:v 1 '" + picture + "'").c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg is needed to write the files\n");
        return 1;
    }
    const std::pair<const char*, const char*> formats[] = {
        {".mp3", "libmp3lame"}, {".flac", "flac"}, {".ogg", "libvorbis"}, {".opus", "libopus"},
        {".m4a", "aac"},        {".wma", "wmav2"}, {".wv", "wavpack"},    {".wav", "pcm_s16le"}};
    for (const auto& [extension, codec] : formats) {
        const std::string file = dir.file(std::string("three-minutes") + extension).string();
        // Formats that hold a picture get the cover embedded, as stores hand them out.
        const bool embeds = std::string(".mp3.flac.m4a").find(extension) != std::string::npos;
        const std::string cover =
            embeds ? " -i '" + picture + "' -map 0 -map 1 -c:v copy -disposition:v attached_pic" : "";
        const std::string command =
            "ffmpeg -nostdin -v error -f lavfi -i sine=duration=180 -ac 2" + cover + " -c:a " + codec +
            " -metadata title=Title -metadata artist=Artist -metadata album=Album -metadata album_artist=Band"
            " -metadata track=3/12 -metadata genre=Jazz -metadata date=2019 '" +
            file + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not write %s\n", file.c_str());
            return 1;
        }
        const std::u16string path = std::filesystem::path(file).u16string();
        benchmark::RegisterBenchmark((std::string("TagRead/3min") + extension).c_str(), readTags, path)
            ->Unit(benchmark::kMicrosecond);
        if (embeds) {
            benchmark::RegisterBenchmark((std::string("CoverLocate/3min") + extension).c_str(), locateCover, path,
                                         std::cref(covers))
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
