#include "tags/CoverArt.h"

#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "tags/TagModule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zalvo {

namespace fs = std::filesystem;

namespace {

// The extensions imageExtension gives, and so the only ones the cache's own names end in.
constexpr std::array<std::string_view, 5> cachedExtensions{".jpg", ".png", ".gif", ".webp", ".bmp"};
// A name taken by something else (a FIFO, a link, another thread's partial) moves the partial file to
// the next name; past these, the cover is not cached this time.
constexpr int partialNames = 4;
// A partial file is written in well under a second: one this old is left from a run that crashed.
constexpr std::time_t stalePartialSeconds = 3600;

// A file descriptor, closed with its owner.
class Descriptor final {
public:
    explicit Descriptor(int opened = -1) : descriptor(opened) {}
    ~Descriptor() { closeIfOpen(descriptor); }
    Descriptor(Descriptor&& other) noexcept : descriptor(std::exchange(other.descriptor, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            closeIfOpen(descriptor);
            descriptor = std::exchange(other.descriptor, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return descriptor; }
    explicit operator bool() const { return descriptor >= 0; }
    int release() { return std::exchange(descriptor, -1); }

private:
    static void closeIfOpen(int opened) {
        if (opened >= 0) {
            ::close(opened);
        }
    }

    int descriptor;
};

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

// Opened without waiting on a FIFO, and read only when it is a regular file a cover's size.
bool holdsAnImage(const fs::path& file) {
    const Descriptor in(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    std::array<char, 12> head{};
    return in && ::fstat(in.get(), &status) == 0 && S_ISREG(status.st_mode) &&
           static_cast<std::uintmax_t>(status.st_size) <= CoverArt::pictureLimit &&
           ::pread(in.get(), head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) && imageExtension(head);
}

enum class CacheName { Foreign, Entry, Partial };

bool takeDigits(std::string_view& rest) {
    const auto count = static_cast<std::size_t>(
        std::find_if_not(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }) - rest.begin());
    rest.remove_prefix(count);
    return count > 0;
}

// The names the cache gives: 16 hex digits and an image extension for a cover; that, `.part`, the
// writer's process id and maybe `-` and a number for a partial file. Every other name is someone
// else's.
CacheName cacheName(std::string_view name) {
    constexpr std::size_t digits = 16;
    if (name.size() < digits || !std::all_of(name.begin(), name.begin() + digits,
                                             [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
        return CacheName::Foreign;
    }
    std::string_view rest = name.substr(digits);
    const auto* const extension = std::find_if(cachedExtensions.begin(), cachedExtensions.end(),
                                               [rest](std::string_view known) { return rest.starts_with(known); });
    if (extension == cachedExtensions.end()) {
        return CacheName::Foreign;
    }
    rest.remove_prefix(extension->size());
    if (rest.empty()) {
        return CacheName::Entry;
    }
    constexpr std::string_view part = ".part";
    if (!rest.starts_with(part)) {
        return CacheName::Foreign;
    }
    rest.remove_prefix(part.size());
    if (!takeDigits(rest)) {
        return CacheName::Foreign;
    }
    if (rest.starts_with('-')) {
        rest.remove_prefix(1);
        if (!takeDigits(rest)) {
            return CacheName::Foreign;
        }
    }
    return rest.empty() ? CacheName::Partial : CacheName::Foreign;
}

// Folders missing on the way are made for the user alone, as the XDG base directories ask.
void makeFolders(const fs::path& folder) {
    fs::path prefix;
    for (const fs::path& part : folder) {
        prefix /= part;
        static_cast<void>(::mkdir(prefix.c_str(), 0700));
    }
}

// The cache's folder, held open so that every later step acts inside it even if its name is moved:
// only a real folder of the user's own, never one reached through a link at its own name, since the
// cache deletes what it finds there.
Descriptor openFolder(const fs::path& folder) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Descriptor opened(::open(folder.c_str(), flags));
    if (!opened && errno == ENOENT) {
        makeFolders(folder);
        opened = Descriptor(::open(folder.c_str(), flags));
    }
    struct stat status {};
    if (!opened || ::fstat(opened.get(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) {
        return Descriptor();
    }
    return opened;
}

// Whether the file holds exactly `expected` from its start on, read in pieces so that a large picture
// needs no second copy in memory.
bool holdsBytes(int file, std::span<const char> expected) {
    std::array<char, 16384> piece{};
    off_t offset = 0;
    while (!expected.empty()) {
        const std::size_t wanted = std::min(piece.size(), expected.size());
        const ssize_t got = ::pread(file, piece.data(), wanted, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || std::memcmp(piece.data(), expected.data(), static_cast<std::size_t>(got)) != 0) {
            return false;
        }
        expected = expected.subspan(static_cast<std::size_t>(got));
        offset += got;
    }
    return true;
}

// An entry is served only when it holds what its name promises: a regular file of the user's, no
// link, the picture's bytes and nothing else, since a name is only a hash and anything may have been
// written there since. Served, it is touched as recently used through the descriptor just checked.
bool serveEntry(int folder, const std::string& name, std::span<const char> picture) {
    struct stat status {};
    // Nothing but a regular file is opened, so that no FIFO or device is.
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const Descriptor entry(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!entry || ::fstat(entry.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid() ||
        static_cast<std::uintmax_t>(status.st_size) != picture.size() || !holdsBytes(entry.get(), picture)) {
        return false;
    }
    static_cast<void>(::futimens(entry.get(), nullptr));
    return true;
}

bool writeAll(int descriptor, std::span<const char> data) {
    while (!data.empty()) {
        const ssize_t written = ::write(descriptor, data.data(), data.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// The picture in a new file beside the entry, to be renamed over it, so that no reader ever sees half a
// picture; its name, or nothing. The file is always created afresh: never opened through a link, nor
// into a FIFO that holds the name.
std::optional<std::string> writePartial(int folder, const std::string& entry, std::span<const char> picture) {
    const std::string first = entry + ".part" + std::to_string(::getpid());
    for (int attempt = 0; attempt < partialNames; ++attempt) {
        std::string name = attempt == 0 ? first : first + "-" + std::to_string(attempt);
        Descriptor out(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out) {
            if (errno == EEXIST) {
                continue;
            }
            return std::nullopt;
        }
        if (writeAll(out.get(), picture) && ::close(out.release()) == 0) {
            return name;
        }
        ::unlinkat(folder, name.c_str(), 0);
        return std::nullopt;
    }
    return std::nullopt;
}

// Keeps the cache's own covers under the limit, the least recently used first out, and clears partial
// files left by crashed runs. Only regular files under the cache's own names are counted or deleted,
// each relative to the folder held open, never through a link.
void trim(int folder, const std::string& kept) {
    Descriptor listed(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listed) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(listed.get()), &::closedir);
    if (!listing) {
        return;
    }
    static_cast<void>(listed.release());
    struct Entry {
        std::string name;
        std::timespec time;
        std::uintmax_t size;
    };
    std::vector<Entry> entries;
    std::uintmax_t total = 0;
    const std::time_t now = std::time(nullptr);
    while (const dirent* item = ::readdir(listing.get())) {
        const CacheName kind = cacheName(item->d_name);
        struct stat status {};
        if (kind == CacheName::Foreign || ::fstatat(folder, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
            continue;
        }
        if (kind == CacheName::Partial) {
            // A recent one may be another player's, still writing.
            if (now - status.st_mtim.tv_sec > stalePartialSeconds) {
                ::unlinkat(folder, item->d_name, 0);
            }
            continue;
        }
        entries.push_back({item->d_name, status.st_mtim, static_cast<std::uintmax_t>(status.st_size)});
        total += entries.back().size;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return std::pair(a.time.tv_sec, a.time.tv_nsec) < std::pair(b.time.tv_sec, b.time.tv_nsec);
    });
    for (const Entry& entry : entries) {
        if (total < CoverArt::cacheLimit) {
            break;
        }
        if (entry.name != kept && ::unlinkat(folder, entry.name.c_str(), 0) == 0) {
            total -= entry.size;
        }
    }
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
    // A stream's URL is no place on this machine: read as a path, it would name a folder of the working one.
    if (StreamUrl::isStream(trackPath)) {
        return std::nullopt;
    }
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(trackPath);
    if (!utf8) {
        return std::nullopt;
    }
    if (const std::optional<std::string> picture = TagModule::cover(*utf8, pictureLimit)) {
        if (std::optional<fs::path> cached = cache(*picture)) {
            return cached;
        }
    }
    return besideTrack(fs::path(*utf8));
}

std::optional<fs::path> CoverArt::cache(std::span<const char> picture) const {
    const std::optional<std::string> extension = imageExtension(picture);
    if (!extension || picture.size() > pictureLimit) {
        return std::nullopt;
    }
    const Descriptor folder = openFolder(cacheFolder);
    if (!folder) {
        return std::nullopt;
    }
    const std::string name = contentName(picture) + *extension;
    if (serveEntry(folder.get(), name, picture)) {
        return cacheFolder / name;
    }
    const std::optional<std::string> partial = writePartial(folder.get(), name, picture);
    if (!partial) {
        return std::nullopt;
    }
    // A rename replaces whatever held the name, a link or a FIFO included, and never what a link leads to.
    if (::renameat(folder.get(), partial->c_str(), folder.get(), name.c_str()) != 0) {
        ::unlinkat(folder.get(), partial->c_str(), 0);
        return std::nullopt;
    }
    trim(folder.get(), name);
    return cacheFolder / name;
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
        if (entry.is_regular_file(entryError) && holdsAnImage(entry.path())) {
            found.emplace_back(static_cast<std::size_t>(name - names.begin()), entry.path());
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    return std::min_element(found.begin(), found.end())->second;
}

} // namespace zalvo
