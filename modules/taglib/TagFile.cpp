#include "TagFile.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <taglib/tdebuglistener.h>

namespace zalvo {

namespace {

class SilentListener final : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String& /*message*/) override {}
};

// The size an ID3v2 tag at the file's start gives itself, in four bytes of seven bits each; 0 for none.
std::int64_t id3v2Size(const std::array<unsigned char, 10>& header) {
    if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') {
        return 0;
    }
    return header[6] << 21 | header[7] << 14 | header[8] << 7 | header[9];
}

std::int64_t id3v2Size(const std::string& utf8Path) {
    std::array<unsigned char, 10> header{};
    std::ifstream in(utf8Path, std::ios::binary);
    return in.read(reinterpret_cast<char*>(header.data()), header.size()) ? id3v2Size(header) : 0;
}

// Read through the stream TagLib goes on with, so that the file is opened once.
std::int64_t id3v2Size(TagLib::FileStream& stream) {
    std::array<unsigned char, 10> header{};
    stream.seek(0);
    const TagLib::ByteVector read = stream.readBlock(header.size());
    stream.seek(0);
    if (read.size() != header.size()) {
        return 0;
    }
    std::copy(read.begin(), read.end(), header.begin());
    return id3v2Size(header);
}

} // namespace

bool TagFile::holdsOversizedTag(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && id3v2Size(path) > largestId3v2;
}

std::optional<TagFile> TagFile::open(const std::string& path) {
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        static SilentListener listener;
        TagLib::setDebugListener(&listener);
    });
    struct stat status {};
    // A name with a NUL in it would reach the file system cut short, naming another file.
    if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    auto stream = std::make_shared<TagLib::FileStream>(path.c_str(), true);
    if (!stream->isOpen() || id3v2Size(*stream) > largestId3v2) {
        return std::nullopt;
    }
    const TagLib::FileRef ref(stream.get(), false);
    if (ref.isNull()) {
        return std::nullopt;
    }
    return TagFile(std::move(stream), ref);
}

} // namespace zalvo
