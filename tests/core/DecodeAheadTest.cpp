#include "pcm/DecodeAhead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace zalvo {
namespace {

// Hands out numbered samples in a run of formats, each for a given count of frames, as a decoder
// reaching joins would; it notes each thread it is read on and can be made to hold its reads.
class ScriptedSource final : public PcmSource {
public:
    struct Part {
        PcmFormat format;
        std::size_t frames = 0;
    };

    explicit ScriptedSource(std::vector<Part> parts) : parts(std::move(parts)) {}

    PcmFormat format() const override { return parts[std::min(part, parts.size() - 1)].format; }
    std::size_t read(std::span<PcmSample> samples) override {
        {
            const std::scoped_lock lock(mutex);
            readers.push_back(std::this_thread::get_id());
        }
        held.wait(true);
        if (part >= parts.size()) {
            return 0;
        }
        const std::size_t channels = parts[part].format.channels;
        const std::size_t frames = std::min(samples.size() / channels, parts[part].frames - into);
        for (std::size_t i = 0; i < frames * channels; ++i) {
            samples[i] = static_cast<PcmSample>(next++);
        }
        into += frames;
        if (into == parts[part].frames && part + 1 < parts.size()) {
            ++part;
            into = 0;
        }
        return frames;
    }

    // A seek that makes the numbers go on from `number`, in the first part's format, once applied.
    void seekToNumber(std::size_t number) { seekNumber = number; }
    bool seekPending() const override { return seekNumber.has_value(); }
    void applySeek(std::uint64_t from) override {
        appliedFrom = from;
        next = *std::exchange(seekNumber, std::nullopt);
        part = 0;
        into = 0;
    }

    std::vector<std::thread::id> threads() const {
        const std::scoped_lock lock(mutex);
        return readers;
    }

    std::atomic<bool> held = false;
    std::optional<std::uint64_t> appliedFrom;

private:
    std::vector<Part> parts;
    std::size_t part = 0;
    std::size_t into = 0;
    std::size_t next = 0;
    std::optional<std::size_t> seekNumber;
    mutable std::mutex mutex;
    std::vector<std::thread::id> readers;
};

struct Pulled {
    std::vector<PcmSample> samples;
    std::vector<std::pair<PcmFormat, std::size_t>> runs;
};

// Pulls as an output would, blocks of `frames`, waiting where the producer runs behind.
Pulled pullAll(DecodeAhead& ahead, std::size_t frames) {
    Pulled pulled;
    std::vector<PcmSample> block;
    while (true) {
        const PcmFormat format = ahead.format();
        block.resize(frames * format.channels);
        const std::size_t got = ahead.read(block);
        pulled.samples.insert(pulled.samples.end(), block.begin(),
                              block.begin() + static_cast<std::ptrdiff_t>(got * format.channels));
        if (pulled.runs.empty() || pulled.runs.back().first != format) {
            pulled.runs.emplace_back(format, 0);
        }
        pulled.runs.back().second += got;
        if (got < frames && ahead.format() == format) {
            if (ahead.ended()) {
                return pulled;
            }
            ahead.awaitReadable();
        }
    }
}

TEST(DecodeAheadTest, HandsOnEverySampleWithItsFormatChangesAndEnd) {
    const PcmFormat stereo{44100, 2};
    const PcmFormat mono{48000, 1};
    const std::vector<ScriptedSource::Part> parts{{stereo, 70'001}, {mono, 9}, {stereo, 123'457}};
    for (const std::size_t block : {1U, 441U, 4096U, 100'000U}) {
        SCOPED_TRACE(block);
        auto source = std::make_shared<ScriptedSource>(parts);
        DecodeAhead ahead(source);
        ahead.prepare();
        const Pulled pulled = pullAll(ahead, block);
        ASSERT_EQ(pulled.samples.size(), 70'001U * 2 + 9 + 123'457U * 2);
        for (std::size_t i = 0; i < pulled.samples.size(); ++i) {
            ASSERT_EQ(pulled.samples[i], static_cast<PcmSample>(i)) << "sample " << i;
        }
        const std::vector<std::pair<PcmFormat, std::size_t>> runs{{stereo, 70'001}, {mono, 9}, {stereo, 123'457}};
        EXPECT_EQ(pulled.runs, runs);
    }
}

TEST(DecodeAheadTest, ReadsNeverReachTheSource) {
    auto source = std::make_shared<ScriptedSource>(std::vector<ScriptedSource::Part>{{{44100, 2}, 1'000'000}});
    DecodeAhead ahead(source);
    ahead.prepare();
    // The source now holds every read, as a file system that hangs would: the output's reads go on
    // from what was decoded ahead, then run behind, and never wait.
    source->held = true;
    std::vector<PcmSample> block(2 * 1024);
    std::size_t frames = 0;
    while (const std::size_t got = ahead.read(block)) {
        frames += got;
    }
    EXPECT_GE(frames, 22050U);
    EXPECT_FALSE(ahead.ended());
    EXPECT_EQ(ahead.format(), (PcmFormat{44100, 2}));
    for (const std::thread::id reader : source->threads()) {
        EXPECT_NE(reader, std::this_thread::get_id());
    }
    source->held = false;
    source->held.notify_all();
}

// What was decoded ahead is dropped, even once the stream has ended, and what follows comes from where
// the source went, counted from the frame the output gave.
TEST(DecodeAheadTest, SeekDropsWhatWasDecodedAhead) {
    const PcmFormat stereo{44100, 2};
    auto source = std::make_shared<ScriptedSource>(std::vector<ScriptedSource::Part>{{stereo, 200'000}});
    DecodeAhead ahead(source);
    ahead.prepare();
    std::vector<PcmSample> block(2 * 1000);
    ASSERT_EQ(ahead.read(block), 1000U);

    source->seekToNumber(10'000'000);
    EXPECT_TRUE(ahead.seekPending());
    ahead.applySeek(700);
    EXPECT_EQ(source->appliedFrom, 700U);
    EXPECT_FALSE(ahead.seekPending());
    const Pulled afterSeek = pullAll(ahead, 4096);
    ASSERT_EQ(afterSeek.samples.size(), 200'000U * 2);
    EXPECT_EQ(afterSeek.samples.front(), 10'000'000.0F);
    EXPECT_EQ(afterSeek.samples.back(), 10'000'000.0F + 399'999.0F);
    ASSERT_TRUE(ahead.ended());

    source->seekToNumber(0);
    ahead.applySeek(0);
    EXPECT_FALSE(ahead.ended());
    EXPECT_EQ(pullAll(ahead, 4096).samples.size(), 200'000U * 2);
}

} // namespace
} // namespace zalvo
