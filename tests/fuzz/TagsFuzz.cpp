#include "base/TextEncoding.h"
#include "tags/TagModule.h"
#include "tags/TrackTags.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace zalvo {

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// TagLib picks the tag reader by the name's extension, whatever the bytes say.
constexpr std::array<const char*, 16> extensions{".mp3", ".flac", ".ogg", ".opus", ".oga", ".spx",  ".m4a", ".wma",
                                                 ".wv",  ".ape",  ".mpc", ".tta",  ".wav", ".aiff", ".dsf", ".mp4"};

// Every input is written to a file in a folder of the run's own that goes with the run.
class TagsFile final {
public:
    TagsFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zalvo-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        folder = pattern;
    }
    ~TagsFile() { std::filesystem::remove_all(folder); }
    TagsFile(const TagsFile&) = delete;
    TagsFile& operator=(const TagsFile&) = delete;

    std::filesystem::path path(const char* extension) const { return folder / (std::string("track") + extension); }

private:
    std::filesystem::path folder;
};

void requireText(const std::string& text) {
    require(text.size() <= TrackTags::valueLimit);
    require(TextEncoding::fromUtf8(text).has_value());
}

} // namespace

// TagLib lies in its module: found where the build put it unless ZALVO_MODULE_DIR says otherwise, and
// loaded before the first input, so that its code is fuzzed and its coverage counted from the start.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    ::setenv("ZALVO_MODULE_DIR", ZALVO_FUZZ_MODULE_DIR, 0);
    require(TagModule::available());
    return 0;
}

// The first byte chooses the file's extension, the rest is the file: reading its tags ends, and gives
// UTF-8 values and lists within their limits.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TagsFile file;
    if (size == 0) {
        return 0;
    }
    const std::filesystem::path path = file.path(extensions[data[0] % extensions.size()]);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    const TrackTags tags = TrackTags::read(path.u16string());
    std::filesystem::remove(path);
    for (const std::string* text : {&tags.title, &tags.artist, &tags.album}) {
        requireText(*text);
    }
    for (const std::vector<std::string>* list : {&tags.artists, &tags.albumArtists, &tags.genres}) {
        require(list->size() <= TrackTags::listLimit);
        for (const std::string& text : *list) {
            requireText(text);
        }
    }
    return 0;
}

} // namespace zalvo
