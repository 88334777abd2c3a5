#include "decode/Mp4Probe.h"

#include "decode/FileStream.h"
#include "decode/ITunesGapless.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zalvo {

namespace {

struct Box {
    std::array<char, 4> type{};
    std::int64_t payload = 0;
    std::int64_t end = 0;

    bool is(std::string_view name) const { return std::string_view(type.data(), type.size()) == name; }
};

// Boxes read from anywhere in the file: far more than any real file's tree holds.
constexpr int mostBoxes = 4096;
constexpr std::int64_t longestPayloadRead = 4096;

class BoxReader {
public:
    explicit BoxReader(FileStream& stream) : stream(stream) {}

    std::optional<Box> boxAt(std::int64_t at, std::int64_t limit) {
        std::array<unsigned char, 16> header{};
        if (++boxesRead > mostBoxes || limit - at < 8 || !readAt(at, header.data(), 8)) {
            return std::nullopt;
        }
        Box box;
        std::memcpy(box.type.data(), header.data() + 4, 4);
        auto size = static_cast<std::int64_t>(bigEndian(header.data(), 4));
        box.payload = at + 8;
        if (size == 1) {
            if (limit - at < 16 || !readAt(at + 8, header.data() + 8, 8)) {
                return std::nullopt;
            }
            const std::uint64_t large = bigEndian(header.data() + 8, 8);
            size = large > static_cast<std::uint64_t>(limit - at) ? -1 : static_cast<std::int64_t>(large);
            box.payload = at + 16;
        } else if (size == 0) {
            size = limit - at;
        }
        if (size < box.payload - at || size > limit - at) {
            return std::nullopt;
        }
        box.end = at + size;
        return box;
    }

    // The first child of `parent` (from `offset` into its payload) of the given type.
    std::optional<Box> child(const Box& parent, std::string_view type, std::int64_t offset = 0) {
        for (std::int64_t at = parent.payload + offset; at < parent.end;) {
            const std::optional<Box> box = boxAt(at, parent.end);
            if (!box) {
                return std::nullopt;
            }
            if (box->is(type)) {
                return box;
            }
            at = box->end;
        }
        return std::nullopt;
    }

    std::optional<Box> path(Box box, std::initializer_list<std::string_view> types) {
        for (const std::string_view type : types) {
            const std::optional<Box> found = child(box, type);
            if (!found) {
                return std::nullopt;
            }
            box = *found;
        }
        return box;
    }

    std::optional<std::vector<unsigned char>> payloadOf(const Box& box) {
        const std::int64_t size = box.end - box.payload;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min(size, longestPayloadRead)));
        if (size > longestPayloadRead || !readAt(box.payload, bytes.data(), static_cast<std::int64_t>(bytes.size()))) {
            return std::nullopt;
        }
        return bytes;
    }

    // The first `size` bytes of a payload, however long it is.
    std::optional<std::vector<unsigned char>> headOf(const Box& box, std::int64_t size) {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
        if (box.end - box.payload < size || !readAt(box.payload, bytes.data(), size)) {
            return std::nullopt;
        }
        return bytes;
    }

    static std::uint64_t bigEndian(const unsigned char* bytes, int width) {
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            value = value << 8 | bytes[i];
        }
        return value;
    }

private:
    bool readAt(std::int64_t at, unsigned char* data, std::int64_t size) {
        return stream.seek(at) == at && stream.read(data, size) == size;
    }

    FileStream& stream;
    int boxesRead = 0;
};

std::uint64_t field(const std::vector<unsigned char>& bytes, std::size_t at, int width) {
    return at + static_cast<std::size_t>(width) <= bytes.size() ? BoxReader::bigEndian(bytes.data() + at, width) : 0;
}

// value × to / from, to the nearest whole, as FFmpeg rescales; `to` and `from` are 32-bit timescales.
std::uint64_t rescale(std::uint64_t value, std::uint64_t to, std::uint64_t from) {
    return value / from * to + (value % from * to + from / 2) / from;
}

struct MediaHeader {
    std::uint64_t timescale = 0;
    std::uint64_t duration = 0;
};

std::optional<MediaHeader> timing(const std::vector<unsigned char>& header) {
    // Version 1 has 64-bit times and duration; version 0 32-bit ones.
    const bool wide = !header.empty() && header[0] == 1;
    const std::size_t timescaleAt = wide ? 20 : 12;
    MediaHeader found{field(header, timescaleAt, 4), field(header, timescaleAt + 4, wide ? 8 : 4)};
    if (found.timescale == 0 || header.size() < timescaleAt + (wide ? 12 : 8)) {
        return std::nullopt;
    }
    return found;
}

// AAC-LC's rate and channels from its decoder configuration (ISO 14496-1 descriptors), where no SBR or
// parametric stereo can hide behind it: those would make the decoder play another rate or layout.
std::optional<PcmFormat> aacFormat(const std::vector<unsigned char>& esds) {
    std::size_t at = 4;
    const auto descriptor = [&](unsigned char tag) -> std::optional<std::size_t> {
        if (at >= esds.size() || esds[at++] != tag) {
            return std::nullopt;
        }
        std::size_t length = 0;
        for (int i = 0; i < 4 && at < esds.size(); ++i) {
            const unsigned char byte = esds[at++];
            length = length << 7 | (byte & 0x7FU);
            if ((byte & 0x80U) == 0) {
                return length;
            }
        }
        return std::nullopt;
    };
    if (!descriptor(0x03) || at + 3 > esds.size()) {
        return std::nullopt;
    }
    const unsigned char flags = esds[at + 2];
    at += 3;
    if ((flags & 0x80U) != 0) {
        at += 2;
    }
    if ((flags & 0x40U) != 0) {
        at += 1 + (at < esds.size() ? esds[at] : 0U);
    }
    if ((flags & 0x20U) != 0) {
        at += 2;
    }
    constexpr unsigned char mpeg4Audio = 0x40;
    if (!descriptor(0x04) || at >= esds.size() || esds[at] != mpeg4Audio) {
        return std::nullopt;
    }
    at += 13;
    // Two bytes, or five whose extension says outright that no SBR follows (as FFmpeg's encoder writes).
    const std::optional<std::size_t> configSize = descriptor(0x05);
    const bool noSbr = configSize && *configSize == 5 && at + 5 <= esds.size() && esds[at + 2] == 0x56 &&
                       esds[at + 3] == 0xE5 && (esds[at + 4] & 0x80U) == 0;
    if (!configSize || (*configSize != 2 && !noSbr) || at + 2 > esds.size()) {
        return std::nullopt;
    }
    constexpr std::array<unsigned, 6> rates{96000, 88200, 64000, 48000, 44100, 32000};
    const unsigned objectType = esds[at] >> 3U;
    const unsigned rateIndex = (esds[at] & 0x07U) << 1U | esds[at + 1] >> 7U;
    const unsigned channelLayout = (esds[at + 1] >> 3U) & 0x0FU;
    constexpr unsigned lowComplexity = 2;
    if (objectType != lowComplexity || rateIndex >= rates.size() || channelLayout < 2 || channelLayout > 7) {
        return std::nullopt;
    }
    return PcmFormat{rates[rateIndex], channelLayout == 7 ? 8 : channelLayout};
}

// ALAC's rate and channels from its own configuration, as its decoder reads them; none for a frame
// length, a sample size or a channel count the decoder refuses.
std::optional<PcmFormat> alacFormat(const std::vector<unsigned char>& alac) {
    if (alac.size() != 28) {
        return std::nullopt;
    }
    constexpr std::uint64_t longestFrame = 4096ULL * 4096ULL;
    constexpr std::array<std::uint64_t, 4> sampleSizes{16, 20, 24, 32};
    const std::uint64_t frameLength = field(alac, 4, 4);
    const std::uint64_t sampleSize = field(alac, 9, 1);
    const auto channels = static_cast<unsigned>(field(alac, 13, 1));
    const auto rate = static_cast<unsigned>(field(alac, 24, 4));
    if (frameLength == 0 || frameLength > longestFrame ||
        std::find(sampleSizes.begin(), sampleSizes.end(), sampleSize) == sampleSizes.end() || channels == 0 ||
        channels > 8 || rate == 0) {
        return std::nullopt;
    }
    return PcmFormat{rate, channels};
}

// iTunes' gapless record, "iTunSMPB", as text; empty when the movie has none.
std::string iTunesRecord(BoxReader& reader, const Box& moov) {
    const std::optional<Box> meta = reader.path(moov, {"udta", "meta"});
    const std::optional<Box> list = meta ? reader.child(*meta, "ilst", 4) : std::nullopt;
    if (!list) {
        return {};
    }
    for (std::int64_t at = list->payload; at < list->end;) {
        const std::optional<Box> item = reader.boxAt(at, list->end);
        if (!item) {
            return {};
        }
        at = item->end;
        const std::optional<Box> name = item->is("----") ? reader.child(*item, "name") : std::nullopt;
        const std::optional<std::vector<unsigned char>> nameBytes = name ? reader.payloadOf(*name) : std::nullopt;
        if (!nameBytes || nameBytes->size() < 4 ||
            std::string_view(reinterpret_cast<const char*>(nameBytes->data()) + 4, nameBytes->size() - 4) !=
                "iTunSMPB") {
            continue;
        }
        const std::optional<Box> data = reader.child(*item, "data");
        std::optional<std::vector<unsigned char>> value = data ? reader.payloadOf(*data) : std::nullopt;
        if (!value || value->size() < 8) {
            return {};
        }
        return {value->begin() + 8, value->end()};
    }
    return {};
}

// The movie box, among the top-level boxes after `ftyp`.
std::optional<Box> movieBox(BoxReader& reader, std::int64_t from, std::int64_t size) {
    for (std::int64_t at = from; at < size;) {
        const std::optional<Box> box = reader.boxAt(at, size);
        if (!box || box->is("moov")) {
            return box;
        }
        at = box->end;
    }
    return std::nullopt;
}

// The movie's one sound track: none when it has none or several.
std::optional<Box> soundTrack(BoxReader& reader, const Box& moov) {
    std::optional<Box> sound;
    for (std::int64_t at = moov.payload; at < moov.end;) {
        const std::optional<Box> box = reader.boxAt(at, moov.end);
        if (!box) {
            return std::nullopt;
        }
        at = box->end;
        const std::optional<Box> handler = box->is("trak") ? reader.path(*box, {"mdia", "hdlr"}) : std::nullopt;
        const std::optional<std::vector<unsigned char>> hdlr = handler ? reader.payloadOf(*handler) : std::nullopt;
        if (hdlr && hdlr->size() >= 12 && std::memcmp(hdlr->data() + 8, "soun", 4) == 0) {
            if (sound) {
                return std::nullopt;
            }
            sound = box;
        }
    }
    return sound;
}

// The format of a sample description, for the codecs outlined here (AAC and ALAC); a version 0 sound
// description holds 28 bytes before its own boxes.
std::optional<PcmFormat> sampleFormat(BoxReader& reader, const Box& entry) {
    if (entry.is("mp4a")) {
        const std::optional<Box> esds = reader.child(entry, "esds", 28);
        const std::optional<std::vector<unsigned char>> bytes = esds ? reader.payloadOf(*esds) : std::nullopt;
        return bytes ? aacFormat(*bytes) : std::nullopt;
    }
    if (entry.is("alac")) {
        const std::optional<Box> config = reader.child(entry, "alac", 28);
        const std::optional<std::vector<unsigned char>> bytes = config ? reader.payloadOf(*config) : std::nullopt;
        return bytes ? alacFormat(*bytes) : std::nullopt;
    }
    return std::nullopt;
}

// The length the sample table gives, in media units: the sum of its sample durations; none when it
// holds no sample, or more runs of durations than a plain audio track.
std::optional<std::uint64_t> sampleTableLength(BoxReader& reader, const Box& table) {
    const std::optional<Box> sizes = reader.child(table, "stsz");
    // Version, flags, the one size shared by every sample (or zero), then the count of samples.
    const std::optional<std::vector<unsigned char>> stsz = sizes ? reader.headOf(*sizes, 12) : std::nullopt;
    const std::optional<Box> times = reader.child(table, "stts");
    const std::optional<std::vector<unsigned char>> stts = times ? reader.payloadOf(*times) : std::nullopt;
    if (!stsz || field(*stsz, 8, 4) == 0 || !stts) {
        return std::nullopt;
    }
    const std::uint64_t runs = field(*stts, 4, 4);
    if (runs == 0 || stts->size() < 8 + runs * 8) {
        return std::nullopt;
    }
    std::uint64_t total = 0;
    for (std::size_t run = 0; run < runs; ++run) {
        const std::uint64_t duration = field(*stts, 8 + run * 8, 4) * field(*stts, 12 + run * 8, 4);
        total = duration > INT64_MAX - total ? INT64_MAX : total + duration;
    }
    return total;
}

// The track's length in media units, as FFmpeg's demuxer bounds it: the media's, no longer than its samples
// last, and no longer than its one edit, which starts in the media and so skips the priming. None for an
// edit list of another kind.
std::optional<std::uint64_t> editedLength(BoxReader& reader, const Box& sound, const MediaHeader& media,
                                          const MediaHeader& movie, std::uint64_t samplesLength) {
    const std::uint64_t mediaLength = std::min(media.duration, samplesLength);
    const std::optional<Box> edits = reader.path(sound, {"edts", "elst"});
    if (!edits) {
        return mediaLength;
    }
    const std::optional<std::vector<unsigned char>> elst = reader.payloadOf(*edits);
    const bool wide = elst && !elst->empty() && (*elst)[0] == 1;
    if (!elst || field(*elst, 4, 4) != 1 || elst->size() < (wide ? 28U : 20U)) {
        return std::nullopt;
    }
    const std::uint64_t duration = field(*elst, 8, wide ? 8 : 4);
    const auto start = static_cast<std::int64_t>(field(*elst, wide ? 16 : 12, wide ? 8 : 4));
    if (duration == 0 || start < 0 || (!wide && start > INT32_MAX)) {
        return std::nullopt;
    }
    return std::min(mediaLength, rescale(duration, media.timescale, movie.timescale));
}

// The timing a movie or media header box holds.
std::optional<MediaHeader> headerTiming(BoxReader& reader, const std::optional<Box>& header) {
    const std::optional<std::vector<unsigned char>> payload = header ? reader.payloadOf(*header) : std::nullopt;
    return payload ? timing(*payload) : std::nullopt;
}

// The outline of the movie's sound track, timed by the movie's header.
std::optional<TrackOutline> soundOutline(BoxReader& reader, const Box& moov, const MediaHeader& movie,
                                         const Box& sound) {
    const std::optional<MediaHeader> media = headerTiming(reader, reader.path(sound, {"mdia", "mdhd"}));
    const std::optional<Box> table = reader.path(sound, {"mdia", "minf", "stbl"});
    const std::optional<Box> descriptions = table ? reader.child(*table, "stsd") : std::nullopt;
    // The first sample description, after its version, flags and count.
    const std::optional<Box> entry =
        descriptions ? reader.boxAt(descriptions->payload + 8, descriptions->end) : std::nullopt;
    const std::optional<PcmFormat> format = entry ? sampleFormat(reader, *entry) : std::nullopt;
    const std::optional<std::uint64_t> samplesLength = table ? sampleTableLength(reader, *table) : std::nullopt;
    if (!media || !format || !samplesLength) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> length = editedLength(reader, sound, *media, movie, *samplesLength);
    if (!length) {
        return std::nullopt;
    }
    const std::uint64_t frames = gaplessFrames(rescale(*length, format->sampleRate, media->timescale),
                                               format->sampleRate, iTunesRecord(reader, moov).c_str());
    if (frames == 0) {
        return std::nullopt;
    }
    return TrackOutline{*format, frames};
}

} // namespace

std::optional<TrackOutline> Mp4Probe::read(FileStream& stream) {
    BoxReader reader(stream);
    const std::int64_t size = stream.getSize();
    const std::optional<Box> first = reader.boxAt(0, size);
    if (!first || !first->is("ftyp")) {
        return std::nullopt;
    }
    const std::optional<Box> moov = movieBox(reader, first->end, size);
    const std::optional<MediaHeader> movie = moov ? headerTiming(reader, reader.child(*moov, "mvhd")) : std::nullopt;
    const std::optional<Box> sound = movie ? soundTrack(reader, *moov) : std::nullopt;
    if (!sound) {
        return std::nullopt;
    }
    return soundOutline(reader, *moov, *movie, *sound);
}

} // namespace zalvo
