#pragma once

#include "decode/ModuleDecoder.h"

#include <atomic>
#include <cstddef>
#include <string>

namespace zalvo {

// One internet stream decoded by the decoder module: a ModuleDecoder with no length that cannot seek,
// whose reads wait on the network, and which tells what the station says of itself as it plays.
class ModuleStream : public ModuleDecoder {
public:
    // The station's latest ICY metadata block ("StreamTitle='…';"), its bytes as sent, when one came
    // since the last call; false otherwise.
    virtual bool takeMetadata(std::string& block) = 0;
    // The station's name from its answer's headers (icy-name), as sent; empty when it gives none.
    virtual std::string stationName() const = 0;
};

// What opening a stream needs. Every wait of the stream's, in opening and in each read, gives up once
// `cancelled` is set.
struct StreamRequest {
    const char* url = nullptr;
    const std::atomic<bool>* cancelled = nullptr;
    // Certificates of the authorities trusted for HTTPS, in PEM; none means the system's own.
    const char* authorities = nullptr;
    // The format to decode into, so that a stream reopened after a drop goes on in the format it began in;
    // a rate of 0 keeps the stream's own.
    PcmFormat format;
    // Why the stream did not open, in English, for the listener.
    std::string* failure = nullptr;
};

// The module's entry point for a URL: a stream whose first frame is decoded already, or null, with
// `failure` said. Only HTTP, HTTPS and HLS over them are reached: no other protocol and no local file,
// whatever the server's answer names.
using ModuleStreamOpen = ModuleStream* (*)(const StreamRequest* request);
inline constexpr const char* moduleStreamOpenSymbol = "zalvo_stream_open_v4";

// The module's entry point for a station's playlist: what the URL answers, over the same protocols (HLS
// aside) and with the same waits as a stream, into `body`; false, with `failure` said, where it does not
// answer or would give more than `limit` bytes. The request's format is not looked at.
using ModuleFetch = bool (*)(const StreamRequest* request, std::size_t limit, std::string* body);
inline constexpr const char* moduleFetchSymbol = "zalvo_fetch_v4";

} // namespace zalvo
