#pragma once

#include "decode/ModuleStream.h"
#include "decode/TrackOutline.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

namespace zalvo {

// One audio file or internet stream decoded by FFmpeg into interleaved 32-bit float PCM. A file is read
// through its own I/O context over the descriptor handed to it, with no protocol, so that no crafted file
// can make it open another file, reach the network or read without end. A stream reaches HTTP, HTTPS
// and HLS over them only, so that no server's answer can make it read a local file. Both decode with
// audio demuxers only, and bounded probing.
class FfmpegDecoder final : public ModuleStream {
public:
    ~FfmpegDecoder() override;
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    // A decoder whose first frame is decoded already, or null; `descriptor` is closed either way.
    static std::unique_ptr<FfmpegDecoder> open(int descriptor);
    // What open() would play, from the container alone where it says enough; `descriptor` is closed.
    static std::optional<TrackOutline> outline(int descriptor);
    // The container's tags, then the audio stream's, into `tags`; false where nothing opens. `descriptor`
    // is closed.
    static bool tags(int descriptor, ModuleTags& tags);
    // A stream whose first frame is decoded already, or null with the reason said in the request.
    static std::unique_ptr<FfmpegDecoder> open(const StreamRequest& request);
    // A station's playlist: the whole answer, up to `limit` bytes, or false with the reason said.
    static bool fetch(const StreamRequest& request, std::size_t limit, std::string& body);

    PcmFormat format() const override { return output; }
    std::optional<std::uint64_t> frames() const override { return length; }
    std::size_t read(float* samples, std::size_t frames) override;
    bool seek(std::uint64_t target) override;
    bool takeMetadata(std::string& block) override;
    std::string stationName() const override { return station; }

    struct Input {
        int descriptor = -1;
        std::int64_t position = 0;
        std::int64_t size = 0;
        // Bytes read so far, and how many the opening may read before it gives up.
        std::int64_t consumed = 0;
        std::int64_t budget = 0;
    };

    // What FFmpeg's waits on the network look at to give up.
    struct Network {
        const std::atomic<bool>* cancelled = nullptr;
        std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    };

private:
    FfmpegDecoder() = default;
    // A decoder with its container open and its audio stream chosen, its codec not yet open.
    static std::unique_ptr<FfmpegDecoder> openContainer(int descriptor);
    bool openStream();
    // Opens the container of a stream, its audio stream chosen; the reason said where it does not.
    bool openRemote(const StreamRequest& request);
    bool openCodec();
    int releaseDescriptor();
    // Decodes the next frame into `pending`; false when the audio ends.
    bool decodeFrame();
    // Converts the frame just received into `pending`; false when it cannot be played.
    bool takeFrame();
    // Hands the codec the next packet of the audio stream, or tells it the stream has ended.
    void feedPacket();
    // Converts `decoded` (or what the resampler holds back, when null) into `pending`; false on failure.
    bool convert(AVFrame* decoded);
    void describeLength();
    // Where `decoded` starts, in output frames from the track's first; nothing when it does not say.
    std::optional<std::int64_t> positionOf(const AVFrame* decoded) const;

    Input input;
    Network network;
    bool live = false;
    std::string station;
    std::string metadata;
    AVIOContext* io = nullptr;
    AVFormatContext* container = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* converted = nullptr;
    AVChannelLayout outputLayout{};
    int streamIndex = -1;
    PcmFormat output;
    std::optional<std::uint64_t> length;
    // Frames past this one are the encoder's padding, when the container says where its audio ends.
    std::optional<std::uint64_t> audioEnd;
    std::int64_t firstPts = 0;
    std::uint64_t delivered = 0;
    bool draining = false;
    bool finished = false;
    std::vector<float> pending;
    std::size_t pendingOffset = 0;
    // Where `pending` starts, in output frames, when the stream says.
    std::optional<std::int64_t> pendingStart;
};

} // namespace zalvo
