#include "TempDir.h"
#include "ToneFile.h"
#include "decode/TrackDecoder.h"
#include "engine/GaplessSource.h"
#include "pcm/DecodeAhead.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zalvo {

// The longest time one pull of the sound server's callback takes over ten minutes of joined FLAC
// tracks, in the server's refill blocks: straight from the gapless source (every decode, every open of
// a follower on the callback), then out of the ring decoded ahead of it. Virtual time: the pulls run
// back to back, and the wait for the producer to catch up is not the callback's.
namespace {

constexpr std::size_t trackCount = 20;
constexpr double trackSeconds = 30.0;
constexpr unsigned rate = 44100;
// What the server asks for at each wake-up: a quarter of a second.
constexpr std::size_t blockFrames = rate / 4;

struct Timing {
    double longestMs = 0.0;
    double meanMs = 0.0;
    std::uint64_t frames = 0;
};

std::shared_ptr<GaplessSource> joined(const std::vector<std::string>& paths) {
    auto source = std::make_shared<GaplessSource>(TrackDecoder::open(paths.front()), GaplessSource::Track{0, paths[0]},
                                                  0, TrackLoudness{});
    auto plan = std::make_shared<GaplessSource::Plan>();
    plan->choose = [paths](std::uint64_t ending) -> std::optional<GaplessSource::Track> {
        if (ending + 1 >= paths.size()) {
            return std::nullopt;
        }
        return GaplessSource::Track{ending + 1, paths[ending + 1]};
    };
    source->setPlan(plan);
    return source;
}

Timing pull(PcmSource& source) {
    Timing timing;
    std::vector<float> block;
    std::size_t pulls = 0;
    double total = 0.0;
    while (true) {
        const PcmFormat format = source.format();
        block.resize(blockFrames * format.channels);
        const auto start = std::chrono::steady_clock::now();
        const std::size_t got = source.read(block);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        timing.longestMs = std::max(timing.longestMs, ms);
        total += ms;
        ++pulls;
        timing.frames += got;
        if (got < blockFrames && source.format() == format) {
            if (source.ended()) {
                break;
            }
            source.awaitReadable();
        }
    }
    timing.meanMs = total / static_cast<double>(pulls);
    return timing;
}

void report(const char* what, const Timing& timing) {
    std::printf("%-26s longest %8.3f ms  mean %7.3f ms  %.1f s pulled\n", what, timing.longestMs, timing.meanMs,
                static_cast<double>(timing.frames) / rate);
}

} // namespace

} // namespace zalvo

int main() {
    using namespace zalvo;
    const TempDir dir;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < trackCount; ++i) {
        const auto path = dir.file("track" + std::to_string(i) + ".flac");
        writeToneFile(path, AudioFormat::Flac,
                      ToneShape{{ToneSegment{440.0 + static_cast<double>(i), trackSeconds}}, rate, 2, 0.5});
        paths.push_back(path.string());
    }
    {
        const std::shared_ptr<GaplessSource> source = joined(paths);
        source->prepare();
        report("straight from the decoder", pull(*source));
    }
    {
        DecodeAhead ahead(joined(paths));
        ahead.prepare();
        report("out of the ring", pull(ahead));
    }
    return 0;
}
