#include "decode/TrackDecoder.h"

#include "Deadline.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "decode/FileStream.h"
#include "decode/WavProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return out;
}

std::string chunk(const std::string& id, const std::string& body, std::uint32_t declared) {
    return id + littleEndian(declared, 4) + body;
}

std::string chunk(const std::string& id, const std::string& body) {
    return chunk(id, body, static_cast<std::uint32_t>(body.size()));
}

// The fmt chunk's body: plain, or extensible with the plain tag in its GUID.
std::string wavFormat(std::uint16_t tag, unsigned channels, unsigned bits, bool asExtensible = false) {
    const unsigned frameBytes = channels * ((bits + 7) / 8);
    std::string body = littleEndian(asExtensible ? 0xFFFE : tag, 2) + littleEndian(channels, 2) +
                       littleEndian(44100, 4) + littleEndian(44100 * frameBytes, 4) + littleEndian(frameBytes, 2) +
                       littleEndian(bits, 2);
    if (asExtensible) {
        body += littleEndian(22, 2) + littleEndian(bits, 2) + littleEndian(0, 4) + littleEndian(tag, 2) +
                std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
    }
    return body;
}

std::string riffWave(const std::string& chunks) {
    return "RIFF" + littleEndian(static_cast<std::uint32_t>(chunks.size() + 4), 4) + "WAVE" + chunks;
}

// A playlist learns a track's format and length from its outline, and plays it through the decoder:
// the two must agree, whatever shortcut the outline takes. Chained Ogg streams (two files back to back)
// and Ogg files cut short are where a shortcut would go wrong.
TEST(TrackDecoderTest, OutlineAgreesWithTheDecoder) {
    TempDir dir;
    std::vector<fs::path> files;
    for (const AudioFormat format : allAudioFormats()) {
        files.push_back(dir.file("tone" + extensionOf(format)));
        writeToneFile(files.back(), format, ToneShape{{ToneSegment{440.0, 0.7}}, 48000, 2, 0.5});
    }
    const fs::path other = dir.file("other.ogg");
    writeToneFile(other, AudioFormat::Ogg, ToneShape{{ToneSegment{220.0, 0.3}}, 44100, 1, 0.5});
    const std::string vorbis = readBytes(dir.file("tone.ogg"));
    files.push_back(dir.file("chained.ogg"));
    writeBytes(files.back(), vorbis + readBytes(other));
    for (const std::size_t length : {std::size_t{200}, vorbis.size() / 3, vorbis.size() - 1}) {
        files.push_back(dir.file("cut" + std::to_string(length) + ".ogg"));
        writeBytes(files.back(), vorbis.substr(0, length));
    }

    // An AIFF cut short before the offset its sound data names: libsndfile's header promises no frames,
    // yet it reads some.
    std::string aiff("FORM\0\0\x0c\xae"
                     "AIFFCOMM\0\0\0\x12\0\x02\0\0\x03\x20\0\x10\x40\x0b\xfa\0\0\0\0\0\x07\0"
                     "SSND\0\0\x0c\x88\0\0\0\x50\x50\x50\x50\x50",
                     54);
    aiff.append(43, '\x50');
    files.push_back(dir.file("cut-short.aiff"));
    writeBytes(files.back(), aiff);

    // A FLAC header giving a rate no output plays (1,006,660 Hz) over a frame libsndfile decodes nothing
    // of and the module decodes at 44.1 kHz.
    files.push_back(dir.file("odd-rate.flac"));
    writeBytes(files.back(),
               std::string("fLaC\0\0\0\x22\x12\0\x12\xf8\xff\xfe\xf4\xff\xf9\x57\xf5\xc4\x40\xf0\0\x06\x0e\x64"
                           "\0\0\0\0\0\0\x7a\x64\0\0\0\0\xd2\0\0\x01\xf8\0\0\0\xff\xf8\x59\x08\x3f\x81\0"
                           "\xe5\x3c\x64\xd2",
                           57));

    // WAV files outlined from their chunks, and those left to libsndfile: both must say what it plays.
    struct Wav {
        std::string name;
        std::string bytes;
        bool fromChunks;
    };
    const std::string samples(4000, '\x11');
    const std::string stereo = chunk("fmt ", wavFormat(1, 2, 16));
    const std::vector<Wav> wavs{
        {"8-bit", riffWave(chunk("fmt ", wavFormat(1, 1, 8)) + chunk("data", samples)), true},
        {"24-bit", riffWave(chunk("fmt ", wavFormat(1, 2, 24)) + chunk("data", samples)), true},
        {"double", riffWave(chunk("fmt ", wavFormat(3, 2, 64)) + chunk("data", samples)), true},
        {"extensible", riffWave(chunk("fmt ", wavFormat(1, 6, 16, true)) + chunk("data", samples)), true},
        {"listed-first", riffWave(stereo + chunk("LIST", "INFOab") + chunk("data", samples)), true},
        {"odd-chunk", riffWave(stereo + chunk("junk", "abc") + '\0' + chunk("data", samples)), false},
        {"12-bit", riffWave(chunk("fmt ", wavFormat(1, 1, 12)) + chunk("data", samples)), false},
        {"cut-short", riffWave(stereo + chunk("data", samples, 8000)), false},
        {"unsized", riffWave(stereo + chunk("data", samples, 0)), false},
        {"data-first", riffWave(chunk("data", samples) + stereo), false},
    };
    for (const Wav& wav : wavs) {
        files.push_back(dir.file(wav.name + ".wav"));
        writeBytes(files.back(), wav.bytes);
        FileStream stream;
        ASSERT_TRUE(stream.open(files.back().string()));
        EXPECT_EQ(WavProbe::read(stream).has_value(), wav.fromChunks) << wav.name;
    }

    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::optional<TrackOutline> outline = TrackDecoder::outline(file.string());
        const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(file.string());
        ASSERT_EQ(outline.has_value(), decoder != nullptr);
        if (decoder) {
            EXPECT_EQ(outline->format, decoder->format());
            EXPECT_EQ(outline->frames, decoder->headerFrames());
        }
    }
}

// Bytes this process has read through system calls so far.
std::uint64_t bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return 0;
}

// A FIFO nobody writes to would block its reader for ever, a device or a directory never ends, and a
// huge file that is not audio must be refused from its first bytes: each is refused, at once.
TEST(TrackDecoderTest, RefusesWhatIsNotAnAudioFileWithoutWaitingOrReadingItAll) {
    TempDir dir;
    const fs::path fifo = dir.file("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = dir.file("folder.flac");
    fs::create_directory(folder);
    const fs::path sparse = dir.file("zeros.mp3");
    std::ofstream(sparse, std::ios::binary).put('\0');
    fs::resize_file(sparse, std::uint64_t{2} << 30);

    for (const fs::path& path : {fifo, folder, fs::path("/dev/zero"), sparse}) {
        SCOPED_TRACE(path.string());
        const std::uint64_t before = bytesRead();
        const bool ended = finishesWithin(std::chrono::seconds(20), [path] {
            EXPECT_EQ(TrackDecoder::open(path.string()), nullptr);
            EXPECT_FALSE(TrackDecoder::outline(path.string()).has_value());
        });
        ASSERT_TRUE(ended);
        EXPECT_LT(bytesRead() - before, std::uint64_t{4} << 20);
    }
}

} // namespace

} // namespace zalvo
