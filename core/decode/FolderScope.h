#pragma once

#include <string>
#include <string_view>

namespace zalvo {

// While one lives on a thread, the files that thread opens are opened relative to the folder it opened
// a file in last, held open meanwhile: a playlist lists a folder's tracks together, and the kernel then
// walks each track's path from its folder, not from the root. Nothing is held once it ends, so a disk
// the tracks came from can be unmounted.
class FolderScope final {
public:
    FolderScope();
    ~FolderScope();
    FolderScope(const FolderScope&) = delete;
    FolderScope& operator=(const FolderScope&) = delete;

    // Opens a path for reading, with the flags given, as open(2) would; -1 when it does not open.
    static int open(const std::string& path, int flags);

private:
    int folderFor(std::string_view folderPath);

    FolderScope* outer;
    std::string folder;
    int descriptor = -1;
};

} // namespace zalvo
