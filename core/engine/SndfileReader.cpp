#include "SndfileReader.h"

#include "FileStream.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

namespace {

FileStream& streamOf(void* userData) {
    return *static_cast<FileStream*>(userData);
}

sf_count_t streamLength(void* userData) {
    return streamOf(userData).getSize();
}

sf_count_t streamSeek(sf_count_t offset, int whence, void* userData) {
    FileStream& stream = streamOf(userData);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = stream.tell();
    } else if (whence == SEEK_END) {
        base = stream.getSize();
    }
    if (base < 0 || (offset > 0 && base > std::numeric_limits<sf_count_t>::max() - offset) || base + offset < 0) {
        return -1;
    }
    return stream.seek(base + offset);
}

sf_count_t streamRead(void* destination, sf_count_t count, void* userData) {
    const sf_count_t got = streamOf(userData).read(destination, count);
    return std::max<sf_count_t>(got, 0);
}

sf_count_t streamWrite(const void* /*source*/, sf_count_t /*count*/, void* /*userData*/) {
    return 0;
}

sf_count_t streamTell(void* userData) {
    return streamOf(userData).tell();
}

SF_VIRTUAL_IO streamIo{streamLength, streamSeek, streamRead, streamWrite, streamTell};

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
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
SndfilePtr reopenUnsizedWav(FileStream& stream, SF_INFO& info) {
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
    SndfilePtr file(sf_open_virtual(&streamIo, SFM_READ, &raw, &stream));
    if (!file || sf_command(file.get(), SFC_SET_RAW_START_OFFSET, &*offset, sizeof(*offset)) != 0 ||
        sf_seek(file.get(), 0, SEEK_SET) != 0) {
        return nullptr;
    }
    info = raw;
    info.frames = SF_COUNT_MAX;
    return file;
}

SndfilePtr openStream(FileStream& stream, SF_INFO& info) {
    info = SF_INFO{};
    SndfilePtr file(sf_open_virtual(&streamIo, SFM_READ, &info, &stream));
    if (!file || !describable(info)) {
        return nullptr;
    }
    if (SndfilePtr unsized = reopenUnsizedWav(stream, info)) {
        return unsized;
    }
    return file;
}

} // namespace

struct SndfileReader::Handle {
    SndfilePtr file;
    std::uint64_t channels = 1;
};

SndfileReader::SndfileReader() = default;

SndfileReader::~SndfileReader() = default;

bool SndfileReader::open(FileStream& stream, Info& info) {
    SF_INFO sndInfo;
    SndfilePtr file = openStream(stream, sndInfo);
    if (!file) {
        return false;
    }
    handle = std::make_unique<Handle>();
    handle->file = std::move(file);
    handle->channels = static_cast<std::uint64_t>(sndInfo.channels);
    info.channelCount = static_cast<unsigned>(sndInfo.channels);
    info.sampleRate = static_cast<unsigned>(sndInfo.samplerate);
    info.sampleCount =
        sndInfo.frames == SF_COUNT_MAX ? 0 : static_cast<std::uint64_t>(sndInfo.frames) * handle->channels;
    return true;
}

bool SndfileReader::seekTo(std::uint64_t sampleOffset) {
    return handle &&
           sf_seek(handle->file.get(), static_cast<sf_count_t>(sampleOffset / handle->channels), SEEK_SET) >= 0;
}

std::size_t SndfileReader::read(float* samples, std::size_t maxCount) {
    if (!handle) {
        return 0;
    }
    const std::uint64_t frames = maxCount / handle->channels;
    const sf_count_t framesRead = sf_readf_float(handle->file.get(), samples, static_cast<sf_count_t>(frames));
    if (framesRead <= 0) {
        return 0;
    }
    const auto count = static_cast<std::size_t>(framesRead) * static_cast<std::size_t>(handle->channels);
    // A damaged lossy frame may decode to NaN, which no output plays.
    std::replace_if(
        samples, samples + count, [](float sample) { return std::isnan(sample); }, 0.0F);
    return count;
}
