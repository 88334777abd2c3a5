#pragma once

#include "tags/TrackTags.h"

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace zalvo {

// Flac24 keeps 24 bits a sample and WavFloat 32-bit floats as they are, where the others keep 16 (or
// are lossy).
enum class AudioFormat { Wav, WavFloat, Aiff, Flac, Flac24, Ogg, Opus, Mp3 };

// One stretch of a pure tone; frequency 0 gives silence.
struct ToneSegment {
    double frequency = 440.0;
    double seconds = 0.2;
};

struct ToneShape {
    std::vector<ToneSegment> segments{ToneSegment{}};
    int sampleRate = 44100;
    int channels = 1;
    double amplitude = 1.0;
};

// Writes an audio fixture through libsndfile; throws std::runtime_error when it cannot.
void writeToneFile(const std::filesystem::path& file, AudioFormat format, const ToneShape& shape = {});
// The same, tagged where the format keeps tags (FLAC, Ogg, Opus, MP3); empty tags are left out.
void writeToneFile(const std::filesystem::path& file, AudioFormat format, const ToneShape& shape,
                   const TrackTags& tags);

// Writes interleaved frames as they are, through libsndfile; throws std::runtime_error when it cannot.
void writeAudioFile(const std::filesystem::path& file, AudioFormat format, std::span<const float> frames,
                    int sampleRate = 44100, int channels = 1);

// The usual file extension of a format, with its dot.
std::string extensionOf(AudioFormat format);

// Every format the player is expected to open.
std::vector<AudioFormat> allAudioFormats();

// Two stereo tones of each format (220 Hz in track0, 440 Hz in track1, with the format's extension) in
// `folder`, as the loading benchmarks' playlists name them; the paths in that order.
std::vector<std::filesystem::path> writeTrackPairs(const std::filesystem::path& folder,
                                                   const std::vector<AudioFormat>& formats, double seconds);

} // namespace zalvo
