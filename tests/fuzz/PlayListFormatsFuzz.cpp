#include "formats/PlayListFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace zalvo {

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

// Any bytes read as a playlist file of whatever format they look like: the reading ends, every entry
// comes out as an absolute path or as none, and an entry never costs less than a byte of the file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::size_t entries = 0;
    const ReadStatus status = PlayListFile::read(input, u"/playlists", [&entries](const std::u16string& path) {
        require(path.empty() || path.front() == u'/');
        ++entries;
        return true;
    });
    require(status != ReadStatus::Cancelled && status != ReadStatus::Unreadable);
    require(entries <= size);
    require(status != ReadStatus::Unrecognised || entries == 0);
    return 0;
}

} // namespace zalvo
