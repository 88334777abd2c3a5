#pragma once

#include "formats/Archive.h"
#include "formats/ArchiveException.h"
#include "formats/PlayListFormat.h"

#include <cstdint>
#include <limits>

namespace zalvo {

// The Windows program's binary archive read as a playlist file. It has no signature: a file is taken as
// one when its count fits in the bytes that follow and its first entry reads as a whole, non-empty path.
class ArchiveFormat final : public PlayListFormat {
public:
    // Files are saved in it unless their name asks for another format: it claims no name of its own.
    std::span<const std::u16string_view> extensions() const override { return {}; }
    Match recognises(std::string_view head) const override;
    // Unrecognised when the opening does not hold; Damaged when the file breaks off further on.
    ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const override;
    // The paths as they are: the archive keeps no title or length.
    bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const override;

    // Stores the count, then the path of each entry as a wide string; ArchiveException when the count
    // does not fit or the stream fails.
    template <typename Entries, typename PathOf>
    static void store(Archive& archive, const Entries& entries, const PathOf& pathOf) {
        if (entries.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw ArchiveException(ArchiveException::Cause::WriteFailed);
        }
        archive.writeUInt32(static_cast<std::uint32_t>(entries.size()));
        for (const auto& entry : entries) {
            archive.writeString(pathOf(entry));
        }
    }
};

} // namespace zalvo
