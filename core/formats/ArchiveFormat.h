#pragma once

#include "EntrySink.h"
#include "ReadStatus.h"

#include <iosfwd>
#include <string>
#include <string_view>

// The Windows program's binary archive read as a playlist file. It has no signature: a file is taken as
// one when its count fits in the bytes that follow and its first entry reads as a whole, non-empty path.
class ArchiveFormat final {
public:
    ArchiveFormat() = delete;

    // Unrecognised when the opening does not hold; Damaged when the file breaks off further on.
    static ReadStatus read(std::istream& input, std::u16string_view folder, const EntrySink& sink);
};
