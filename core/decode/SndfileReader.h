#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zalvo {

class FileStream;

// Decodes WAV, AIFF, FLAC, Ogg Vorbis, Opus and MP3 through libsndfile, to 32-bit float samples.
class SndfileReader final {
public:
    struct Info {
        unsigned channelCount = 0;
        unsigned sampleRate = 0;
        // Samples of all channels the header declares; 0 when it does not say.
        std::uint64_t sampleCount = 0;
    };

    SndfileReader();
    ~SndfileReader();
    SndfileReader(const SndfileReader&) = delete;
    SndfileReader& operator=(const SndfileReader&) = delete;

    // False when libsndfile does not read the stream, which must outlive the reader.
    bool open(FileStream& stream, Info& info);
    // False when the file cannot go to that sample.
    bool seekTo(std::uint64_t sampleOffset);
    // Whole frames of samples, at most `maxCount` samples; 0 at the end.
    std::size_t read(float* samples, std::size_t maxCount);

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};

} // namespace zalvo
