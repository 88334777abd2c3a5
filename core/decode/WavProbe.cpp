#include "decode/WavProbe.h"

#include "decode/FileStream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

namespace zalvo {

namespace {

constexpr std::uint16_t integerSamples = 1;
constexpr std::uint16_t floatSamples = 3;
constexpr std::uint16_t extensible = 0xFFFE;
// The GUID of an extensible format, after its first two bytes (which hold the plain format's tag).
constexpr std::array<unsigned char, 14> extensibleGuidTail{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Chunks a plain file may hold before its samples; past these, libsndfile is asked.
constexpr int chunksLookedAt = 16;

std::uint16_t u16At(std::span<const unsigned char> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t u32At(std::span<const unsigned char> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(u16At(bytes, at)) | static_cast<std::uint32_t>(u16At(bytes, at + 2)) << 16;
}

template <std::size_t N> bool readExactly(FileStream& stream, std::array<unsigned char, N>& bytes) {
    return stream.read(bytes.data(), N) == static_cast<std::int64_t>(N);
}

struct Layout {
    PcmFormat format;
    std::uint32_t frameBytes = 0;
};

// Integer samples of whole bytes or float samples, each frame as wide as its samples: what libsndfile
// reads without guessing.
std::optional<Layout> layoutOf(std::span<const unsigned char> fmt) {
    if (fmt.size() < 16) {
        return std::nullopt;
    }
    std::uint16_t tag = u16At(fmt, 0);
    const unsigned channels = u16At(fmt, 2);
    const std::uint32_t rate = u32At(fmt, 4);
    const std::uint32_t frameBytes = u16At(fmt, 12);
    const unsigned bits = u16At(fmt, 14);
    if (tag == extensible) {
        if (fmt.size() < 40 || u16At(fmt, 16) < 22 ||
            std::memcmp(fmt.data() + 26, extensibleGuidTail.data(), extensibleGuidTail.size()) != 0) {
            return std::nullopt;
        }
        tag = u16At(fmt, 24);
    }
    const bool plain = (tag == integerSamples && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) ||
                       (tag == floatSamples && (bits == 32 || bits == 64));
    if (!plain || channels == 0 || rate == 0 || frameBytes != channels * bits / 8) {
        return std::nullopt;
    }
    return Layout{{rate, channels}, frameBytes};
}

} // namespace

std::optional<TrackOutline> WavProbe::read(FileStream& stream) {
    std::array<unsigned char, 12> riff{};
    if (!readExactly(stream, riff) || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    std::optional<Layout> layout;
    for (int chunk = 0; chunk < chunksLookedAt; ++chunk) {
        std::array<unsigned char, 8> head{};
        if (!readExactly(stream, head)) {
            return std::nullopt;
        }
        const std::uint32_t size = u32At(head, 4);
        const std::int64_t body = stream.tell();
        if (std::memcmp(head.data(), "fmt ", 4) == 0) {
            std::array<unsigned char, 40> fmt{};
            const std::int64_t got = stream.read(fmt.data(), std::min<std::int64_t>(size, fmt.size()));
            if (layout || got != std::min<std::int64_t>(size, fmt.size())) {
                return std::nullopt;
            }
            layout = layoutOf(std::span(fmt).first(static_cast<std::size_t>(got)));
            if (!layout) {
                return std::nullopt;
            }
        } else if (std::memcmp(head.data(), "data", 4) == 0) {
            // A file cut short, or streamed with no size written, is left to libsndfile's own rules.
            if (!layout || size == 0 || size > stream.getSize() - body) {
                return std::nullopt;
            }
            const std::uint64_t frames = size / layout->frameBytes;
            if (frames == 0) {
                return std::nullopt;
            }
            return TrackOutline{layout->format, frames};
        }
        // An odd chunk's padding is read differently by different writers: libsndfile judges those.
        if (size % 2 != 0 || stream.seek(body + size) < 0) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace zalvo
