#include "decode/TrackDecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>

namespace zalvo {

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every input is written to the same file, in a folder of the run's own that goes with the run.
class TrackFile final {
public:
    TrackFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zalvo-fuzz-XXXXXX").string();
        require(mkdtemp(pattern.data()) != nullptr);
        folder = pattern;
    }
    ~TrackFile() { std::filesystem::remove_all(folder); }
    TrackFile(const TrackFile&) = delete;
    TrackFile& operator=(const TrackFile&) = delete;

    std::filesystem::path path() const { return folder / "track"; }

private:
    std::filesystem::path folder;
};

} // namespace

// Any bytes as an audio file: opening ends, what opens can sound and is outlined as the decoder
// sees it, and decoding it ends in whole frames.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TrackFile file;
    std::ofstream(file.path(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const std::string path = file.path().string();
    const std::optional<TrackOutline> outline = TrackDecoder::outline(path);
    const std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(path);
    if (!decoder) {
        return 0;
    }
    require(outline.has_value());
    const PcmFormat format = decoder->format();
    require(format.sampleRate >= 1000 && format.sampleRate <= 768000 && format.channels >= 1 && format.channels <= 8);
    // Compressed audio may unfold into hours from a few bytes: a few seconds' worth is read.
    constexpr std::size_t framesRead = 1 << 18;
    std::array<float, 8 * 1024> samples{};
    for (std::size_t total = 0; total < framesRead;) {
        const std::size_t frames =
            decoder->read(std::span(samples).first(samples.size() / format.channels * format.channels));
        require(frames <= samples.size() / format.channels);
        if (frames == 0) {
            break;
        }
        total += frames;
    }
    return 0;
}

} // namespace zalvo
