#include "decode/FlacProbe.h"

#include "decode/FileStream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zalvo {

namespace {

constexpr unsigned vorbisComment = 4;
constexpr unsigned cueSheetBlock = 5;
// Real files hold a handful of blocks and comments of a few kilobytes; past these the file is passed
// as carrying none.
constexpr std::size_t mostBlocks = 64;
constexpr std::uint32_t mostCommentBytes = 1U << 20;

bool holdsCueSheetKey(std::string_view comments) {
    constexpr std::string_view key = "CUESHEET=";
    const auto* found = std::search(comments.begin(), comments.end(), key.begin(), key.end(), [](char a, char b) {
        return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
    });
    return found != comments.end();
}

} // namespace

bool FlacProbe::carriesCueSheet(FileStream& stream) {
    std::array<char, 4> magic{};
    if (stream.seek(0) != 0 || stream.read(magic.data(), 4) != 4 || std::memcmp(magic.data(), "fLaC", 4) != 0) {
        return false;
    }
    std::int64_t at = 4;
    for (std::size_t blocks = 0; blocks < mostBlocks; ++blocks) {
        std::array<unsigned char, 4> header{};
        if (stream.seek(at) != at || stream.read(header.data(), 4) != 4) {
            return false;
        }
        const unsigned type = header[0] & 0x7FU;
        const std::uint32_t length = (std::uint32_t{header[1]} << 16U) | (std::uint32_t{header[2]} << 8U) | header[3];
        if (type == cueSheetBlock) {
            return true;
        }
        if (type == vorbisComment && length <= mostCommentBytes) {
            std::string comments(length, '\0');
            if (stream.read(comments.data(), length) != length) {
                return false;
            }
            if (holdsCueSheetKey(comments)) {
                return true;
            }
        }
        if ((header[0] & 0x80U) != 0) {
            return false;
        }
        at += 4 + std::int64_t{length};
    }
    return false;
}

} // namespace zalvo
