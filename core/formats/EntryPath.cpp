#include "formats/EntryPath.h"

#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "formats/CueEntry.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace zalvo {

namespace {

// ASCII only, whatever locale the program runs in.
bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiAlnum(char c) {
    return isAsciiAlpha(c) || (c >= '0' && c <= '9');
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The length of a URI's scheme, or 0. One letter is a Windows drive ("C:"), not a scheme.
std::size_t schemeLength(std::string_view text) {
    if (text.empty() || !isAsciiAlpha(text[0])) {
        return 0;
    }
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            return i >= 2 ? i : 0;
        }
        if (!isAsciiAlnum(c) && c != '+' && c != '-' && c != '.') {
            return 0;
        }
    }
    return 0;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        bytes.push_back(text[i]);
    }
    return bytes;
}

bool namesSomething(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(path), error);
}

// Bytes that are not UTF-8 name the file of exactly those bytes when there is one (`path`, where they
// lead); otherwise an older writer meant them as Windows-1252.
bool meantAsWindows1252(std::string_view bytes, const std::string& path) {
    return !TextEncoding::fromUtf8(bytes) && !namesSomething(path);
}

std::u16string nameOf(const std::string& path) {
    if (meantAsWindows1252(path, path)) {
        return TextEncoding::fromWindows1252(path);
    }
    return TextEncoding::fromFileSystem(path);
}

std::string_view withoutQueryOrFragment(std::string_view uri) {
    return uri.substr(0, std::min(uri.find('?'), uri.find('#')));
}

// A query of a track's number names a track of a cue sheet, "file:///album.cue?2": kept on the path, as
// the opener of the entry reads it.
std::string_view cueTrackQuery(std::string_view uri) {
    const std::size_t query = uri.find('?');
    if (query == std::string_view::npos) {
        return {};
    }
    const std::string_view number = uri.substr(query + 1);
    const bool isNumber = !number.empty() && number.size() <= 2 &&
                          std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    return isNumber ? uri.substr(query) : std::string_view();
}

std::optional<std::u16string> fileUriToPath(std::string_view uri) {
    const std::string_view cueTrack = cueTrackQuery(uri);
    std::string_view rest = withoutQueryOrFragment(uri.substr(schemeLength(uri) + 1));
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t pathStart = std::min(rest.find('/'), rest.size());
        const std::string_view host = rest.substr(0, pathStart);
        // Another host's file is as remote as any URL.
        if (!host.empty() && !equalsIgnoringCase(host, "localhost")) {
            return std::nullopt;
        }
        rest.remove_prefix(pathStart);
    }
    const std::string path = percentDecode(rest);
    if (!path.starts_with('/') || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return nameOf(std::filesystem::path(path).lexically_normal().string() + std::string(cueTrack));
}

std::string resolvePath(const std::string& path, const std::string& folder) {
    if (path.starts_with('/') || folder.empty()) {
        return path;
    }
    return (std::filesystem::path(folder) / path).lexically_normal().string();
}

bool isBelow(std::string_view path, std::string_view folder) {
    return !folder.empty() && path.size() > folder.size() + 1 && path.starts_with(folder) &&
           (folder.ends_with('/') || path[folder.size()] == '/');
}

std::string_view relativeTo(std::string_view path, std::string_view folder) {
    if (!isBelow(path, folder)) {
        return path;
    }
    path.remove_prefix(folder.size());
    if (path.starts_with('/')) {
        path.remove_prefix(1);
    }
    return path;
}

// An internet stream's URL as the entry, where it is one: nothing for any other scheme, and for a URL no
// request could carry.
std::optional<std::u16string> streamUrl(std::string_view uri) {
    const bool sendable = std::ranges::none_of(uri, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
    if (!sendable || !StreamUrl::isStream(uri) || uri.size() > EntryPath::longestPath) {
        return std::nullopt;
    }
    return TextEncoding::fromUtf8(uri);
}

} // namespace

std::optional<std::u16string> EntryPath::fromText(std::u16string_view entry, std::u16string_view folder,
                                                  bool backslashes) {
    const std::optional<std::string> text = TextEncoding::toUtf8(entry);
    const std::optional<std::string> base = TextEncoding::toUtf8(folder);
    if (!text || !base || text->empty()) {
        return std::nullopt;
    }
    if (const std::size_t scheme = schemeLength(*text); scheme != 0) {
        if (equalsIgnoringCase(std::string_view(*text).substr(0, scheme), "file")) {
            return fileUriToPath(*text);
        }
        return streamUrl(*text);
    }
    std::string path = resolvePath(*text, *base);
    // Linux names may hold a backslash, so the entry as written is tried first.
    if (backslashes && text->find('\\') != std::string::npos && !namesSomething(path)) {
        std::string forward = *text;
        std::replace(forward.begin(), forward.end(), '\\', '/');
        path = resolvePath(forward, *base);
    }
    if (meantAsWindows1252(*text, path)) {
        return fromText(TextEncoding::fromWindows1252(*text), folder, backslashes);
    }
    return TextEncoding::fromFileSystem(path);
}

std::optional<std::u16string> EntryPath::fromUri(std::string_view reference, std::string_view base) {
    if (reference.empty()) {
        return std::nullopt;
    }
    const std::string uri = resolveUri(base, reference);
    const std::size_t scheme = schemeLength(uri);
    if (scheme == 0 || !equalsIgnoringCase(std::string_view(uri).substr(0, scheme), "file")) {
        return streamUrl(uri);
    }
    return fileUriToPath(uri);
}

std::string EntryPath::resolveUri(std::string_view base, std::string_view reference) {
    if (schemeLength(reference) != 0) {
        return std::string(reference);
    }
    const std::size_t scheme = schemeLength(base);
    const std::string_view schemePart = base.substr(0, scheme + 1);
    std::string_view afterScheme = withoutQueryOrFragment(base.substr(scheme + 1));
    if (reference.starts_with("//")) {
        return std::string(schemePart) + std::string(reference);
    }
    std::string_view authority;
    if (afterScheme.starts_with("//")) {
        const std::size_t pathStart = std::min(afterScheme.find('/', 2), afterScheme.size());
        authority = afterScheme.substr(0, pathStart);
        afterScheme.remove_prefix(pathStart);
    }
    const std::string prefix = std::string(schemePart) + std::string(authority);
    if (reference.starts_with('/')) {
        return prefix + std::string(reference);
    }
    if (reference.starts_with('?') || reference.starts_with('#')) {
        return prefix + std::string(afterScheme) + std::string(reference);
    }
    const std::size_t lastSlash = afterScheme.rfind('/');
    const std::string_view folder = lastSlash == std::string_view::npos ? "/" : afterScheme.substr(0, lastSlash + 1);
    return prefix + std::string(folder) + std::string(reference);
}

std::string EntryPath::folderUri(std::u16string_view folder) {
    std::string path = TextEncoding::toUtf8(folder).value_or(std::string());
    if (!path.ends_with('/')) {
        path.push_back('/');
    }
    return "file://" + percentEncode(path);
}

std::optional<std::string> EntryPath::forText(std::u16string_view path, std::u16string_view folder) {
    std::optional<std::string> text = TextEncoding::toUtf8(path);
    const std::optional<std::string> base = TextEncoding::toUtf8(folder);
    if (!text || !base || text->empty()) {
        return std::nullopt;
    }
    if (StreamUrl::isStream(*text)) {
        return text;
    }
    const std::string_view written = relativeTo(*text, *base);
    // A line break would split the entry, a leading '#' makes it a comment, a colon early on a URL,
    // and surrounding blanks are trimmed by some readers: such names go as a URI.
    // So does a name that is not UTF-8: the URI keeps its bytes.
    const bool plain = TextEncoding::fromUtf8(written).has_value() &&
                       written.find_first_of("\r\n") == std::string_view::npos && !written.starts_with('#') &&
                       schemeLength(written) == 0 && written.front() != ' ' && written.back() != ' ' &&
                       written.find('\\') == std::string_view::npos;
    if (plain && text->starts_with('/')) {
        return std::string(written);
    }
    if (!text->starts_with('/')) {
        return std::nullopt;
    }
    return "file://" + percentEncode(*text);
}

std::optional<std::string> EntryPath::forUri(std::u16string_view path, std::u16string_view folder) {
    std::optional<std::string> text = TextEncoding::toUtf8(path);
    const std::optional<std::string> base = TextEncoding::toUtf8(folder);
    if (text && StreamUrl::isStream(*text)) {
        return text;
    }
    if (!text || !base || !text->starts_with('/')) {
        return std::nullopt;
    }
    // A cue sheet's track keeps its number as the query, as other players read it.
    if (const std::optional<CueEntry> entry = CueEntry::of(path); entry && !namesSomething(*text)) {
        const std::optional<std::string> sheet = forUri(entry->sheet, folder);
        return sheet ? std::optional(*sheet + '?' + std::to_string(entry->number)) : std::nullopt;
    }
    if (isBelow(*text, *base)) {
        // Percent-encoding leaves no colon, so the reference cannot pass for a scheme.
        return percentEncode(relativeTo(*text, *base));
    }
    return "file://" + percentEncode(*text);
}

std::string EntryPath::percentEncode(std::string_view bytes) {
    static constexpr std::string_view hex = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4U]);
            encoded.push_back(hex[byte & 0xFU]);
        }
    }
    return encoded;
}

} // namespace zalvo
