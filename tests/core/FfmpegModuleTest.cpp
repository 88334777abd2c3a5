#include "Deadline.h"
#include "FfmpegEncode.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "TrackDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int rate = 44100;
constexpr double pitch = 440.0;

struct Decoded {
    std::size_t frames = 0;
    double frequency = 0.0;
};

// Every frame of a track, and the pitch of its first channel from its rising zero crossings (with a
// margin, so that coding noise about zero counts for nothing).
Decoded decodeAll(TrackDecoder& decoder) {
    const std::size_t channels = decoder.format().channels;
    std::vector<float> block(4096 * channels);
    Decoded decoded;
    std::size_t crossings = 0;
    constexpr float margin = 0.06F;
    bool below = false;
    for (std::size_t got = 0; (got = decoder.read(block)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) {
            const float sample = block[i * channels];
            crossings += below && sample > margin ? 1 : 0;
            below = sample < -margin || (below && sample <= margin);
        }
        decoded.frames += got;
    }
    decoded.frequency =
        static_cast<double>(crossings) * decoder.format().sampleRate / static_cast<double>(decoded.frames);
    return decoded;
}

class FfmpegModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("ZALVO_MODULE_DIR") != nullptr) {
            GTEST_SKIP() << "the module is made unreachable for another case";
        }
        writeToneFile(source, AudioFormat::Wav, ToneShape{{ToneSegment{pitch, 1.0}}, rate, 2, 0.5});
    }

    TempDir dir;
    const fs::path source = dir.file("tone.wav");
};

struct Encoding {
    const char* file;
    const char* options;
};

// What libsndfile does not read plays through FFmpeg, recognised by its content whatever its name,
// outlined as it plays, and seeks.
TEST_F(FfmpegModuleTest, EveryFormatPlaysWholeAtItsPitch) {
    const std::array encodings{Encoding{"aac.m4a", "-c:a aac"},    Encoding{"alac.m4a", "-c:a alac"},
                               Encoding{"wma2.wma", "-c:a wmav2"}, Encoding{"wavpack.wv", "-c:a wavpack"},
                               Encoding{"tta.tta", "-c:a tta"},    Encoding{"ac3.ac3", "-c:a ac3"},
                               Encoding{"flac.mka", "-c:a flac"},  Encoding{"misnamed.ogg", "-c:a aac -f mp4"}};
    constexpr std::size_t tolerance = rate / 40;
    for (const Encoding& encoding : encodings) {
        SCOPED_TRACE(encoding.file);
        const fs::path file = dir.file(encoding.file);
        encodeWithFfmpeg(source, file, encoding.options);
        const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
        ASSERT_NE(decoder, nullptr);
        EXPECT_EQ(decoder->format(), (PcmFormat{rate, 2}));
        const std::optional<TrackOutline> outline = TrackDecoder::outline(file.string());
        ASSERT_TRUE(outline.has_value());
        EXPECT_EQ(outline->format, decoder->format());
        EXPECT_EQ(outline->frames, decoder->headerFrames());
        if (decoder->headerFrames()) {
            EXPECT_NEAR(static_cast<double>(*decoder->headerFrames()), rate, tolerance);
        }
        const Decoded decoded = decodeAll(*decoder);
        EXPECT_NEAR(static_cast<double>(decoded.frames), rate, tolerance);
        EXPECT_NEAR(decoded.frequency, pitch, pitch / 50);
        ASSERT_TRUE(decoder->seek(rate / 2));
        EXPECT_NEAR(static_cast<double>(decodeAll(*decoder).frames), static_cast<double>(decoded.frames - rate / 2),
                    tolerance);
    }
}

// A file damaged in its middle plays what decodes and then ends: it never hangs or spins.
TEST_F(FfmpegModuleTest, DamagedFilePlaysWhatDecodesThenEnds) {
    std::mt19937 noise(7);
    for (const Encoding& encoding : {Encoding{"aac.m4a", "-c:a aac"}, Encoding{"adts.aac", "-c:a aac -f adts"},
                                     Encoding{"wavpack.wv", "-c:a wavpack"}}) {
        SCOPED_TRACE(encoding.file);
        const fs::path file = dir.file(encoding.file);
        encodeWithFfmpeg(source, file, encoding.options);
        std::string bytes;
        {
            std::ifstream in(file, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        std::generate(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 2 / 3),
                      bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 5 / 6),
                      [&noise] { return static_cast<char>(noise()); });
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        const bool ended = finishesWithin(std::chrono::seconds(20), [file] {
            const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
            ASSERT_NE(decoder, nullptr);
            const std::size_t frames = decodeAll(*decoder).frames;
            EXPECT_GT(frames, static_cast<std::size_t>(rate / 4));
            EXPECT_LT(frames, static_cast<std::size_t>(rate * 2));
        });
        ASSERT_TRUE(ended);
    }
}

void putLittleEndian(std::string& bytes, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes += static_cast<char>(value >> (8 * i));
    }
}

// DSD is one bit at 64 times 44.1 kHz: it plays as PCM at a quarter of what its decoder gives, 88.2 kHz.
TEST_F(FfmpegModuleTest, DsdPlaysAsPcm) {
    constexpr std::uint64_t bitRate = 2822400;
    constexpr std::uint64_t bits = bitRate / 2;
    constexpr std::uint64_t block = 4096;
    constexpr std::uint64_t blocks = (bits / 8 + block - 1) / block;
    // A mono tone through a first-order sigma-delta modulator, least significant bit first.
    std::string channel(blocks * block, '\0');
    double error = 0.0;
    for (std::uint64_t i = 0; i < bits; ++i) {
        const double wanted = 0.5 * std::sin(2.0 * std::numbers::pi * pitch * static_cast<double>(i) / bitRate);
        const bool one = error + wanted >= 0.0;
        error += wanted - (one ? 1.0 : -1.0);
        channel[i / 8] = static_cast<char>(channel[i / 8] | (one ? 1 << (i % 8) : 0));
    }
    std::string dsf = "fmt ";
    for (const std::uint64_t value : {std::uint64_t{52}, std::uint64_t{1}, std::uint64_t{0}, std::uint64_t{1},
                                      std::uint64_t{1}, bitRate, std::uint64_t{1}, bits, block, std::uint64_t{0}}) {
        putLittleEndian(dsf, value, dsf.size() == 4 || dsf.size() == 36 ? 8 : 4);
    }
    dsf += "data";
    putLittleEndian(dsf, 12 + channel.size(), 8);
    dsf += channel;
    std::string header = "DSD ";
    for (const std::uint64_t value : {std::uint64_t{28}, 28 + dsf.size(), std::uint64_t{0}}) {
        putLittleEndian(header, value, 8);
    }
    const fs::path file = dir.file("tone.dsf");
    std::ofstream(file, std::ios::binary) << header + dsf;

    const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(decoder->format(), (PcmFormat{88200, 1}));
    const Decoded decoded = decodeAll(*decoder);
    EXPECT_NEAR(static_cast<double>(decoded.frames), 88200.0 / 2, 88200.0 / 40);
    EXPECT_NEAR(decoded.frequency, pitch, pitch / 50);
}

void putBigEndian(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * (width - 1 - i)));
    }
}

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// Grows by `delta` every box between `begin` and `end` that holds `at`, and the boxes within it.
void growBoxesHolding(std::string& bytes, std::size_t begin, std::size_t end, std::size_t at, std::uint32_t delta) {
    for (std::size_t box = begin; box + 8 <= end;) {
        const std::uint32_t size = bigEndian32(bytes, box);
        if (size < 8) {
            return;
        }
        if (box < at && at < box + size) {
            putBigEndian(bytes, box, size + delta, 4);
            growBoxesHolding(bytes, box + 8, box + size, at, delta);
            return;
        }
        box += size;
    }
}

// An MP4 whose audio lies in another file: its data reference is a Mac alias naming `target`.
std::string withExternalData(std::string mp4, const fs::path& target) {
    std::string path = target.string();
    path.resize(path.size() + path.size() % 2);
    std::string alias(12 + 150 + 4 + path.size() + 4, '\0');
    putBigEndian(alias, 0, static_cast<std::uint32_t>(alias.size()), 4);
    alias.replace(4, 4, "alis");
    const std::string name = target.filename().string();
    alias[12 + 10 + 1 + 27 + 12] = static_cast<char>(name.size());
    alias.replace(12 + 10 + 1 + 27 + 12 + 1, name.size(), name);
    putBigEndian(alias, 12 + 146, 1, 2);
    putBigEndian(alias, 12 + 148, 1, 2);
    putBigEndian(alias, 12 + 150, 2, 2);
    putBigEndian(alias, 12 + 152, static_cast<std::uint32_t>(path.size()), 2);
    alias.replace(12 + 154, path.size(), path);
    putBigEndian(alias, alias.size() - 4, 0xFFFF, 2);

    const std::size_t dref = mp4.find("dref") - 4;
    std::string box(16, '\0');
    box.replace(4, 4, "dref");
    putBigEndian(box, 12, 1, 4);
    box += alias;
    putBigEndian(box, 0, static_cast<std::uint32_t>(box.size()), 4);
    const std::uint32_t oldSize = bigEndian32(mp4, dref);
    growBoxesHolding(mp4, 0, mp4.size(), dref, static_cast<std::uint32_t>(box.size()) - oldSize);
    return mp4.replace(dref, oldSize, box);
}

// A file that names another file or a URL is refused without opening it: what it names is a FIFO
// nobody writes to, which would block whoever opened it.
TEST_F(FfmpegModuleTest, FilesNamingOtherFilesAreRefusedUnopened) {
    const fs::path target = dir.file("target.aac");
    ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
    const fs::path m4a = dir.file("tone.m4a");
    encodeWithFfmpeg(source, m4a, "-c:a aac");
    std::ifstream in(m4a, std::ios::binary);
    const std::string external = withExternalData({std::istreambuf_iterator<char>(in), {}}, target);
    const std::string hls = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n";
    const std::array crafted{
        std::pair{"playlist.m3u8", hls + target.string() + "\n#EXT-X-ENDLIST\n"},
        std::pair{"concat.m3u8", hls + "concat:" + target.string() + "|" + target.string() + "\n#EXT-X-ENDLIST\n"},
        std::pair{"list.ffconcat", "ffconcat version 1.0\nfile '" + target.string() + "'\n"},
        std::pair{"external.m4a", external}};
    for (const auto& [name, bytes] : crafted) {
        SCOPED_TRACE(name);
        const fs::path file = dir.file(name);
        std::ofstream(file, std::ios::binary) << bytes;
        const bool ended =
            finishesWithin(std::chrono::seconds(20), [file] { EXPECT_EQ(TrackDecoder::open(file.string()), nullptr); });
        ASSERT_TRUE(ended);
    }
}

// An MP4 box of the given type holding `payload`.
std::string box(const std::string& type, const std::string& payload) {
    std::string bytes(4, '\0');
    putBigEndian(bytes, 0, static_cast<std::uint32_t>(8 + payload.size()), 4);
    return bytes + type + payload;
}

// Without an edit list, iTunes' gapless record says what to skip (the encoder's 1024 frames of priming)
// and how long the audio is: the tone comes out at once, and whole to its last frame.
TEST_F(FfmpegModuleTest, ITunesGaplessRecordTrimsPrimingAndPadding) {
    const fs::path file = dir.file("itunes.m4a");
    encodeWithFfmpeg(source, file, "-c:a aac -use_editlist 0");
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    char record[64];
    std::snprintf(record, sizeof record, " 00000000 00000400 00000000 %016X", rate);
    const std::string item = box("----", box("mean", std::string(4, '\0') + "com.apple.iTunes") +
                                             box("name", std::string(4, '\0') + "iTunSMPB") +
                                             box("data", std::string("\0\0\0\1\0\0\0\0", 8) + record));
    const std::size_t list = bytes.find("ilst") - 4;
    ASSERT_LT(list, bytes.size());
    const std::uint32_t listSize = bigEndian32(bytes, list);
    // The walk stops at "meta", whose payload starts with a version: the list within is grown apart.
    growBoxesHolding(bytes, 0, bytes.size(), list, static_cast<std::uint32_t>(item.size()));
    putBigEndian(bytes, list, listSize + static_cast<std::uint32_t>(item.size()), 4);
    bytes.insert(list + listSize, item);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    const std::optional<TrackOutline> outline = TrackDecoder::outline(file.string());
    const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
    ASSERT_TRUE(outline && decoder);
    EXPECT_EQ(outline->frames, std::optional<std::uint64_t>(rate));
    EXPECT_EQ(decoder->headerFrames(), std::optional<std::uint64_t>(rate));
    std::vector<float> first(2 * 256);
    ASSERT_EQ(decoder->read(first), 256U);
    EXPECT_GT(*std::max_element(first.begin(), first.end()), 0.24F);
    EXPECT_EQ(decodeAll(*decoder).frames, static_cast<std::size_t>(rate - 256));
}

// With the loader pointed at a folder without the module, what only FFmpeg reads is refused and
// everything else plays as before.
TEST(FfmpegModuleAbsentTest, OnlyWhatNeedsTheModuleIsRefused) {
    if (std::getenv("ZALVO_MODULE_DIR") == nullptr) {
        GTEST_SKIP() << "runs with ZALVO_MODULE_DIR naming a folder without the module";
    }
    TempDir dir;
    const fs::path wav = dir.file("tone.wav");
    const fs::path m4a = dir.file("tone.m4a");
    writeToneFile(wav, AudioFormat::Wav);
    encodeWithFfmpeg(wav, m4a, "-c:a aac");
    EXPECT_EQ(TrackDecoder::open(m4a.string()), nullptr);
    EXPECT_FALSE(TrackDecoder::outline(m4a.string()).has_value());
    EXPECT_NE(TrackDecoder::open(wav.string()), nullptr);
}

} // namespace
