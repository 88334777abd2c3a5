#include "base/StreamUrl.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zalvo {

namespace {

template <typename Char> bool startsWithScheme(std::basic_string_view<Char> text) {
    constexpr std::array<std::string_view, 2> schemes{"http://", "https://"};
    return std::ranges::any_of(schemes, [text](std::string_view scheme) {
        // A host follows the scheme: "http://" alone, or "http:///x", names nothing.
        return text.size() > scheme.size() && text[scheme.size()] != Char('/') &&
               std::equal(scheme.begin(), scheme.end(), text.begin(), [](char wanted, Char given) {
                   return given < 0x80 && std::tolower(static_cast<unsigned char>(given)) == wanted;
               });
    });
}

} // namespace

bool StreamUrl::isStream(std::string_view text) {
    return startsWithScheme(text);
}

bool StreamUrl::isStream(std::u16string_view text) {
    return startsWithScheme(text);
}

} // namespace zalvo
