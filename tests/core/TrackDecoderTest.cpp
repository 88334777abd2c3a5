#include "decode/TrackDecoder.h"

#include "Deadline.h"
#include "TempDir.h"
#include "ToneFile.h"

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
