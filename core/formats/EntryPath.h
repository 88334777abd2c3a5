#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zalvo {

// Turns an entry as a playlist file writes it (a path, relative or absolute, or a URI) into a local path,
// and back.
class EntryPath final {
public:
    EntryPath() = delete;

    // The longest path the system takes, in bytes (so in UTF-16 code units too): a longer entry names no
    // file, and reading it would cost as much memory as it claims.
    static constexpr std::size_t longestPath = 4096;

    // A path or a file:// URI, relative to `folder`, or an http(s):// stream's URL as it stands; nothing for
    // another scheme or an empty entry. With
    // `backslashes`, a path that names no file as written is tried again with `\` as the separator.
    static std::optional<std::u16string> fromText(std::u16string_view entry, std::u16string_view folder,
                                                  bool backslashes);
    // A URI reference resolved against an absolute URI `base`; nothing unless it lands on a local file or
    // an internet stream.
    static std::optional<std::u16string> fromUri(std::string_view reference, std::string_view base);
    // An absolute URI from a reference and the absolute URI it is relative to.
    static std::string resolveUri(std::string_view base, std::string_view reference);
    // The file:// URI of a folder, ending with a slash, as the base of its playlist's entries.
    static std::string folderUri(std::u16string_view folder);

    // How a text playlist names a track, in UTF-8, so that fromText reads it back: relative to `folder`
    // when the track sits below it, absolute otherwise, and a file:// URI when a plain line would be
    // misread; a stream's URL as it stands. Nothing for a path that is not valid UTF-16.
    static std::optional<std::string> forText(std::u16string_view path, std::u16string_view folder);
    // The same as a URI reference, relative or file://, for fromUri with folderUri(folder) as base.
    static std::optional<std::string> forUri(std::u16string_view path, std::u16string_view folder);
    // Bytes with every character that is not plain in a URI path percent-encoded.
    static std::string percentEncode(std::string_view bytes);
};

} // namespace zalvo
