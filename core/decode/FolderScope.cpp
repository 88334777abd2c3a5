#include "decode/FolderScope.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zalvo {

namespace {

thread_local FolderScope* innermost = nullptr;

int openRetrying(int folder, const char* path, int flags) {
    int opened = -1;
    do {
        opened = ::openat(folder, path, flags);
    } while (opened < 0 && errno == EINTR);
    return opened;
}

} // namespace

FolderScope::FolderScope() : outer(innermost) {
    innermost = this;
}

FolderScope::~FolderScope() {
    innermost = outer;
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

int FolderScope::open(const std::string& path, int flags) {
    const std::size_t cut = path.rfind('/');
    // A bare name is already walked from where it is; a folder's own path has no file's name to open.
    if (innermost == nullptr || cut == std::string::npos || cut + 1 == path.size()) {
        return openRetrying(AT_FDCWD, path.c_str(), flags);
    }
    const int folder = innermost->folderFor(std::string_view(path).substr(0, cut == 0 ? 1 : cut));
    if (folder < 0) {
        return openRetrying(AT_FDCWD, path.c_str(), flags);
    }
    return openRetrying(folder, path.c_str() + cut + 1, flags);
}

int FolderScope::folderFor(std::string_view folderPath) {
    if (descriptor >= 0 && folder == folderPath) {
        return descriptor;
    }
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    folder = folderPath;
    descriptor = openRetrying(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return descriptor;
}

} // namespace zalvo
