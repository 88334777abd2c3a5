#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions between the player's UTF-16 paths and the byte strings of files and the file system.
class TextEncoding final {
public:
    TextEncoding() = delete;

    // UTF-8 for the file system; nothing for invalid UTF-16 (a lone surrogate).
    static std::optional<std::string> toUtf8(std::u16string_view text);
    // Nothing for bytes that are not valid UTF-8.
    static std::optional<std::u16string> fromUtf8(std::string_view bytes);
    static std::u16string fromWindows1252(std::string_view bytes);
    // Narrow strings of other writers: UTF-8 when valid, else Windows-1252.
    static std::u16string fromNarrow(std::string_view bytes);
};
