#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zalvo {

// A track's path as the file system names it, in UTF-8, kept as its folder and its file's name: the
// tracks of one folder can share the folder's part, so that a long playlist holds each folder once.
class TrackPath final {
public:
    TrackPath() = default;
    explicit TrackPath(std::string_view utf8);

    std::string utf8() const;
    // The path as the player shows and saves it: UTF-8 where it decodes, escaped bytes elsewhere.
    std::u16string text() const;
    // Takes the folder's part of `other` when both lie in the same folder.
    void shareFolderWith(const TrackPath& other);

private:
    // Up to the last separator, inclusive; empty for a bare file name.
    std::shared_ptr<const std::string> folder;
    // NUL-terminated: a path holding a NUL never opens, so never reaches here. A bare array rather than
    // a string: a million entries would pay a string's 32 bytes each for a length they do not need.
    std::unique_ptr<char[]> name; // NOLINT(modernize-avoid-c-arrays)
};

} // namespace zalvo
