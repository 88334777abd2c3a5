#include "playlist/FlacCueSheet.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace zalvo {

namespace {

enum BlockType : unsigned { StreamInfo = 0, VorbisComment = 4, CueSheetBlock = 5 };

// Far more than any real comment block or sheet; a larger block is passed over unread.
constexpr std::uint32_t mostBlockBytes = 1U << 20;
constexpr std::size_t mostBlocks = 1024;
constexpr unsigned mostTracks = 99;
constexpr std::uint64_t cdFramesPerSecond = 75;
// The lead-out's number in a CUESHEET block, for a CD and otherwise.
constexpr unsigned cdLeadOut = 170;
constexpr unsigned otherLeadOut = 255;

std::uint64_t bigEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (const char byte : bytes) {
        value = (value << 8U) | static_cast<unsigned char>(byte);
    }
    return value;
}

std::uint32_t littleEndian32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
        value = (value << 8U) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// The text of a CUESHEET comment, if the block holds one.
std::optional<std::string> cueSheetComment(std::string_view block) {
    if (block.size() < 4) {
        return std::nullopt;
    }
    const std::uint32_t vendor = littleEndian32(block);
    if (vendor > block.size() - 4 || block.size() - 4 - vendor < 4) {
        return std::nullopt;
    }
    block.remove_prefix(4 + vendor);
    std::uint32_t count = littleEndian32(block);
    block.remove_prefix(4);
    for (; count > 0 && block.size() >= 4; --count) {
        const std::uint32_t length = littleEndian32(block);
        if (length > block.size() - 4) {
            return std::nullopt;
        }
        const std::string_view comment = block.substr(4, length);
        block.remove_prefix(4 + length);
        constexpr std::string_view key = "CUESHEET=";
        if (comment.size() >= key.size() && std::equal(key.begin(), key.end(), comment.begin(), [](char a, char b) {
                return a == (b >= 'a' && b <= 'z' ? static_cast<char>(b - 'a' + 'A') : b);
            })) {
            return std::string(comment.substr(key.size()));
        }
    }
    return std::nullopt;
}

struct Indexes {
    std::optional<std::uint64_t> pregap;
    std::optional<std::uint64_t> first;
};

// A track's INDEX 00 and 01 in samples from the file's start, from its index points.
Indexes indexesOf(std::string_view points, std::uint64_t trackOffset) {
    constexpr std::size_t indexBytes = 8 + 1 + 3;
    Indexes found;
    for (; points.size() >= indexBytes; points.remove_prefix(indexBytes)) {
        const std::uint64_t at = trackOffset + bigEndian(points.substr(0, 8));
        const unsigned number = static_cast<unsigned char>(points[8]);
        if (number == 0) {
            found.pregap = at;
        } else if (number == 1) {
            found.first = at;
        }
    }
    return found;
}

// A CUESHEET block's tracks, their offsets in samples turned into CD frames at the file's rate.
std::optional<CueSheet> cueSheetBlock(std::string_view block, std::uint64_t rate) {
    // Catalogue number, lead-in, the CD flag and reserved bytes, then the track count.
    constexpr std::size_t headerBytes = 128 + 8 + 1 + 258;
    constexpr std::size_t trackBytes = 8 + 1 + 12 + 1 + 13 + 1;
    constexpr std::size_t indexBytes = 8 + 1 + 3;
    if (rate == 0 || block.size() < headerBytes + 1) {
        return std::nullopt;
    }
    unsigned count = static_cast<unsigned char>(block[headerBytes]);
    // A CD's 99 tracks and its lead-out.
    if (count > mostTracks + 1) {
        return std::nullopt;
    }
    block.remove_prefix(headerBytes + 1);
    CueSheet sheet;
    sheet.files.emplace_back();
    const auto cdFrames = [rate](std::uint64_t samples) {
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>((samples * cdFramesPerSecond + rate / 2) / rate, UINT32_MAX));
    };
    for (; count > 0; --count) {
        if (block.size() < trackBytes) {
            return std::nullopt;
        }
        const std::uint64_t offset = bigEndian(block.substr(0, 8));
        const unsigned number = static_cast<unsigned char>(block[8]);
        const unsigned indexCount = static_cast<unsigned char>(block[trackBytes - 1]);
        block.remove_prefix(trackBytes);
        if (block.size() < indexCount * indexBytes) {
            return std::nullopt;
        }
        const auto [pregap, first] = indexesOf(block.substr(0, indexCount * indexBytes), offset);
        block.remove_prefix(indexCount * indexBytes);
        if (number == cdLeadOut || number == otherLeadOut) {
            break;
        }
        if (!first) {
            return std::nullopt;
        }
        CueSheet::Track track;
        track.number = static_cast<int>(number);
        // Audio before the first track's INDEX 01 is kept when its pregap starts the file.
        track.begin = cdFrames(sheet.tracks.empty() && pregap == 0U ? 0 : *first);
        if (!sheet.tracks.empty()) {
            if (track.begin <= sheet.tracks.back().begin) {
                return std::nullopt;
            }
            sheet.tracks.back().end = cdFrames(*first);
        }
        sheet.tracks.push_back(track);
    }
    if (sheet.tracks.empty()) {
        return std::nullopt;
    }
    return sheet;
}

} // namespace

std::optional<CueSheet> FlacCueSheet::read(std::istream& input) {
    std::array<char, 4> magic{};
    if (!input.read(magic.data(), magic.size()) || std::string_view(magic.data(), magic.size()) != "fLaC") {
        return std::nullopt;
    }
    std::uint64_t rate = 0;
    std::optional<CueSheet> fromBlock;
    std::optional<std::string> fromComment;
    bool last = false;
    for (std::size_t blocks = 0; !last && blocks < mostBlocks; ++blocks) {
        std::array<char, 4> header{};
        if (!input.read(header.data(), header.size())) {
            return std::nullopt;
        }
        last = (static_cast<unsigned char>(header[0]) & 0x80U) != 0;
        const unsigned type = static_cast<unsigned char>(header[0]) & 0x7FU;
        const auto length = static_cast<std::uint32_t>(bigEndian(std::string_view(header.data() + 1, 3)));
        const bool wanted = type == StreamInfo || type == VorbisComment || type == CueSheetBlock;
        if (!wanted || length > mostBlockBytes) {
            input.seekg(length, std::ios::cur);
            continue;
        }
        std::string block(length, '\0');
        if (!input.read(block.data(), static_cast<std::streamsize>(length))) {
            return std::nullopt;
        }
        if (type == StreamInfo && length >= 13) {
            // 20 bits of sample rate after the block and frame sizes.
            rate = bigEndian(std::string_view(block.data() + 10, 3)) >> 4U;
        } else if (type == CueSheetBlock) {
            fromBlock = cueSheetBlock(block, rate);
        } else if (type == VorbisComment) {
            fromComment = cueSheetComment(block);
        }
    }
    // The comment's text names the tracks; the block only places them.
    if (fromComment) {
        std::variant<CueSheet, std::string> read = CueSheet::read(*fromComment);
        if (auto* sheet = std::get_if<CueSheet>(&read)) {
            std::erase_if(sheet->tracks, [](const CueSheet::Track& track) { return track.file != 0; });
            if (!sheet->tracks.empty()) {
                return std::move(*sheet);
            }
        }
    }
    return fromBlock;
}

} // namespace zalvo
