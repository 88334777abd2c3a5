#pragma once

#include "decode/TrackOutline.h"
#include "pcm/PcmFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zalvo {

// One file decoded by a decoder module, a shared library loaded on first need and built with the
// core: the same compiler and the same standard library on both sides of this interface.
class ModuleDecoder {
public:
    virtual ~ModuleDecoder() = default;

    // Interleaved 32-bit float PCM in this format, from the first read to the last.
    virtual PcmFormat format() const = 0;
    // The length in frames, when the file says.
    virtual std::optional<std::uint64_t> frames() const = 0;
    // Up to `frames` whole frames into `samples`; fewer means the audio ends there.
    virtual std::size_t read(float* samples, std::size_t frames) = 0;
    // False when the file cannot seek there; the position is then unspecified.
    virtual bool seek(std::uint64_t frame) = 0;
};

// A module's entry point: a decoder at the first frame of the regular file open on `descriptor`
// (a descriptor of the decoder's own, which it closes), or null when the module plays nothing there.
// The name carries the interface's version, so that a module built for another one is never used.
using ModuleDecoderOpen = ModuleDecoder* (*)(int descriptor);
inline constexpr const char* moduleDecoderOpenSymbol = "zalvo_decoder_open_v4";
// What the decoder would play, into `outline`, without decoding where the container says enough; false
// where the module plays nothing. The descriptor is the module's own, as above.
using ModuleDecoderOutline = bool (*)(int descriptor, TrackOutline* outline);
inline constexpr const char* moduleDecoderOutlineSymbol = "zalvo_decoder_outline_v4";
// The container's own tags (key, value, both UTF-8), appended to `tags` in the container's order, then
// those of the audio stream; false where the module reads no such file. The descriptor is the module's own.
using ModuleTags = std::vector<std::pair<std::string, std::string>>;
using ModuleDecoderTags = bool (*)(int descriptor, ModuleTags* tags);
inline constexpr const char* moduleDecoderTagsSymbol = "zalvo_decoder_tags_v4";
// Where the module's libraries tell of what they meet (a damaged packet): one line at a time, from any
// thread. Set once, as the module loads, before anything is decoded.
using ModuleLogSink = void (*)(std::string_view message);
using ModuleDecoderSetLog = void (*)(ModuleLogSink sink);
inline constexpr const char* moduleDecoderSetLogSymbol = "zalvo_decoder_set_log_v4";

} // namespace zalvo
