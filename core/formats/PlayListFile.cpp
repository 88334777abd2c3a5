#include "PlayListFile.h"

#include "ArchiveFormat.h"
#include "CancellableInput.h"
#include "M3uFormat.h"
#include "PlsFormat.h"
#include "TextEncoding.h"
#include "XspfFormat.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <system_error>

namespace {

// Enough of the opening to tell the formats apart.
constexpr std::size_t headSize = 4096;

std::u16string lowered(std::u16string_view text) {
    std::u16string result(text);
    for (char16_t& c : result) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return result;
}

} // namespace

ReadStatus PlayListFile::read(const std::u16string& path, const EntrySink& sink, const std::atomic<bool>* cancelled) {
    const std::optional<std::string> native = TextEncoding::toUtf8(path);
    if (!native || native->empty() || native->find('\0') != std::string::npos) {
        return ReadStatus::Unreadable;
    }
    const std::filesystem::path file(*native);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status)) {
        return ReadStatus::Unreadable;
    }
    if (!std::filesystem::is_regular_file(status)) {
        return ReadStatus::Unrecognised;
    }
    std::ifstream input(file, std::ios::binary);
    if (!input.is_open()) {
        return ReadStatus::Unreadable;
    }
    const std::u16string folder = TextEncoding::fromFileSystem(file.parent_path().lexically_normal().string());
    return read(input, folder, sink, cancelled);
}

ReadStatus PlayListFile::read(std::istream& input, std::u16string_view folder, const EntrySink& sink,
                              const std::atomic<bool>* cancelled) {
    if (cancelled == nullptr) {
        return readAnyFormat(input, folder, sink);
    }
    CancellableInput chunks(*input.rdbuf(), *cancelled);
    std::istream cancellable(&chunks);
    const ReadStatus status = readAnyFormat(cancellable, folder, sink);
    return *cancelled ? ReadStatus::Cancelled : status;
}

ReadStatus PlayListFile::readAnyFormat(std::istream& input, std::u16string_view folder, const EntrySink& sink) {
    std::array<char, headSize> buffer{};
    input.read(buffer.data(), buffer.size());
    const std::string_view head(buffer.data(), static_cast<std::size_t>(input.gcount()));
    input.clear();
    input.seekg(0);
    if (XspfFormat::recognises(head)) {
        return XspfFormat::read(input, folder, sink);
    }
    if (PlsFormat::recognises(head)) {
        return PlsFormat::read(input, folder, sink);
    }
    if (M3uFormat::recognises(head)) {
        return M3uFormat::read(input, folder, sink);
    }
    if (const ReadStatus status = ArchiveFormat::read(input, folder, sink); status != ReadStatus::Unrecognised) {
        return status;
    }
    if (M3uFormat::looksLikePlainList(head)) {
        input.clear();
        input.seekg(0);
        return M3uFormat::read(input, folder, sink);
    }
    return ReadStatus::Unrecognised;
}

PlayListFile::Format PlayListFile::formatForName(std::u16string_view path) {
    const std::u16string name = lowered(path);
    if (name.ends_with(u".m3u") || name.ends_with(u".m3u8")) {
        return Format::M3u;
    }
    if (name.ends_with(u".pls")) {
        return Format::Pls;
    }
    if (name.ends_with(u".xspf")) {
        return Format::Xspf;
    }
    return Format::Archive;
}

bool PlayListFile::write(std::ostream& output, Format format, const std::vector<SavedTrack>& tracks,
                         std::u16string_view folder) {
    switch (format) {
    case Format::M3u:
        return M3uFormat::write(output, tracks, folder);
    case Format::Pls:
        return PlsFormat::write(output, tracks, folder);
    case Format::Xspf:
        return XspfFormat::write(output, tracks, folder);
    case Format::Archive:
        break;
    }
    return false;
}
