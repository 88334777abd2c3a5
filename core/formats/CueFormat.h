#pragma once

#include "formats/PlayListFormat.h"

namespace zalvo {

// Cue sheets, read as playlists of their tracks: each entry is "?N", track N of the sheet itself, which
// the reader of the file names by its path. A sheet describes one rip and is never written.
class CueFormat final : public PlayListFormat {
public:
    std::span<const std::u16string_view> extensions() const override;
    Match recognises(std::string_view head) const override;
    ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const override;
    bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const override;
};

} // namespace zalvo
