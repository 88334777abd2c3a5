#include "formats/ArchiveFormat.h"

#include "formats/EntryPath.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>

namespace zalvo {

namespace {

std::uint64_t sizeOf(std::istream& input) {
    input.seekg(0, std::ios::end);
    const std::streamoff size = input.tellg();
    input.seekg(0, std::ios::beg);
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

} // namespace

PlayListFormat::Match ArchiveFormat::recognises(std::string_view /*head*/) const {
    return Match::Possible;
}

ReadStatus ArchiveFormat::read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const {
    constexpr std::uint64_t countSize = 4;
    const std::uint64_t size = sizeOf(input);
    Archive archive(input);
    std::uint32_t count = 0;
    std::u16string entry;
    try {
        count = archive.readUInt32();
        // Every entry takes at least one byte.
        if (count > size - countSize) {
            return ReadStatus::Unrecognised;
        }
        if (count == 0) {
            return size == countSize ? ReadStatus::Ok : ReadStatus::Unrecognised;
        }
        entry = archive.readString(EntryPath::longestPath);
    } catch (const ArchiveException&) {
        return ReadStatus::Unrecognised;
    }
    if (entry.empty()) {
        return ReadStatus::Unrecognised;
    }
    for (std::uint32_t i = 0;;) {
        if (!sink(EntryPath::fromText(entry, folder, false).value_or(std::u16string()))) {
            return ReadStatus::Cancelled;
        }
        if (++i == count) {
            return ReadStatus::Ok;
        }
        try {
            entry = archive.readString(EntryPath::longestPath);
        } catch (const ArchiveException&) {
            return ReadStatus::Damaged;
        }
    }
}

bool ArchiveFormat::write(std::ostream& output, const std::vector<SavedTrack>& tracks,
                          std::u16string_view /*folder*/) const {
    Archive archive(output);
    try {
        store(archive, tracks, [](const SavedTrack& track) -> const std::u16string& { return track.path; });
        archive.flush();
    } catch (const ArchiveException&) {
        return false;
    }
    return true;
}

} // namespace zalvo
