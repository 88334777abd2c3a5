#pragma once

#include <span>
#include <string>
#include <string_view>

namespace zalvo {

// A track's path as the file system names it, in UTF-8. The paths of a folder's tracks are packed
// together: one block holds the folder's name once and the file names after it, and each path is a
// single pointer to its own name there, so that a long playlist pays a few bytes more than each name.
// A block is never written once built: paths in it are read from any thread without a lock.
class TrackPath final {
public:
    TrackPath() = default;
    // In a block of its own.
    explicit TrackPath(std::string_view utf8);
    TrackPath(const TrackPath&) = delete;
    TrackPath& operator=(const TrackPath&) = delete;
    TrackPath(TrackPath&& other) noexcept;
    TrackPath& operator=(TrackPath&& other) noexcept;
    ~TrackPath();

    std::string utf8() const;
    // An internet stream's URL rather than a file's path; builds nothing, for a check on every tick.
    bool isStream() const;
    // The path as the player shows and saves it: UTF-8 where it decodes, escaped bytes elsewhere.
    std::u16string text() const;

    // Moves each run of consecutive paths of one folder into one block. A block lives while any path in
    // it does, so a name stays until its folder's last path of the run goes.
    static void pack(std::span<TrackPath* const> paths);

private:
    class Block;

    // The path to a name just added to a block, holding the block.
    static TrackPath at(const char* name);
    const Block* block() const;
    std::string_view folder() const;
    std::string_view file() const { return name; }

    // NUL-terminated, inside its block, after the distance back to the block's start; null for no path.
    const char* name = nullptr;
};

} // namespace zalvo
