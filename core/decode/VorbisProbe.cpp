#include "decode/VorbisProbe.h"

#include "decode/FileStream.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vorbis/vorbisfile.h>

namespace zalvo {

namespace {

FileStream& streamOf(void* source) {
    return *static_cast<FileStream*>(source);
}

std::size_t readSource(void* data, std::size_t size, std::size_t count, void* source) {
    if (size == 0) {
        return 0;
    }
    const std::int64_t got = streamOf(source).read(data, static_cast<std::int64_t>(size * count));
    return got > 0 ? static_cast<std::size_t>(got) / size : 0;
}

int seekSource(void* source, ogg_int64_t offset, int whence) {
    FileStream& stream = streamOf(source);
    ogg_int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = stream.tell();
    } else if (whence == SEEK_END) {
        base = stream.getSize();
    }
    return base >= 0 && stream.seek(base + offset) >= 0 ? 0 : -1;
}

long tellSource(void* source) {
    return static_cast<long>(streamOf(source).tell());
}

// The stream stays its owner's: vorbisfile is given no close function.
constexpr ov_callbacks callbacks{readSource, seekSource, nullptr, tellSource};

struct VorbisCloser {
    void operator()(OggVorbis_File* file) const { ov_clear(file); }
};

bool startsAsOgg(FileStream& stream) {
    std::array<char, 4> magic{};
    const bool ogg =
        stream.read(magic.data(), magic.size()) == magic.size() && std::memcmp(magic.data(), "OggS", 4) == 0;
    return stream.seek(0) == 0 && ogg;
}

} // namespace

std::optional<TrackOutline> VorbisProbe::read(FileStream& stream) {
    if (!startsAsOgg(stream)) {
        return std::nullopt;
    }
    OggVorbis_File file{};
    if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<OggVorbis_File, VorbisCloser> opened(&file);
    // Chained streams may change format from one link to the next: the decoder judges those.
    const vorbis_info* info = ov_info(&file, -1);
    const ogg_int64_t frames = ov_pcm_total(&file, -1);
    if (ov_streams(&file) != 1 || info == nullptr || info->rate <= 0 || info->channels <= 0 || frames <= 0) {
        return std::nullopt;
    }
    return TrackOutline{{static_cast<unsigned>(info->rate), static_cast<unsigned>(info->channels)},
                        static_cast<std::uint64_t>(frames)};
}

} // namespace zalvo
