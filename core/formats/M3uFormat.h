#pragma once

#include "formats/PlayListFormat.h"

namespace zalvo {

// M3U and M3U8: one entry per line, '#' lines skipped; written as extended M3U8.
class M3uFormat final : public PlayListFormat {
public:
    std::span<const std::u16string_view> extensions() const override;
    // Certain at the extended form's opening line; a plain list of paths, which has none, only when no
    // other format takes the file.
    Match recognises(std::string_view head) const override;
    ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const override;
    bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const override;
};

} // namespace zalvo
