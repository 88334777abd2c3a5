#pragma once

#include "decode/SndfileReader.h"
#include "decode/TrackOutline.h"
#include "decode/TrackSpan.h"
#include "pcm/PcmFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zalvo {

class FileStream;
class ModuleDecoder;
class RadioStream;
class StreamStatus;

// One audio file decoded to 32-bit float PCM (full scale is ±1): through libsndfile first, the FFmpeg module after it.
// Only regular files are read, and both paths refuse the same headers, those no real file has, so that no file can make
// playback allocate or wait beyond reason.
class TrackDecoder final {
public:
    ~TrackDecoder();
    TrackDecoder(const TrackDecoder&) = delete;
    TrackDecoder& operator=(const TrackDecoder&) = delete;

    // A decoder at the file's first frame, or nothing when the file does not open, has a rate or a
    // channel count no real file has, or declares no length and yields no sample. For an internet
    // stream's URL, a decoder that has not connected yet: see connect().
    static std::unique_ptr<TrackDecoder> open(const std::string& utf8Path);
    // A decoder of that part of the file only, at its first frame, which is the track's frame 0; nothing
    // also when the part begins past the file's end or the file cannot seek there.
    static std::unique_ptr<TrackDecoder> open(const std::string& utf8Path, TrackSpan span);
    // The format and length open() would find, or nothing where it would fail; Ogg Vorbis and MP4
    // files are read without setting up their decoder.
    static std::optional<TrackOutline> outline(const std::string& utf8Path);

    // Connects an internet stream, on a thread that may wait on the network, and learns its format: a
    // stream's format before is a guess. False, with the failure in its status, when it does not play;
    // true at once for a file.
    bool connect();
    // What an internet stream says of itself as it plays; null for a file.
    const std::shared_ptr<StreamStatus>& streamStatus() const { return status; }

    PcmFormat format() const { return pcmFormat; }
    // The length the header gives, in frames; nothing when the header does not say.
    std::optional<std::uint64_t> headerFrames() const;

    // Whole frames into `samples`, scaled by the gain; fewer than asked means the audio ends there.
    std::size_t read(std::span<float> samples);
    // The factor read() scales the track by: its loudness correction. 1 until set. A raise is lowered
    // where it would take a sample past full scale.
    void setGain(float factor) { gain = factor; }
    // False when the file cannot seek there; the position is then unspecified.
    bool seek(std::uint64_t frame);
    // Plays on into the part of the file that follows the one read to its end, as the next track, with
    // no seek: its audio then joins this one's to the sample. False when `next` does not begin there.
    bool continueInto(TrackSpan next);

private:
    // To outline a file the module only describes it: that decoder has a format and a length, no reader.
    enum class Use { Play, Outline };

    TrackDecoder();
    static std::unique_ptr<TrackDecoder> open(std::unique_ptr<FileStream> input, Use use);
    std::size_t readSamples(float* samples, std::size_t count);
    void applyGain(std::span<float> block);
    // Reads libsndfile's first frames into `primed`; false when they yield nothing.
    bool primeFrom(SndfileReader& reader, const SndfileReader::Info& info);

    std::unique_ptr<FileStream> input;
    std::unique_ptr<SndfileReader> sndfile;
    std::unique_ptr<ModuleDecoder> module;
    std::unique_ptr<RadioStream> radio;
    std::shared_ptr<StreamStatus> status;
    PcmFormat pcmFormat;
    std::optional<std::uint64_t> declaredFrames;
    // The module's outline found the album's cue sheet in the container's tags.
    bool taggedCueSheet = false;
    // The part of the file played, and where in the file reading stands, in frames.
    std::uint64_t spanFirst = 0;
    std::optional<std::uint64_t> spanEnd;
    std::uint64_t position = 0;
    float gain = 1.0F;
    // The samples of the first read, which proved the file yields audio; handed out before any other.
    std::vector<float> primed;
    std::size_t primedCount = 0;
    std::size_t primedOffset = 0;
};

} // namespace zalvo
