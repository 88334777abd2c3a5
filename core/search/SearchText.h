#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zalvo {

// Text as the search compares it: letters in lower case without their accents, and whatever is neither
// letter nor digit either a space between words or nothing, so that "Beyoncé – Déjà Vu" and "beyonce
// deja vu" meet.
// Letters of scripts it does not fold (CJK, Arabic…) are kept as they are.
class SearchText final {
public:
    SearchText() = delete;

    // Words separated by single spaces, with none before the first or after the last.
    static std::string fold(std::string_view utf8);
    // The folded words of a query, each once, at most `maxWords` of them.
    static std::vector<std::string> words(std::string_view utf8);

    static constexpr std::size_t maxWords = 64;
};

} // namespace zalvo
