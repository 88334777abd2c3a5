#include "Deadline.h"
#include "FfmpegEncode.h"
#include "LogCapture.h"
#include "TempDir.h"
#include "TestName.h"
#include "ToneFile.h"
#include "decode/TrackDecoder.h"
#include "tags/TrackTags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zalvo {

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

// What FFmpeg says of a damaged file reaches the core's log, at debug level: never a warning.
TEST_F(FfmpegModuleTest, DamagedFileIsToldOfInTheDebugLog) {
    const fs::path file = dir.file("adts.aac");
    encodeWithFfmpeg(source, file, "-c:a aac -f adts");
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::mt19937 noise(7);
    std::generate(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 3),
                  bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2),
                  [&noise] { return static_cast<char>(noise()); });
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    const LogCapture log;
    const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
    ASSERT_NE(decoder, nullptr);
    decodeAll(*decoder);
    const std::vector<LogCapture::Entry> entries = log.entries();
    EXPECT_TRUE(std::ranges::any_of(entries, [](const LogCapture::Entry& entry) {
        return entry.category == Log::Category::Engine && entry.level == Log::Level::Debug &&
               entry.message.starts_with("FFmpeg: ");
    }));
    EXPECT_EQ(log.warningsWith("FFmpeg"), 0U);
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

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    return bytes;
}

// iTunes' gapless record, put into the list of an MP4 file's tags.
std::string withITunesRecord(std::string bytes, const char* record) {
    const std::string item = box("----", box("mean", std::string(4, '\0') + "com.apple.iTunes") +
                                             box("name", std::string(4, '\0') + "iTunSMPB") +
                                             box("data", std::string("\0\0\0\1\0\0\0\0", 8) + record));
    const std::size_t list = bytes.find("ilst") - 4;
    const std::uint32_t listSize = bigEndian32(bytes, list);
    // The walk stops at "meta", whose payload starts with a version: the list within is grown apart.
    growBoxesHolding(bytes, 0, bytes.size(), list, static_cast<std::uint32_t>(item.size()));
    putBigEndian(bytes, list, listSize + static_cast<std::uint32_t>(item.size()), 4);
    return bytes.insert(list + listSize, item);
}

// The file with the 32-bit field `at` bytes into the first box of type `type` (counted from its size)
// set to `value`; `nth` picks a later box of that type.
std::string withField(std::string bytes, const std::string& type, std::size_t at, std::uint32_t value, int nth = 0) {
    std::size_t found = bytes.find(type);
    for (int i = 0; i < nth; ++i) {
        found = bytes.find(type, found + 4);
    }
    putBigEndian(bytes, found - 4 + at, value, 4);
    return bytes;
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

// A file made by `make` from the one-second stereo tone, and whether it plays.
struct Playing {
    const char* name;
    std::function<void(const fs::path& tone, const fs::path& file)> make;
    bool plays;
};

void PrintTo(const Playing& playing, std::ostream* out) {
    *out << playing.name;
}

class FfmpegPlayingTest : public FfmpegModuleTest, public ::testing::WithParamInterface<Playing> {};

// Files ffmpeg plays, played as ffmpeg plays them, and outlined as they open.
TEST_P(FfmpegPlayingTest, PlaysAsFfmpegDoes) {
    const fs::path file = dir.file(GetParam().name);
    GetParam().make(source, file);
    const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
    const std::optional<TrackOutline> outline = TrackDecoder::outline(file.string());
    ASSERT_EQ(decoder != nullptr, GetParam().plays);
    ASSERT_EQ(outline.has_value(), decoder != nullptr);
    if (!decoder) {
        return;
    }
    EXPECT_EQ(outline->format, decoder->format());
    EXPECT_EQ(outline->frames, decoder->headerFrames());
    const fs::path byFfmpeg = dir.file("by-ffmpeg.wav");
    encodeWithFfmpeg(file, byFfmpeg, "-map 0:a -c:a pcm_s16le");
    const std::unique_ptr<TrackDecoder> reference = TrackDecoder::open(byFfmpeg.string());
    ASSERT_TRUE(reference && reference->headerFrames());
    EXPECT_EQ(decoder->format(), reference->format());
    const double decoded = static_cast<double>(decodeAll(*decoder).frames) / decoder->format().sampleRate;
    EXPECT_NEAR(decoded, static_cast<double>(*reference->headerFrames()) / reference->format().sampleRate, 0.05);
}

const Playing playings[]{
    {"cover.m4a",
     [](const fs::path& tone, const fs::path& file) {
         // Noise behind a PNG header: ffmpeg copies the picture as it is, 40 MB into the movie's tags.
         const fs::path cover = file.parent_path() / "cover.png";
         const std::string header("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x0F\xA0\0\0\x0D\x48\x08\x02\0\0\0\0\0\0\0", 33);
         const std::string data("\x02\x80\0\0IDAT", 8);
         writeBytes(cover, header + data + noise(40 << 20, 1) + std::string("\0\0\0\0\0\0\0\0IEND\0\0\0\0", 16));
         encodeWithFfmpeg(tone, file,
                          "-i '" + cover.string() + "' -map 0 -map 1 -c:a aac -c:v copy -disposition:v attached_pic");
     },
     true},
    {"record-of-one-frame.m4a",
     [](const fs::path& tone, const fs::path& file) {
         encodeWithFfmpeg(tone, file, "-c:a aac");
         writeBytes(file, withITunesRecord(readBytes(file), " 00000000 00000400 00000000 0000000000000001"));
     },
     true},
    {"rate-change.mp3",
     [](const fs::path& tone, const fs::path& file) {
         const fs::path first = file.parent_path() / "first.mp3";
         const fs::path second = file.parent_path() / "second.mp3";
         encodeWithFfmpeg(tone, first, "-c:a libmp3lame");
         encodeWithFfmpeg(tone, second, "-af atempo=0.5 -ar 48000 -c:a libmp3lame");
         writeBytes(file, readBytes(first) + readBytes(second));
     },
     true},
    {"damaged-first-frame.flac",
     [](const fs::path& tone, const fs::path& file) {
         encodeWithFfmpeg(tone, file, "-c:a flac");
         std::string bytes = readBytes(file);
         // The metadata blocks, each a last-block flag, a type and a 24-bit length, then the frames.
         std::size_t at = 4;
         for (bool last = false; !last; at += 4 + (bigEndian32(bytes, at) & 0xFFFFFFU)) {
             last = (static_cast<unsigned char>(bytes[at]) & 0x80U) != 0;
         }
         bytes.replace(at + 1, 8000, noise(8000, 2));
         writeBytes(file, bytes);
     },
     true},
    {"tiny-blocks.dsf",
     [](const fs::path& /*tone*/, const fs::path& file) {
         std::string dsf = "fmt ";
         for (const std::uint64_t value :
              std::initializer_list<std::uint64_t>{52, 1, 0, 1, 1, 2822400, 1, 2822400, 1, 0}) {
             putLittleEndian(dsf, value, dsf.size() == 4 || dsf.size() == 36 ? 8 : 4);
         }
         dsf += "data";
         putLittleEndian(dsf, 12 + 2822400 / 8, 8);
         dsf += noise(2822400 / 8, 3);
         std::string header = "DSD ";
         for (const std::uint64_t value : {std::uint64_t{28}, 28 + dsf.size(), std::uint64_t{0}}) {
             putLittleEndian(header, value, 8);
         }
         writeBytes(file, header + dsf);
     },
     false},
};

INSTANTIATE_TEST_SUITE_P(Files, FfmpegPlayingTest, ::testing::ValuesIn(playings),
                         [](const ::testing::TestParamInfo<Playing>& info) { return testNameOf(info.param.name); });

// A crafted file, made by `craft` from one encoded by ffmpeg with `options`; its outline must say what
// opening does, and its length no more than `mostOverDecoded` times what decodes.
struct Crafted {
    const char* name;
    const char* options;
    std::function<std::string(std::string)> craft;
    double mostOverDecoded;
};

void PrintTo(const Crafted& crafted, std::ostream* out) {
    *out << crafted.name;
}

class FfmpegOutlineTest : public FfmpegModuleTest, public ::testing::WithParamInterface<Crafted> {};

TEST_P(FfmpegOutlineTest, OutlineTellsWhatOpeningDoes) {
    const fs::path encoded = dir.file(std::string("encoded-") + GetParam().name);
    encodeWithFfmpeg(source, encoded, GetParam().options);
    const fs::path file = dir.file(GetParam().name);
    writeBytes(file, GetParam().craft(readBytes(encoded)));
    const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
    const std::optional<TrackOutline> outline = TrackDecoder::outline(file.string());
    ASSERT_EQ(outline.has_value(), decoder != nullptr);
    if (!decoder) {
        return;
    }
    EXPECT_EQ(outline->format, decoder->format());
    ASSERT_EQ(outline->frames, decoder->headerFrames());
    const auto decoded = static_cast<double>(decodeAll(*decoder).frames);
    ASSERT_TRUE(outline->frames.has_value());
    EXPECT_LE(static_cast<double>(*outline->frames), decoded * GetParam().mostOverDecoded + rate / 100.0);
}

// Play and send durations in an ASF file's properties: 64-bit counts of 100 ns.
std::string withAsfDuration(std::string bytes, std::uint64_t duration) {
    const std::string fileProperties("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16);
    const std::size_t at = bytes.find(fileProperties) + 64;
    std::string field;
    putLittleEndian(field, duration, 8);
    return bytes.replace(at, 8, field).replace(at + 8, 8, field);
}

const Crafted crafteds[]{
    // The media header's duration at 24 bytes into a version 0 box, the edit's at 16.
    {"media-header-shorter.m4a", "-c:a aac", [](std::string m) { return withField(m, "mdhd", 24, rate / 3); }, 1.02},
    {"media-header-of-32-bits.m4a", "-c:a aac -use_editlist 0",
     [](std::string m) { return withField(m, "mdhd", 24, 0xFFFFFFFF); }, 1.02},
    {"edit-past-the-media.m4a", "-c:a aac", [](std::string m) { return withField(m, "elst", 16, 0xFFFFFFFF); }, 1.02},
    // ALAC's sample size (the byte 17 bytes into its configuration box) at 0, which its decoder refuses.
    {"alac-of-no-sample-size.m4a", "-c:a alac",
     [](std::string m) {
         const std::size_t config = m.find("alac", m.find("alac") + 4) - 4;
         m[config + 17] = '\0';
         return m;
     },
     1.02},
    {"record-of-one-frame.m4a", "-c:a aac",
     [](std::string m) { return withITunesRecord(std::move(m), " 00000000 00000400 00000000 0000000000000001"); },
     1.02},
    // Bounded by what the bytes hold at the stream's bit rate, with room for a variable rate and, in a file this
    // short, for the header's own bytes.
    {"millennia.wma", "-c:a wmav2", [](std::string w) { return withAsfDuration(std::move(w), 0x7000000000000000); },
     6.0},
};

INSTANTIATE_TEST_SUITE_P(Files, FfmpegOutlineTest, ::testing::ValuesIn(crafteds),
                         [](const ::testing::TestParamInfo<Crafted>& info) { return testNameOf(info.param.name); });

// Matroska, which TagLib does not read, and TrueAudio's APEv2 tag, where TagLib looks for ID3 only:
// their tags come from the container as FFmpeg reads it.
TEST_F(FfmpegModuleTest, TagsTagLibMissesComeFromTheContainer) {
    for (const char* name : {"tagged.mka", "tagged.tta"}) {
        SCOPED_TRACE(name);
        const fs::path file = dir.file(name);
        encodeWithFfmpeg(
            source, file,
            std::string(std::string(name).ends_with(".mka") ? "-c:a flac" : "-c:a tta") +
                " -metadata title=Étude -metadata artist=Someone -metadata album=Works -metadata track=3/12");
        const TrackTags tags = TrackTags::read(std::u16string(file.u16string()));
        EXPECT_EQ(tags.title, "Étude");
        EXPECT_EQ(tags.artist, "Someone");
        EXPECT_EQ(tags.album, "Works");
        EXPECT_EQ(tags.trackNumber, 3U);
    }
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

} // namespace zalvo
