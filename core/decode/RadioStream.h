#pragma once

#include "decode/ModuleStream.h"
#include "decode/StreamStatus.h"
#include "pcm/PcmFormat.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace zalvo {

// One internet stream, read through the decoder module. It connects on the thread that first needs its
// format, never the player's; its reads wait on the network, and when the connection drops it connects
// again, for a while, before the stream ends. What the station says of itself goes to its status.
class RadioStream final {
public:
    // How long a stream that dropped is tried again before it ends: 30 s unless a harness says otherwise.
    static void setReconnectingTime(std::chrono::milliseconds time);

    RadioStream(std::string url, std::shared_ptr<StreamStatus> status);
    ~RadioStream();
    RadioStream(const RadioStream&) = delete;
    RadioStream& operator=(const RadioStream&) = delete;

    // Connects and decodes the first frame; false, with the failure in the status, where it does not.
    bool connect();
    // Known once connected.
    PcmFormat format() const { return pcmFormat; }
    // Whole frames; fewer than asked only once the stream has ended for good.
    std::size_t read(float* samples, std::size_t frames);

private:
    // One attempt; null with `failure` said.
    std::unique_ptr<ModuleStream> open(std::string& failure) const;
    // After a drop: tries again, waiting longer between tries, until the stream is back or the time is up.
    bool reconnect();
    void takeTitle();

    std::string url;
    std::shared_ptr<StreamStatus> status;
    std::unique_ptr<ModuleStream> stream;
    PcmFormat pcmFormat;
    bool ended = false;
};

} // namespace zalvo
