#pragma once

#include "formats/PlayListFormat.h"

namespace zalvo {

// PLS: a [playlist] section of FileN, TitleN and LengthN keys, taken in the order of N.
class PlsFormat final : public PlayListFormat {
public:
    std::span<const std::u16string_view> extensions() const override;
    Match recognises(std::string_view head) const override;
    ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const override;
    bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const override;
};

} // namespace zalvo
