#include "RawXiphComment.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <taglib/flacfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/vorbisfile.h>

namespace zalvo {

namespace {

constexpr unsigned vorbisCommentBlock = 4;
constexpr unsigned lastBlockFlag = 0x80;
constexpr unsigned blockTypeMask = 0x7F;
constexpr int blockHeaderSize = 4;
// FLAC's metadata comes before the audio; a file with more blocks than this is damaged.
constexpr int blockLimit = 1024;
// Ogg FLAC keeps one metadata block a packet, after the stream's first.
constexpr unsigned oggPacketLimit = 64;

unsigned byteAt(const TagLib::ByteVector& data, unsigned index) {
    return static_cast<unsigned char>(data[static_cast<int>(index)]);
}

// Where the FLAC stream starts: after an ID3v2 tag that some writers put in front.
long flacStart(TagLib::File& file) {
    constexpr unsigned id3HeaderSize = 10;
    constexpr unsigned footerFlag = 0x10;
    file.seek(0);
    const TagLib::ByteVector header = file.readBlock(id3HeaderSize);
    long start = 0;
    if (header.size() == id3HeaderSize && header.startsWith("ID3")) {
        // The tag's size is written in four bytes of seven bits each.
        unsigned long size = 0;
        for (unsigned index = 6; index < id3HeaderSize; ++index) {
            size = (size << 7U) | (byteAt(header, index) & 0x7FU);
        }
        start = static_cast<long>(size + id3HeaderSize + ((byteAt(header, 5) & footerFlag) != 0 ? id3HeaderSize : 0));
    }
    return file.find("fLaC", start);
}

TagLib::ByteVector flacComment(TagLib::File& file) {
    long position = flacStart(file);
    if (position < 0) {
        return {};
    }
    position += 4;
    for (int block = 0; block < blockLimit && position < file.length(); ++block) {
        file.seek(position);
        const TagLib::ByteVector header = file.readBlock(blockHeaderSize);
        if (header.size() != blockHeaderSize) {
            return {};
        }
        const unsigned long length = header.toUInt(1U, 3U, true);
        if ((byteAt(header, 0) & blockTypeMask) == vorbisCommentBlock) {
            return file.readBlock(length);
        }
        if ((byteAt(header, 0) & lastBlockFlag) != 0) {
            return {};
        }
        position += blockHeaderSize + static_cast<long>(length);
    }
    return {};
}

TagLib::ByteVector oggFlacComment(TagLib::Ogg::File& file) {
    for (unsigned index = 1; index < oggPacketLimit; ++index) {
        const TagLib::ByteVector packet = file.packet(index);
        if (packet.size() < blockHeaderSize) {
            return {};
        }
        if ((byteAt(packet, 0) & blockTypeMask) == vorbisCommentBlock) {
            return packet.mid(blockHeaderSize);
        }
        if ((byteAt(packet, 0) & lastBlockFlag) != 0) {
            return {};
        }
    }
    return {};
}

// The comment's bytes from its vendor string on, as each format frames them.
TagLib::ByteVector commentOf(TagLib::File& file) {
    if (dynamic_cast<TagLib::FLAC::File*>(&file) != nullptr) {
        return flacComment(file);
    }
    if (auto* flac = dynamic_cast<TagLib::Ogg::FLAC::File*>(&file)) {
        return oggFlacComment(*flac);
    }
    const auto withPrefix = [](TagLib::Ogg::File& ogg, const char* prefix) {
        const TagLib::ByteVector packet = ogg.packet(1);
        const TagLib::ByteVector expected(prefix);
        return packet.startsWith(expected) ? packet.mid(expected.size()) : TagLib::ByteVector();
    };
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(&file)) {
        return withPrefix(*vorbis, "\x03vorbis");
    }
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(&file)) {
        return withPrefix(*opus, "OpusTags");
    }
    if (auto* speex = dynamic_cast<TagLib::Ogg::Speex::File*>(&file)) {
        return speex->packet(1);
    }
    return {};
}

} // namespace

std::vector<std::pair<std::string, std::string>> RawXiphComment::fields(TagLib::File& file,
                                                                        std::span<const std::string_view> names) {
    const TagLib::ByteVector comment = commentOf(file);
    std::string_view data(comment.data(), comment.size());
    // Lengths and the count are 32 bits little-endian.
    const auto number = [&data]() -> std::optional<std::uint32_t> {
        if (data.size() < 4) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (std::size_t index = 4; index-- > 0;) {
            value = (value << 8U) | static_cast<unsigned char>(data[index]);
        }
        data.remove_prefix(4);
        return value;
    };
    const auto text = [&data, &number]() -> std::optional<std::string_view> {
        const std::optional<std::uint32_t> length = number();
        if (!length || data.size() < *length) {
            return std::nullopt;
        }
        const std::string_view field = data.substr(0, *length);
        data.remove_prefix(*length);
        return field;
    };
    std::vector<std::pair<std::string, std::string>> fields;
    const std::optional<std::string_view> vendor = text();
    const std::optional<std::uint32_t> count = number();
    if (!vendor || !count) {
        return fields;
    }
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::optional<std::string_view> field = text();
        if (!field) {
            break;
        }
        const std::size_t separator = field->find('=');
        if (separator == 0 || separator == std::string_view::npos) {
            continue;
        }
        std::string name(field->substr(0, separator));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            fields.emplace_back(std::move(name), field->substr(separator + 1));
        }
    }
    return fields;
}

} // namespace zalvo
