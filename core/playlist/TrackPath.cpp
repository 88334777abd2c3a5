#include "playlist/TrackPath.h"

#include "base/TextEncoding.h"

#include <cstring>

namespace zalvo {

namespace {

// The folder this thread made a path in last: a playlist lists a folder's tracks together, and they
// share its string from the start rather than each making one to throw away.
thread_local std::weak_ptr<const std::string> lastFolder;

} // namespace

TrackPath::TrackPath(std::string_view utf8) {
    const std::size_t cut = utf8.rfind('/') + 1;
    if (cut > 0) {
        const std::string_view folderPart = utf8.substr(0, cut);
        folder = lastFolder.lock();
        if (!folder || *folder != folderPart) {
            folder = std::make_shared<const std::string>(folderPart);
            lastFolder = folder;
        }
    }
    const std::string_view file = utf8.substr(cut);
    name = std::make_unique_for_overwrite<char[]>(file.size() + 1); // NOLINT(modernize-avoid-c-arrays)
    std::memcpy(name.get(), file.data(), file.size());
    name[file.size()] = '\0';
}

std::string TrackPath::utf8() const {
    std::string whole = folder ? *folder : std::string();
    if (name) {
        whole += name.get();
    }
    return whole;
}

std::u16string TrackPath::text() const {
    return TextEncoding::fromFileSystem(utf8());
}

void TrackPath::shareFolderWith(const TrackPath& other) {
    if (folder && other.folder && folder != other.folder && *folder == *other.folder) {
        folder = other.folder;
    }
}

} // namespace zalvo
