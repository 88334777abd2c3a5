#include "TagFile.h"

#include "TextEncoding.h"

#include <mutex>
#include <sys/stat.h>
#include <taglib/tdebuglistener.h>

namespace {

class SilentListener final : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String& /*message*/) override {}
};

} // namespace

std::optional<TagFile> TagFile::open(const std::u16string& path) {
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        static SilentListener listener;
        TagLib::setDebugListener(&listener);
    });
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(path);
    struct stat status {};
    // A name with a NUL in it would reach the file system cut short, naming another file.
    if (!utf8 || utf8->find('\0') != std::string::npos || ::stat(utf8->c_str(), &status) != 0 ||
        !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    auto stream = std::make_shared<TagLib::FileStream>(utf8->c_str(), true);
    if (!stream->isOpen()) {
        return std::nullopt;
    }
    const TagLib::FileRef ref(stream.get(), false);
    if (ref.isNull()) {
        return std::nullopt;
    }
    return TagFile(std::move(stream), ref);
}
