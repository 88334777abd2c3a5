#include "base/TextEncoding.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace zalvo {

namespace {

constexpr char32_t highSurrogateFirst = 0xD800;
constexpr char32_t lowSurrogateFirst = 0xDC00;
constexpr char32_t surrogateEnd = 0xE000;
constexpr char32_t lastCodePoint = 0x10FFFF;

bool isHighSurrogate(char32_t unit) {
    return unit >= highSurrogateFirst && unit < lowSurrogateFirst;
}
bool isLowSurrogate(char32_t unit) {
    return unit >= lowSurrogateFirst && unit < surrogateEnd;
}

// The escape of a byte from 0x80 up: ASCII always decodes.
constexpr char32_t escapeFirst = 0xDC80;
constexpr char32_t escapeEnd = 0xDD00;

bool isEscapedByte(char32_t unit) {
    return unit >= escapeFirst && unit < escapeEnd;
}

// The length of the valid UTF-8 sequence at the start of `bytes` and its code point; 0 when none is.
std::size_t decodeOne(std::string_view bytes, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1FU;
        smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0FU;
        smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07U;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3FU);
    }
    // Overlong forms, encoded surrogates and values past Unicode are not UTF-8.
    if (codePoint < smallest || codePoint > lastCodePoint ||
        (codePoint >= highSurrogateFirst && codePoint < surrogateEnd)) {
        return 0;
    }
    return length;
}

void appendUtf8(std::string& out, char32_t codePoint) {
    const auto byte = [&out](char32_t value) { out.push_back(static_cast<char>(static_cast<unsigned char>(value))); };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    out.push_back(static_cast<char16_t>(highSurrogateFirst + (offset >> 10)));
    out.push_back(static_cast<char16_t>(lowSurrogateFirst + (offset & 0x3FF)));
}

// Bytes 0x80 to 0x9F of Windows-1252; the five it leaves undefined map to the C1 controls, as Windows does.
constexpr std::array<char16_t, 32> windows1252High{0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t windows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80U] : static_cast<char16_t>(byte);
}

// Where the run of ASCII from `from` ends, and a copy of it at the end of `out`: names are mostly
// ASCII, and a run is copied at once rather than a character at a time.
template <typename Out, typename Text> std::size_t appendAsciiRun(Out& out, Text text, std::size_t from) {
    const auto begin = text.begin() + static_cast<std::ptrdiff_t>(from);
    const auto end = std::find_if(
        begin, text.end(), [](auto unit) { return static_cast<std::make_unsigned_t<decltype(unit)>>(unit) >= 0x80; });
    const auto length = static_cast<std::size_t>(end - begin);
    out.append(length, typename Out::value_type{});
    std::transform(begin, end, out.end() - static_cast<std::ptrdiff_t>(length),
                   [](auto unit) { return static_cast<typename Out::value_type>(unit); });
    return from + length;
}

// UTF-8 to UTF-16; each byte that starts no valid sequence goes to `invalid`, which may stop nothing:
// decoding goes on from the next byte.
template <typename Invalid> std::u16string decodeUtf8(std::string_view bytes, Invalid invalid) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        if (const std::size_t runEnd = appendAsciiRun(out, bytes, i); runEnd > i) {
            i = runEnd;
            continue;
        }
        char32_t codePoint = 0;
        const std::size_t length = decodeOne(bytes.substr(i), codePoint);
        if (length == 0) {
            invalid(out, static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        appendUtf16(out, codePoint);
        i += length;
    }
    return out;
}

} // namespace

std::optional<std::string> TextEncoding::toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (const std::size_t runEnd = appendAsciiRun(out, text, i); runEnd > i) {
            i = runEnd - 1;
            continue;
        }
        const char32_t unit = text[i];
        if (isEscapedByte(unit)) {
            out.push_back(static_cast<char>(static_cast<unsigned char>(unit - lowSurrogateFirst)));
            continue;
        }
        if (isLowSurrogate(unit)) {
            return std::nullopt;
        }
        if (!isHighSurrogate(unit)) {
            appendUtf8(out, unit);
            continue;
        }
        if (i + 1 == text.size() || !isLowSurrogate(text[i + 1])) {
            return std::nullopt;
        }
        const char32_t low = text[++i];
        appendUtf8(out, 0x10000 + ((unit - highSurrogateFirst) << 10) + (low - lowSurrogateFirst));
    }
    return out;
}

std::optional<std::u16string> TextEncoding::fromUtf8(std::string_view bytes) {
    bool valid = true;
    std::u16string out = decodeUtf8(bytes, [&valid](std::u16string&, unsigned char) { valid = false; });
    return valid ? std::optional<std::u16string>(std::move(out)) : std::nullopt;
}

std::u16string TextEncoding::fromFileSystem(std::string_view bytes) {
    return decodeUtf8(bytes, [](std::u16string& out, unsigned char byte) {
        out.push_back(static_cast<char16_t>(lowSurrogateFirst + byte));
    });
}

std::u16string TextEncoding::lowerAscii(std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& c : result) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return result;
}

std::u16string TextEncoding::readable(std::u16string_view text) {
    std::u16string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        // The second half of a surrogate pair is a character's, not an escaped byte.
        if (isHighSurrogate(out[i]) && i + 1 < out.size() && isLowSurrogate(out[i + 1])) {
            ++i;
        } else if (isEscapedByte(out[i])) {
            out[i] = windows1252(static_cast<unsigned char>(out[i] - lowSurrogateFirst));
        }
    }
    return out;
}

std::u16string TextEncoding::fromWindows1252(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        out.push_back(windows1252(static_cast<unsigned char>(byte)));
    }
    return out;
}

std::u16string TextEncoding::fromNarrow(std::string_view bytes) {
    if (auto decoded = fromUtf8(bytes)) {
        return *std::move(decoded);
    }
    return fromWindows1252(bytes);
}

} // namespace zalvo
