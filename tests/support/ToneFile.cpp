#include "ToneFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>

namespace zalvo {

namespace {

int sndfileFormat(AudioFormat format) {
    switch (format) {
    case AudioFormat::Wav:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case AudioFormat::WavFloat:
        return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    case AudioFormat::Aiff:
        return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    case AudioFormat::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFormat::Flac24:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    case AudioFormat::Ogg:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFormat::Opus:
        return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    case AudioFormat::Mp3:
        return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    }
    throw std::invalid_argument("unknown audio format");
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

void writeFrames(const std::filesystem::path& file, AudioFormat format, std::span<const float> frames, int sampleRate,
                 int channels, const TrackTags& tags) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = sndfileFormat(format);
    std::unique_ptr<SNDFILE, SndfileCloser> out(sf_open(file.c_str(), SFM_WRITE, &info));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string() + ": " + sf_strerror(nullptr));
    }
    for (const auto& [kind, text] : {std::pair{SF_STR_TITLE, &tags.title}, std::pair{SF_STR_ARTIST, &tags.artist},
                                     std::pair{SF_STR_ALBUM, &tags.album}}) {
        if (!text->empty()) {
            sf_set_string(out.get(), kind, text->c_str());
        }
    }
    // libvorbis crashes on one write of a few minutes of audio, so the frames go in blocks.
    constexpr sf_count_t blockFrames = 65536;
    const auto frameCount = static_cast<sf_count_t>(frames.size() / static_cast<std::size_t>(channels));
    for (sf_count_t written = 0; written < frameCount; written += blockFrames) {
        const sf_count_t block = std::min(blockFrames, frameCount - written);
        const float* first = frames.data() + written * channels;
        if (sf_writef_float(out.get(), first, block) != block) {
            throw std::runtime_error("short write to " + file.string());
        }
    }
}

} // namespace

std::string extensionOf(AudioFormat format) {
    switch (format) {
    case AudioFormat::Wav:
    case AudioFormat::WavFloat:
        return ".wav";
    case AudioFormat::Aiff:
        return ".aiff";
    case AudioFormat::Flac:
    case AudioFormat::Flac24:
        return ".flac";
    case AudioFormat::Ogg:
        return ".ogg";
    case AudioFormat::Opus:
        return ".opus";
    case AudioFormat::Mp3:
        return ".mp3";
    }
    throw std::invalid_argument("unknown audio format");
}

std::vector<AudioFormat> allAudioFormats() {
    return {AudioFormat::Wav, AudioFormat::Aiff, AudioFormat::Flac,
            AudioFormat::Ogg, AudioFormat::Opus, AudioFormat::Mp3};
}

void writeToneFile(const std::filesystem::path& file, AudioFormat format, const ToneShape& shape) {
    writeToneFile(file, format, shape, TrackTags{});
}

void writeToneFile(const std::filesystem::path& file, AudioFormat format, const ToneShape& shape,
                   const TrackTags& tags) {
    // Opus only takes the rates its codec knows; 48 kHz is the natural one.
    const int sampleRate = format == AudioFormat::Opus ? 48000 : shape.sampleRate;
    std::vector<float> frames;
    for (const ToneSegment& segment : shape.segments) {
        const auto count = static_cast<std::size_t>(std::lround(segment.seconds * sampleRate));
        for (std::size_t i = 0; i < count; ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            const auto value =
                static_cast<float>(shape.amplitude * std::sin(2.0 * std::numbers::pi * segment.frequency * t));
            frames.insert(frames.end(), static_cast<std::size_t>(shape.channels), value);
        }
    }
    writeFrames(file, format, frames, sampleRate, shape.channels, tags);
}

void writeAudioFile(const std::filesystem::path& file, AudioFormat format, std::span<const float> frames,
                    int sampleRate, int channels) {
    writeFrames(file, format, frames, sampleRate, channels, TrackTags{});
}

std::vector<std::filesystem::path> writeTrackPairs(const std::filesystem::path& folder,
                                                   const std::vector<AudioFormat>& formats, double seconds) {
    std::vector<std::filesystem::path> tracks;
    for (const AudioFormat format : formats) {
        for (int copy = 0; copy < 2; ++copy) {
            const std::filesystem::path file = folder / ("track" + std::to_string(copy) + extensionOf(format));
            writeToneFile(file, format, ToneShape{{ToneSegment{220.0 * (copy + 1), seconds}}, 44100, 2, 0.5});
            tracks.push_back(file);
        }
    }
    return tracks;
}

} // namespace zalvo
