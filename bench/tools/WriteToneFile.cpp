#include "ToneFile.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

// Writes a stereo file of changing tones for the scripts that time real playback; the file's
// extension picks its format.
int main(int argc, char* argv[]) {
    using namespace zalvo;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.{wav,flac,ogg,mp3} SECONDS\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    for (const AudioFormat format : allAudioFormats()) {
        if (extensionOf(format) != out.extension().string()) {
            continue;
        }
        ToneShape shape{{}, 44100, 2, 0.5};
        const double seconds = std::stod(argv[2]);
        // A new pitch every 1.5 s, so the encoders see changing content rather than one held tone.
        const auto count = static_cast<std::size_t>(std::ceil(seconds / 1.5));
        for (std::size_t segment = 0; segment < count; ++segment) {
            shape.segments.push_back({220.0 + 55.0 * static_cast<double>(segment % 13), 1.5});
        }
        try {
            writeToneFile(out, format, shape);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "unknown format: %s\n", out.c_str());
    return 2;
}
