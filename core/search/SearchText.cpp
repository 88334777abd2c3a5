#include "search/SearchText.h"

#include <algorithm>
#include <array>

namespace zalvo {

namespace {

// The Latin letters with marks, each range folding to the same plain letters.
struct Fold {
    char32_t first;
    char32_t last;
    std::string_view plain;
};

constexpr std::array latinFolds{
    Fold{0xC0, 0xC5, "a"},   Fold{0xC6, 0xC6, "ae"},   Fold{0xC7, 0xC7, "c"},   Fold{0xC8, 0xCB, "e"},
    Fold{0xCC, 0xCF, "i"},   Fold{0xD0, 0xD0, "d"},    Fold{0xD1, 0xD1, "n"},   Fold{0xD2, 0xD6, "o"},
    Fold{0xD8, 0xD8, "o"},   Fold{0xD9, 0xDC, "u"},    Fold{0xDD, 0xDD, "y"},   Fold{0xDE, 0xDE, "th"},
    Fold{0xDF, 0xDF, "ss"},  Fold{0xE0, 0xE5, "a"},    Fold{0xE6, 0xE6, "ae"},  Fold{0xE7, 0xE7, "c"},
    Fold{0xE8, 0xEB, "e"},   Fold{0xEC, 0xEF, "i"},    Fold{0xF0, 0xF0, "d"},   Fold{0xF1, 0xF1, "n"},
    Fold{0xF2, 0xF6, "o"},   Fold{0xF8, 0xF8, "o"},    Fold{0xF9, 0xFC, "u"},   Fold{0xFD, 0xFD, "y"},
    Fold{0xFE, 0xFE, "th"},  Fold{0xFF, 0xFF, "y"},    Fold{0x100, 0x105, "a"}, Fold{0x106, 0x10D, "c"},
    Fold{0x10E, 0x111, "d"}, Fold{0x112, 0x11B, "e"},  Fold{0x11C, 0x123, "g"}, Fold{0x124, 0x127, "h"},
    Fold{0x128, 0x131, "i"}, Fold{0x132, 0x133, "ij"}, Fold{0x134, 0x135, "j"}, Fold{0x136, 0x138, "k"},
    Fold{0x139, 0x142, "l"}, Fold{0x143, 0x14B, "n"},  Fold{0x14C, 0x151, "o"}, Fold{0x152, 0x153, "oe"},
    Fold{0x154, 0x159, "r"}, Fold{0x15A, 0x161, "s"},  Fold{0x162, 0x167, "t"}, Fold{0x168, 0x173, "u"},
    Fold{0x174, 0x175, "w"}, Fold{0x176, 0x178, "y"},  Fold{0x179, 0x17E, "z"}, Fold{0x17F, 0x17F, "s"},
    Fold{0x218, 0x219, "s"}, Fold{0x21A, 0x21B, "t"},
};

constexpr char32_t invalid = 0xFFFFFFFF;

// The code point at `at`, moving past it; an ill-formed sequence is one invalid byte.
char32_t decode(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) {
        return lead;
    }
    const std::size_t length = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        return invalid;
    }
    char32_t point = lead & (0x3FU >> length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0U) != 0x80) {
            return invalid;
        }
        point = (point << 6U) | (next & 0x3FU);
    }
    at += length;
    return point;
}

void encode(char32_t point, std::string& out) {
    if (point < 0x800) {
        out += static_cast<char>(0xC0U | (point >> 6U));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0U | (point >> 12U));
        out += static_cast<char>(0x80U | ((point >> 6U) & 0x3FU));
    } else {
        out += static_cast<char>(0xF0U | (point >> 18U));
        out += static_cast<char>(0x80U | ((point >> 12U) & 0x3FU));
        out += static_cast<char>(0x80U | ((point >> 6U) & 0x3FU));
    }
    out += static_cast<char>(0x80U | (point & 0x3FU));
}

// Spaces, slashes and control characters part words; a sign between two letters joins them, so that
// "AC/DC" is found as "acdc" and "ac dc", and "Don't" as "dont".
bool separates(char32_t point) {
    return point == invalid || point <= ' ' || point == '/' || point == '\\' || point == 0x7F ||
           (point >= 0x80 && point <= 0xA0) || (point >= 0x2000 && point <= 0x200B) || point == 0x2028 ||
           point == 0x2029 || point == 0x3000;
}

// Signs and marks: Latin-1's, the general punctuation, symbols and arrows, the ideographic and full-width
// signs, and the accents of decomposed letters.
bool isDropped(char32_t point) {
    const bool asciiSign = point < 0x80 && !(point >= '0' && point <= '9') && !(point >= 'a' && point <= 'z') &&
                           !(point >= 'A' && point <= 'Z');
    return asciiSign || (point >= 0xA1 && point <= 0xBF) || point == 0xD7 || point == 0xF7 ||
           (point >= 0x300 && point <= 0x36F) || (point >= 0x1AB0 && point <= 0x1AFF) ||
           (point >= 0x1DC0 && point <= 0x1DFF) || (point >= 0x2000 && point <= 0x2BFF) ||
           (point >= 0x3001 && point <= 0x303F) || (point >= 0xFF00 && point <= 0xFF0F);
}

char32_t lowerCase(char32_t point) {
    if ((point >= 0x391 && point <= 0x3A9) || (point >= 0x410 && point <= 0x42F)) {
        return point + 0x20;
    }
    if (point >= 0x400 && point <= 0x40F) {
        return point + 0x50;
    }
    return point;
}

} // namespace

std::string SearchText::fold(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    bool spaceDue = false;
    const auto append = [&](auto&& put) {
        if (spaceDue && !folded.empty()) {
            folded += ' ';
        }
        spaceDue = false;
        put();
    };
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t point = decode(utf8, at);
        if (separates(point)) {
            spaceDue = true;
        } else if (isDropped(point)) {
            continue;
        } else if (point < 0x80) {
            const char ascii = static_cast<char>(point >= 'A' && point <= 'Z' ? point - 'A' + 'a' : point);
            append([&] { folded += ascii; });
        } else if (const auto* latin = std::find_if(latinFolds.begin(), latinFolds.end(),
                                                    [point](const Fold& fold) { return point <= fold.last; });
                   latin != latinFolds.end() && point >= latin->first) {
            append([&] { folded += latin->plain; });
        } else {
            append([&] { encode(lowerCase(point), folded); });
        }
    }
    return folded;
}

std::vector<std::string> SearchText::words(std::string_view utf8) {
    const std::string folded = fold(utf8);
    std::vector<std::string> found;
    for (std::size_t start = 0; start < folded.size() && found.size() < maxWords;) {
        const std::size_t end = std::min(folded.find(' ', start), folded.size());
        std::string word = folded.substr(start, end - start);
        if (std::find(found.begin(), found.end(), word) == found.end()) {
            found.push_back(std::move(word));
        }
        start = end + 1;
    }
    return found;
}

} // namespace zalvo
