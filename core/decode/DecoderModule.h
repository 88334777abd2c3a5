#pragma once

#include "decode/ModuleDecoder.h"
#include "decode/ModuleStream.h"
#include "decode/TrackOutline.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace zalvo {

// The FFmpeg decoder module, loaded the first time a file needs it and kept for the process's life:
// a player that never meets such a file never pays for FFmpeg. Found where ModuleFolders looks.
class DecoderModule final {
public:
    // A decoder for the regular file open on `descriptor` (left open for the caller), or null when the
    // module is missing or plays nothing there.
    static std::unique_ptr<ModuleDecoder> open(int descriptor);
    // Whether the module loads; the first call loads it.
    static bool available();
    // What open() would play, learnt without decoding where the file's container says enough.
    static std::optional<TrackOutline> outline(int descriptor);
    // The container's own tags, for the files whose tags only FFmpeg reads; nothing where the module is
    // missing or reads nothing there.
    static std::optional<ModuleTags> tags(int descriptor);
    // An internet stream, connected and at its first frame; null with the failure said where it does not
    // open or the module is missing. Waits on the network: never on the UI thread.
    static std::unique_ptr<ModuleStream> open(const StreamRequest& request);
    // What a station's playlist URL answers, up to `limit` bytes; nothing, with the failure said, where
    // it does not answer, answers more, or the module is missing. Waits on the network.
    static std::optional<std::string> fetch(const StreamRequest& request, std::size_t limit);
};

} // namespace zalvo
