#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace zalvo {

// Where a track's cover picture can be read from, as a file for the desktop to show: the picture
// embedded in the track, written once into a cache folder, or else an image beside the track named
// cover, folder, front or album. The cache folder must be a real folder of the user's own, and in it
// the cache reads, touches and deletes only the files it named itself.
class CoverArt final {
public:
    // The cache keeps under this size, its least recently used covers going first.
    static constexpr std::uintmax_t cacheLimit = 50U << 20U;
    // Larger pictures, and data that is no image, are not covers.
    static constexpr std::uintmax_t pictureLimit = 20U << 20U;

    explicit CoverArt(std::filesystem::path cacheFolder) : cacheFolder(std::move(cacheFolder)) {}

    // $XDG_CACHE_HOME/zalvo/covers, or ~/.cache/zalvo/covers.
    static std::filesystem::path defaultCacheFolder();

    // The cover's file, or nothing when the track has none.
    std::optional<std::filesystem::path> locate(const std::u16string& trackPath) const;

private:
    std::optional<std::filesystem::path> cache(std::span<const char> picture) const;
    static std::optional<std::filesystem::path> besideTrack(const std::filesystem::path& track);

    std::filesystem::path cacheFolder;
};

} // namespace zalvo
