#include "TagText.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <taglib/tstring.h>

namespace zalvo {

namespace {

constexpr char32_t replacement = 0xFFFD;

// Appends one code point unless it would take the text past `limit`; false once the text is full.
bool append(std::string& text, char32_t code, std::size_t limit) {
    std::array<char, 4> encoded{};
    std::size_t length = 0;
    if (code < 0x80) {
        encoded[length++] = static_cast<char>(code);
    } else if (code < 0x800) {
        encoded[length++] = static_cast<char>(0xC0U | (code >> 6U));
        encoded[length++] = static_cast<char>(0x80U | (code & 0x3FU));
    } else if (code < 0x10000) {
        encoded[length++] = static_cast<char>(0xE0U | (code >> 12U));
        encoded[length++] = static_cast<char>(0x80U | ((code >> 6U) & 0x3FU));
        encoded[length++] = static_cast<char>(0x80U | (code & 0x3FU));
    } else {
        encoded[length++] = static_cast<char>(0xF0U | (code >> 18U));
        encoded[length++] = static_cast<char>(0x80U | ((code >> 12U) & 0x3FU));
        encoded[length++] = static_cast<char>(0x80U | ((code >> 6U) & 0x3FU));
        encoded[length++] = static_cast<char>(0x80U | (code & 0x3FU));
    }
    if (text.size() + length > limit) {
        return false;
    }
    text.append(encoded.data(), length);
    return true;
}

bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

struct Decoded {
    char32_t code = replacement;
    // The bytes taken: the whole sequence, or else the longest start of one, which the replacement stands for.
    std::size_t length = 1;
};

// The character at the start of `bytes`, or a replacement for a sequence that is not well formed
// (overlong forms, surrogates and code points past U+10FFFF included), by the Unicode standard's table
// of well-formed sequences.
Decoded decodeOne(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t index) { return static_cast<unsigned char>(bytes[index]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    char32_t code = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead < 0x80) {
        return {lead, 1};
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0FU;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07U;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {};
    }
    for (std::size_t index = 1; index < length; ++index) {
        if (index == bytes.size() || byte(index) < low || byte(index) > high) {
            return {replacement, index};
        }
        low = 0x80;
        high = 0xBF;
        code = (code << 6U) | (byte(index) & 0x3FU);
    }
    return {code, length};
}

} // namespace

std::string TagText::fromTagLib(const TagLib::String& text, std::size_t limit) {
    std::string utf8;
    utf8.reserve(std::min(static_cast<std::size_t>(text.size()), limit));
    for (auto unit = text.begin(); unit != text.end(); ++unit) {
        auto code = static_cast<char32_t>(*unit);
        if (isHighSurrogate(code) && std::next(unit) != text.end() &&
            isLowSurrogate(static_cast<char32_t>(*std::next(unit)))) {
            ++unit;
            code = 0x10000 + ((code - 0xD800) << 10U) + (static_cast<char32_t>(*unit) - 0xDC00);
        } else if (isHighSurrogate(code) || isLowSurrogate(code) || code > 0x10FFFF) {
            code = replacement;
        }
        if (!append(utf8, code, limit)) {
            break;
        }
    }
    return utf8;
}

std::string TagText::fromUtf8(std::string_view bytes, std::size_t limit) {
    std::string utf8;
    utf8.reserve(std::min(bytes.size(), limit));
    while (!bytes.empty()) {
        const Decoded decoded = decodeOne(bytes);
        if (!append(utf8, decoded.code, limit)) {
            break;
        }
        bytes.remove_prefix(decoded.length);
    }
    return utf8;
}

} // namespace zalvo
