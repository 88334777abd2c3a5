#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

// Writes a short tone in every format the player opens, as the track fuzzer's first inputs: from
// nothing, it would take the fuzzer hours to find an Ogg page or a FLAC frame. Those libsndfile does
// not write are encoded from the WAV by the ffmpeg tool.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    constexpr int rate = 8000;
    std::vector<float> frames(rate / 10 * 2);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] =
            static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(i / 2) / rate));
    }
    const std::pair<const char*, int> formats[]{
        {"seed.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},   {"seed.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"seed.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16}, {"seed.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"seed.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},    {"seed.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}};
    for (const auto& [name, format] : formats) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = format;
        const std::string file = (std::filesystem::path(argv[1]) / name).string();
        SNDFILE* output = sf_open(file.c_str(), SFM_WRITE, &info);
        if (output == nullptr) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), sf_strerror(nullptr));
            return 1;
        }
        sf_writef_float(output, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
        sf_close(output);
    }
    const std::pair<const char*, const char*> encodings[]{
        {"seed-aac.m4a", "-c:a aac"}, {"seed-alac.m4a", "-c:a alac"},  {"seed.wma", "-c:a wmav2"},
        {"seed.wv", "-c:a wavpack"},  {"seed.tta", "-c:a tta"},        {"seed.ac3", "-c:a ac3"},
        {"seed.mka", "-c:a flac"},    {"seed.aac", "-c:a aac -f adts"}};
    const std::filesystem::path wav = std::filesystem::path(argv[1]) / "seed.wav";
    for (const auto& [name, options] : encodings) {
        const std::string command = "ffmpeg -nostdin -v error -y -i '" + wav.string() + "' " + options + " '" +
                                    (std::filesystem::path(argv[1]) / name).string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "ffmpeg failed: %s\n", command.c_str());
            return 1;
        }
    }
    return 0;
}
