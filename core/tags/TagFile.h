#pragma once

#include <optional>
#include <string>
#include <taglib/fileref.h>

// An audio file opened by TagLib for its tags alone. Only regular files are opened, since opening a
// FIFO would wait for a writer; TagLib's own diagnostics are kept off the terminal.
class TagFile final {
public:
    static std::optional<TagFile> open(const std::u16string& path);

    TagLib::File& file() const { return *ref.file(); }

private:
    explicit TagFile(const TagLib::FileRef& opened) : ref(opened) {}

    TagLib::FileRef ref;
};
