#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zalvo {

// Conversions between the player's UTF-16 paths and the byte strings of files and the file system.
// A file name need not be UTF-8: each byte that does not decode is kept as the lone surrogate
// U+DC80 to U+DCFF, which no valid text holds, so that the name comes back to the same bytes.
class TextEncoding final {
public:
    TextEncoding() = delete;

    // UTF-8 for the file system, with escaped bytes given back as they were; nothing for any other
    // lone surrogate.
    static std::optional<std::string> toUtf8(std::u16string_view text);
    // A name as the file system has it: UTF-8 where it decodes, escaped bytes elsewhere.
    static std::u16string fromFileSystem(std::string_view bytes);
    // For showing a name: escaped bytes read as Windows-1252, the likeliest meaning of an old name.
    static std::u16string readable(std::u16string_view text);
    // Nothing for bytes that are not valid UTF-8.
    static std::optional<std::u16string> fromUtf8(std::string_view bytes);
    static std::u16string fromWindows1252(std::string_view bytes);
    // Narrow strings of other writers: UTF-8 when valid, else Windows-1252.
    static std::u16string fromNarrow(std::string_view bytes);
    // A-Z lowered and nothing else, as file name endings and URL schemes compare.
    static std::u16string lowerAscii(std::u16string_view text);
};

} // namespace zalvo
