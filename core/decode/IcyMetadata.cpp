#include "decode/IcyMetadata.h"

#include "base/TextEncoding.h"

namespace zalvo {

namespace {

// Cut at a character's start, never inside one.
std::string cutToLongest(std::string text) {
    if (text.size() <= IcyMetadata::longestTitle) {
        return text;
    }
    std::size_t end = IcyMetadata::longestTitle;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        --end;
    }
    text.resize(end);
    return text;
}

} // namespace

std::string IcyMetadata::text(std::string_view bytes) {
    return TextEncoding::toUtf8(TextEncoding::fromNarrow(bytes)).value_or(std::string());
}

std::optional<IcyMetadata::Title> IcyMetadata::streamTitle(std::string_view block) {
    constexpr std::string_view key = "StreamTitle='";
    const std::size_t start = block.find(key);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = block.substr(start + key.size());
    // A title may hold an apostrophe: the value ends at the quote that closes the field.
    const std::size_t end = value.find("';");
    value = value.substr(0, end != std::string_view::npos ? end : value.find_last_of('\''));
    // The block is padded with NULs to its size.
    value = value.substr(0, value.find('\0'));
    const std::string title = cutToLongest(text(value));
    constexpr std::string_view separator = " - ";
    const std::size_t split = title.find(separator);
    if (split == std::string::npos || split == 0 || split + separator.size() == title.size()) {
        return Title{{}, title};
    }
    return Title{title.substr(0, split), title.substr(split + separator.size())};
}

} // namespace zalvo
