#pragma once

#include "formats/PlayListFormat.h"

namespace zalvo {

// XSPF: the location URI of each track of the trackList, with xml:base honoured. Read as a stream, so
// memory holds one entry at a time, whatever the file's size.
class XspfFormat final : public PlayListFormat {
public:
    std::span<const std::u16string_view> extensions() const override;
    // Any XML: whether it is a playlist shows at its root element.
    Match recognises(std::string_view head) const override;
    ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink) const override;
    bool write(std::ostream& output, const std::vector<SavedTrack>& tracks, std::u16string_view folder) const override;
};

} // namespace zalvo
