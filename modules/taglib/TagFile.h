#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <taglib/fileref.h>
#include <taglib/tfilestream.h>

namespace zalvo {

// An audio file opened by TagLib for its tags alone, read-only: a file opened for writing tells the
// desktop's indexers it changed when it is closed. Only regular files are opened, since opening a
// FIFO would wait for a writer; TagLib's own diagnostics are kept off the terminal.
class TagFile final {
public:
    // The file at the UTF-8 `path`; nothing for a file that is not a regular file, that TagLib does not
    // read, or whose ID3v2 tag is larger than any real one.
    static std::optional<TagFile> open(const std::string& path);
    // An ID3v2 tag past this holds no tag worth a second and a gigabyte of parsing: its pictures are
    // past the covers' own limit, and no text that long is shown.
    static constexpr std::int64_t largestId3v2 = 32 << 20;
    static bool holdsOversizedTag(const std::string& path);

    TagLib::File& file() const { return *ref.file(); }

private:
    TagFile(std::shared_ptr<TagLib::FileStream> stream, const TagLib::FileRef& opened)
        : stream(std::move(stream)), ref(opened) {}

    // Outlives the file TagLib reads through it.
    std::shared_ptr<TagLib::FileStream> stream;
    TagLib::FileRef ref;
};

} // namespace zalvo
