#include "formats/PlayListFile.h"

#include "base/TextEncoding.h"
#include "formats/ArchiveFormat.h"
#include "formats/CancellableInput.h"
#include "formats/CueFormat.h"
#include "formats/M3uFormat.h"
#include "formats/PlsFormat.h"
#include "formats/XspfFormat.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <span>
#include <system_error>

namespace zalvo {

namespace {

// Enough of the opening to tell the formats apart.
constexpr std::size_t headSize = 4096;

struct RegisteredFormat {
    PlayListFile::Format name;
    const PlayListFormat& format;
};

template <typename Kind> const PlayListFormat& one() {
    static const Kind format;
    return format;
}

// Every format, in the order a file's content is matched against them.
std::span<const RegisteredFormat> registry() {
    static const std::array formats{
        RegisteredFormat{PlayListFile::Format::Cue, one<CueFormat>()},
        RegisteredFormat{PlayListFile::Format::Xspf, one<XspfFormat>()},
        RegisteredFormat{PlayListFile::Format::Pls, one<PlsFormat>()},
        RegisteredFormat{PlayListFile::Format::M3u, one<M3uFormat>()},
        RegisteredFormat{PlayListFile::Format::Archive, one<ArchiveFormat>()},
    };
    return formats;
}

const PlayListFormat* registered(PlayListFile::Format name) {
    for (const RegisteredFormat& entry : registry()) {
        if (entry.name == name) {
            return &entry.format;
        }
    }
    return nullptr;
}

void rewind(std::istream& input) {
    input.clear();
    input.seekg(0);
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
    // A cue sheet's entries name its tracks by number alone: they are tracks of this file.
    const EntrySink named = [&sink, &path](std::u16string entry) {
        if (entry.starts_with(u'?')) {
            entry.insert(0, path);
        }
        return sink(std::move(entry));
    };
    return read(input, folder, named, cancelled);
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
    const PlayListFormat* fallback = nullptr;
    for (const RegisteredFormat& entry : registry()) {
        switch (entry.format.recognises(head)) {
        case PlayListFormat::Match::Certain:
            rewind(input);
            return entry.format.read(input, folder, sink);
        case PlayListFormat::Match::Possible:
            rewind(input);
            if (const ReadStatus status = entry.format.read(input, folder, sink); status != ReadStatus::Unrecognised) {
                return status;
            }
            break;
        case PlayListFormat::Match::Fallback:
            if (fallback == nullptr) {
                fallback = &entry.format;
            }
            break;
        case PlayListFormat::Match::No:
            break;
        }
    }
    if (fallback == nullptr) {
        return ReadStatus::Unrecognised;
    }
    rewind(input);
    return fallback->read(input, folder, sink);
}

PlayListFile::Format PlayListFile::formatForName(std::u16string_view path) {
    const std::u16string name = TextEncoding::lowerAscii(path);
    for (const RegisteredFormat& entry : registry()) {
        for (const std::u16string_view extension : entry.format.extensions()) {
            if (name.ends_with(extension)) {
                return entry.name;
            }
        }
    }
    return Format::Archive;
}

bool PlayListFile::write(std::ostream& output, Format format, const std::vector<SavedTrack>& tracks,
                         std::u16string_view folder) {
    const PlayListFormat* writer = registered(format);
    return writer != nullptr && writer->write(output, tracks, folder);
}

} // namespace zalvo
