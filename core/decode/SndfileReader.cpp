#include "decode/SndfileReader.h"

#include "base/Log.h"
#include "base/SharedLibrary.h"
#include "decode/FileStream.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace zalvo {

namespace {

// libsndfile, opened the first time a file is read: a start that plays nothing maps neither it nor the
// codecs it links.
struct Sndfile {
    decltype(&::sf_open_virtual) open_virtual;
    decltype(&::sf_close) close;
    decltype(&::sf_command) command;
    decltype(&::sf_seek) seek;
    decltype(&::sf_readf_float) readf_float;
};

// Null where libsndfile is missing.
const Sndfile* sndfile() {
    return SharedLibrary::tableOnce<Sndfile>(
        "libsndfile.so.1", "libsndfile", Log::Category::Engine, "", [](SharedLibrary& library, Sndfile& api) {
            return library.bind(api.open_virtual, "sf_open_virtual") && library.bind(api.close, "sf_close") &&
                   library.bind(api.command, "sf_command") && library.bind(api.seek, "sf_seek") &&
                   library.bind(api.readf_float, "sf_readf_float");
        });
}

// Only called once a file is open, which needs the library.
const Sndfile& sf() {
    return *sndfile();
}

// What libsndfile reads of a file: all of it from `origin` on. An MP3 behind an ID3v2 tag is read from
// its first frame, since mpg123 would otherwise read the whole tag, a picture or a hostile 100 MB title,
// on every opening.
struct Window {
    FileStream* stream = nullptr;
    std::int64_t origin = 0;
};

Window& windowOf(void* userData) {
    return *static_cast<Window*>(userData);
}

sf_count_t streamLength(void* userData) {
    const Window& window = windowOf(userData);
    return window.stream->getSize() - window.origin;
}

sf_count_t streamTell(void* userData) {
    const Window& window = windowOf(userData);
    const std::int64_t at = window.stream->tell();
    return at < 0 ? at : at - window.origin;
}

sf_count_t streamSeek(sf_count_t offset, int whence, void* userData) {
    const Window& window = windowOf(userData);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = streamTell(userData);
    } else if (whence == SEEK_END) {
        base = streamLength(userData);
    }
    if (base < 0 || (offset > 0 && base > std::numeric_limits<sf_count_t>::max() - window.origin - offset) ||
        base + offset < 0) {
        return -1;
    }
    const std::int64_t reached = window.stream->seek(window.origin + base + offset);
    return reached < 0 ? reached : reached - window.origin;
}

sf_count_t streamRead(void* destination, sf_count_t count, void* userData) {
    const sf_count_t got = windowOf(userData).stream->read(destination, count);
    return std::max<sf_count_t>(got, 0);
}

sf_count_t streamWrite(const void* /*source*/, sf_count_t /*count*/, void* /*userData*/) {
    return 0;
}

SF_VIRTUAL_IO streamIo{streamLength, streamSeek, streamRead, streamWrite, streamTell};

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf().close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// A header of unknown length (a cut Opus file, a streamed FLAC) is fine: a track ends where its audio
// does. A known length past 10^12 seconds is no real file's.
bool describable(const SF_INFO& info) {
    constexpr double longestSeconds = 1e12;
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames < 0) {
        return false;
    }
    return info.frames == SF_COUNT_MAX ||
           (static_cast<double>(info.frames) / info.samplerate < longestSeconds &&
            static_cast<std::uint64_t>(info.frames) <=
                std::numeric_limits<std::uint64_t>::max() / static_cast<std::uint64_t>(info.channels));
}

// Where a WAV file's sample data begins, found by walking its chunks; nothing when it has none.
std::optional<sf_count_t> wavDataOffset(FileStream& stream) {
    constexpr std::int64_t firstChunk = 12;
    constexpr std::int64_t chunkHeader = 8;
    std::array<unsigned char, chunkHeader> header{};
    for (std::int64_t at = firstChunk;
         stream.seek(at) == at && stream.read(header.data(), chunkHeader) == chunkHeader;) {
        if (std::memcmp(header.data(), "data", 4) == 0) {
            return at + chunkHeader;
        }
        const std::int64_t size =
            header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::int64_t>(header[7]) << 24;
        at += chunkHeader + size + (size % 2);
    }
    return std::nullopt;
}

// A WAV file written by a program that never came back to fill in its data size declares no samples,
// though it holds them: read it as raw samples from its data chunk to the end of the file.
SndfilePtr reopenUnsizedWav(Window& window, SF_INFO& info) {
    FileStream& stream = *window.stream;
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (info.frames != 0 || (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX)) {
        return nullptr;
    }
    std::optional<sf_count_t> offset = wavDataOffset(stream);
    if (!offset || *offset >= stream.getSize() || stream.seek(0) != 0) {
        return nullptr;
    }
    SF_INFO raw{};
    raw.samplerate = info.samplerate;
    raw.channels = info.channels;
    raw.format = SF_FORMAT_RAW | (info.format & SF_FORMAT_SUBMASK) | SF_ENDIAN_LITTLE;
    SndfilePtr file(sf().open_virtual(&streamIo, SFM_READ, &raw, &window));
    if (!file || sf().command(file.get(), SFC_SET_RAW_START_OFFSET, &*offset, sizeof(*offset)) != 0 ||
        sf().seek(file.get(), 0, SEEK_SET) != 0) {
        return nullptr;
    }
    info = raw;
    info.frames = SF_COUNT_MAX;
    return file;
}

// One MPEG audio frame's header, as its four bytes give it.
struct MpegFrame {
    unsigned sampleRate = 0;
    unsigned bitRate = 0;
    std::int64_t bytes = 0;
};

std::optional<MpegFrame> mpegFrame(const unsigned char* header) {
    if (header[0] != 0xFF) {
        return std::nullopt;
    }
    // Bit rates in kbit/s by index: MPEG-1 layers I, II, III, then MPEG-2 and 2.5 layer I, then II and III.
    static constexpr std::array<std::array<unsigned, 15>, 5> bitRates{{
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    }};
    static constexpr std::array<unsigned, 3> rates{44100, 48000, 32000};
    const unsigned version = (header[1] >> 3U) & 3U;
    const unsigned layer = (header[1] >> 1U) & 3U;
    const unsigned rateIndex = (header[2] >> 2U) & 3U;
    const unsigned bitRateIndex = header[2] >> 4U;
    if (header[0] != 0xFF || (header[1] & 0xE0U) != 0xE0 || version == 1 || layer == 0 || rateIndex == 3 ||
        bitRateIndex == 0 || bitRateIndex == 15) {
        return std::nullopt;
    }
    const bool mpeg1 = version == 3;
    const unsigned layerNumber = 4 - layer;
    const unsigned table = mpeg1 ? layerNumber - 1 : (layerNumber == 1 ? 3 : 4);
    MpegFrame frame;
    frame.sampleRate = rates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    frame.bitRate = bitRates[table][bitRateIndex] * 1000;
    const unsigned padding = (header[2] >> 1U) & 1U;
    const unsigned perSlot = layerNumber == 1 ? 12 : (layerNumber == 3 && !mpeg1 ? 72 : 144);
    frame.bytes =
        static_cast<std::int64_t>(perSlot * frame.bitRate / frame.sampleRate + padding) * (layerNumber == 1 ? 4 : 1);
    return frame;
}

// What an MP3 file holds around its frames: the ID3v2 tag before them, the first frame, whether that
// frame is an encoder's table of the stream (Xing, Info, VBRI), and the sample rate of its last frames.
struct MpegLayout {
    std::int64_t audioStart = 0;
    std::optional<MpegFrame> first;
    bool hasTable = false;
    std::optional<unsigned> lastRate;
};

// Bytes from `at`, read beside libsndfile's own reading: the stream's position is put back, and what
// its buffer already holds costs no system call.
std::vector<unsigned char> bytesAt(FileStream& stream, std::int64_t at, std::int64_t size) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    const std::int64_t position = stream.tell();
    const std::int64_t got = stream.seek(at) == at ? stream.read(bytes.data(), size) : 0;
    stream.seek(position);
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    return bytes;
}

std::int64_t id3v2End(FileStream& stream) {
    std::int64_t at = 0;
    // Taggers sometimes leave a tag before another one.
    for (int tags = 0; tags < 4; ++tags) {
        const std::vector<unsigned char> header = bytesAt(stream, at, 10);
        if (header.size() < 10 || std::memcmp(header.data(), "ID3", 3) != 0 ||
            ((header[6] | header[7] | header[8] | header[9]) & 0x80U) != 0) {
            break;
        }
        const std::int64_t size = header[6] << 21 | header[7] << 14 | header[8] << 7 | header[9];
        at += 10 + size + ((header[5] & 0x10U) != 0 ? 10 : 0);
    }
    return at;
}

// The header of a frame at `at` in `bytes` that the next frame's header follows, of the same rate.
std::optional<MpegFrame> chainedFrame(const std::vector<unsigned char>& bytes, std::size_t at) {
    const std::optional<MpegFrame> frame = at + 4 <= bytes.size() ? mpegFrame(bytes.data() + at) : std::nullopt;
    if (!frame) {
        return std::nullopt;
    }
    const std::size_t next = at + static_cast<std::size_t>(frame->bytes);
    const std::optional<MpegFrame> following = next + 4 <= bytes.size() ? mpegFrame(bytes.data() + next) : std::nullopt;
    return following && following->sampleRate == frame->sampleRate ? frame : std::nullopt;
}

MpegLayout mpegLayout(FileStream& stream) {
    // Two frames fit in either, at any bit rate, beside an ID3v1 or APE tag at the end.
    constexpr std::int64_t headWindow = 4 << 10;
    constexpr std::int64_t tailWindow = 8 << 10;
    MpegLayout layout;
    layout.audioStart = id3v2End(stream);
    std::vector<unsigned char> bytes = bytesAt(stream, layout.audioStart, headWindow);
    for (std::size_t at = 0; at + 4 <= bytes.size() && !layout.first; ++at) {
        if ((layout.first = chainedFrame(bytes, at))) {
            layout.audioStart += static_cast<std::int64_t>(at);
            const auto frameEnd =
                bytes.begin() +
                static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + static_cast<std::size_t>(layout.first->bytes)));
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(at);
            for (const std::string_view name : {"Xing", "Info", "VBRI"}) {
                layout.hasTable = layout.hasTable || std::search(begin, frameEnd, name.begin(), name.end()) != frameEnd;
            }
        }
    }
    bytes = bytesAt(stream, std::max(layout.audioStart, stream.getSize() - tailWindow), tailWindow);
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
        if (const std::optional<MpegFrame> frame = chainedFrame(bytes, at)) {
            layout.lastRate = frame->sampleRate;
            at += static_cast<std::size_t>(frame->bytes) - 1;
        }
    }
    return layout;
}

// libsndfile's MP3 decoder stops where the frames change rate, and without an encoder's table it guesses
// the length from the file's size, tags and pictures included. A file that ends at another rate than it
// starts is left to the FFmpeg module, which plays it whole at its first rate; a guessed length counts
// only the bytes after the ID3v2 tag.
bool fitMpegLength(FileStream& stream, SF_INFO& info) {
    const MpegLayout layout = mpegLayout(stream);
    if (layout.lastRate && *layout.lastRate != static_cast<unsigned>(info.samplerate)) {
        return false;
    }
    if (layout.first && !layout.hasTable && info.frames != SF_COUNT_MAX) {
        const std::int64_t audioBytes = stream.getSize() - layout.audioStart;
        const auto estimate = static_cast<sf_count_t>(static_cast<double>(audioBytes) * 8.0 * info.samplerate /
                                                      static_cast<double>(layout.first->bitRate));
        info.frames = std::min(info.frames, estimate);
    }
    return true;
}

SndfilePtr openStream(Window& window, SF_INFO& info) {
    info = SF_INFO{};
    if (sndfile() == nullptr) {
        return nullptr;
    }
    const std::int64_t tagged = id3v2End(*window.stream);
    // Two frames fit in it at any bit rate, as in the layout's own look at the head.
    constexpr std::int64_t firstFrames = 4 << 10;
    const std::vector<unsigned char> head = bytesAt(*window.stream, tagged, firstFrames);
    window.origin = tagged > 0 && chainedFrame(head, 0) ? tagged : 0;
    if (window.stream->seek(window.origin) != window.origin) {
        return nullptr;
    }
    SndfilePtr file(sf().open_virtual(&streamIo, SFM_READ, &info, &window));
    if (!file || !describable(info)) {
        return nullptr;
    }
    if (SndfilePtr unsized = reopenUnsizedWav(window, info)) {
        return unsized;
    }
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG && !fitMpegLength(*window.stream, info)) {
        return nullptr;
    }
    return file;
}

} // namespace

struct SndfileReader::Handle {
    // Where libsndfile reads through, for as long as it has the file open.
    Window window;
    SndfilePtr file;
    std::uint64_t channels = 1;
};

SndfileReader::SndfileReader() = default;

SndfileReader::~SndfileReader() = default;

bool SndfileReader::open(FileStream& stream, Info& info) {
    auto opened = std::make_unique<Handle>();
    opened->window.stream = &stream;
    SF_INFO sndInfo;
    opened->file = openStream(opened->window, sndInfo);
    if (!opened->file) {
        return false;
    }
    handle = std::move(opened);
    handle->channels = static_cast<std::uint64_t>(sndInfo.channels);
    info.channelCount = static_cast<unsigned>(sndInfo.channels);
    info.sampleRate = static_cast<unsigned>(sndInfo.samplerate);
    info.sampleCount =
        sndInfo.frames == SF_COUNT_MAX ? 0 : static_cast<std::uint64_t>(sndInfo.frames) * handle->channels;
    return true;
}

bool SndfileReader::seekTo(std::uint64_t sampleOffset) {
    return handle &&
           sf().seek(handle->file.get(), static_cast<sf_count_t>(sampleOffset / handle->channels), SEEK_SET) >= 0;
}

std::size_t SndfileReader::read(float* samples, std::size_t maxCount) {
    if (!handle) {
        return 0;
    }
    const std::uint64_t frames = maxCount / handle->channels;
    const sf_count_t framesRead = sf().readf_float(handle->file.get(), samples, static_cast<sf_count_t>(frames));
    if (framesRead <= 0) {
        return 0;
    }
    const auto count = static_cast<std::size_t>(framesRead) * static_cast<std::size_t>(handle->channels);
    // A damaged lossy frame may decode to NaN, which no output plays.
    std::replace_if(
        samples, samples + count, [](float sample) { return std::isnan(sample); }, 0.0F);
    return count;
}

} // namespace zalvo
