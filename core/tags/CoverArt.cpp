#include "CoverArt.h"

#include "EmbeddedCover.h"
#include "TagFile.h"
#include "TextEncoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A name that depends on the picture's bytes alone, so that one cover shared by an album's tracks is
// written once. FNV-1a: fast, stable from run to run, and collisions only show another cover.
std::string contentName(std::span<const char> data) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char byte : data) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ULL;
    }
    std::array<char, 17> text{};
    std::snprintf(text.data(), text.size(), "%016llx", static_cast<unsigned long long>(hash));
    return {text.data(), 16};
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool readHead(const fs::path& file, std::array<char, 12>& head) {
    std::ifstream in(file, std::ios::binary);
    return static_cast<bool>(in.read(head.data(), static_cast<std::streamsize>(head.size())));
}

// The file extension of an image format, with its dot; nothing for data that is no image.
std::optional<std::string> imageExtension(std::span<const char> data) {
    const auto starts = [&data](std::string_view magic, std::size_t offset = 0) {
        return data.size() >= offset + magic.size() &&
               std::memcmp(data.data() + offset, magic.data(), magic.size()) == 0;
    };
    if (starts("\xFF\xD8\xFF")) {
        return ".jpg";
    }
    if (starts("\x89PNG\r\n\x1A\n")) {
        return ".png";
    }
    if (starts("GIF87a") || starts("GIF89a")) {
        return ".gif";
    }
    if (starts("RIFF") && starts("WEBP", 8)) {
        return ".webp";
    }
    if (starts("BM")) {
        return ".bmp";
    }
    return std::nullopt;
}

} // namespace

fs::path CoverArt::defaultCacheFolder() {
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    fs::path base;
    if (cacheHome != nullptr && *cacheHome == '/') {
        base = cacheHome;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".cache";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "zalvo" / "covers";
}

std::optional<fs::path> CoverArt::locate(const std::u16string& trackPath) const {
    if (const std::optional<TagFile> file = TagFile::open(trackPath)) {
        if (const std::optional<TagLib::ByteVector> picture = EmbeddedCover::read(file->file())) {
            if (std::optional<fs::path> cached = cache({picture->data(), picture->size()})) {
                return cached;
            }
        }
    }
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(trackPath);
    return utf8 ? besideTrack(fs::path(*utf8)) : std::nullopt;
}

std::optional<fs::path> CoverArt::cache(std::span<const char> picture) const {
    const std::optional<std::string> extension = imageExtension(picture);
    if (!extension || picture.size() > pictureLimit) {
        return std::nullopt;
    }
    const fs::path target = cacheFolder / (contentName(picture) + *extension);
    std::error_code error;
    if (fs::file_size(target, error) == picture.size()) {
        // Seen again: it is recently used, and the last to leave the cache.
        fs::last_write_time(target, fs::file_time_type::clock::now(), error);
        return target;
    }
    fs::create_directories(cacheFolder, error);
    // Written beside its final name and renamed, so that no reader ever sees half a picture.
    const fs::path partial = cacheFolder / (target.filename().string() + ".part" + std::to_string(::getpid()));
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out.write(picture.data(), static_cast<std::streamsize>(picture.size())) || !out.flush()) {
            out.close();
            fs::remove(partial, error);
            return std::nullopt;
        }
    }
    fs::rename(partial, target, error);
    if (error) {
        fs::remove(partial, error);
        return std::nullopt;
    }
    trim(target);
    return target;
}

void CoverArt::trim(const fs::path& kept) const {
    struct Entry {
        fs::path path;
        fs::file_time_type time;
        std::uintmax_t size;
    };
    std::vector<Entry> entries;
    std::uintmax_t total = 0;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(cacheFolder, error)) {
        std::error_code entryError;
        if (!entry.is_regular_file(entryError)) {
            continue;
        }
        const std::uintmax_t size = entry.file_size(entryError);
        const fs::file_time_type time = entry.last_write_time(entryError);
        if (!entryError) {
            entries.push_back({entry.path(), time, size});
            total += size;
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (const Entry& entry : entries) {
        if (total < cacheLimit) {
            break;
        }
        if (entry.path != kept && fs::remove(entry.path, error)) {
            total -= entry.size;
        }
    }
}

std::optional<fs::path> CoverArt::besideTrack(const fs::path& track) {
    static constexpr std::array names{"cover", "folder", "front", "album"};
    static constexpr std::array extensions{".jpg", ".jpeg", ".png"};
    std::vector<std::pair<std::size_t, fs::path>> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(track.parent_path(), error)) {
        const std::string stem = lowered(entry.path().stem().string());
        const std::string extension = lowered(entry.path().extension().string());
        const auto* const name = std::find(names.begin(), names.end(), stem);
        if (name == names.end() || std::find(extensions.begin(), extensions.end(), extension) == extensions.end()) {
            continue;
        }
        std::error_code entryError;
        std::array<char, 12> head{};
        if (entry.is_regular_file(entryError) && entry.file_size(entryError) <= pictureLimit && !entryError &&
            readHead(entry.path(), head) && imageExtension(head)) {
            found.emplace_back(static_cast<std::size_t>(name - names.begin()), entry.path());
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    return std::min_element(found.begin(), found.end())->second;
}
