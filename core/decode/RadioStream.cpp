#include "decode/RadioStream.h"

#include "base/Log.h"
#include "decode/DecoderModule.h"
#include "decode/IcyMetadata.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

namespace zalvo {

namespace {

// A blink of the network is bridged at once; a server back from a restart is heard within 2 s of its
// return, and one gone for good is asked some fifteen times before the stream ends.
constexpr std::chrono::milliseconds firstRetry{250};
constexpr std::chrono::milliseconds longestRetry{2000};
std::atomic<std::chrono::milliseconds> reconnectingTime{std::chrono::seconds(30)};

} // namespace

void RadioStream::setReconnectingTime(std::chrono::milliseconds time) {
    reconnectingTime.store(time);
}

RadioStream::RadioStream(std::string url, std::shared_ptr<StreamStatus> status)
    : url(std::move(url)), status(std::move(status)) {}

RadioStream::~RadioStream() = default;

std::unique_ptr<ModuleStream> RadioStream::open(std::string& failure) const {
    // OpenSSL's variable names the authorities to trust in place of the system's own.
    const char* authorities = std::getenv("SSL_CERT_FILE");
    const StreamRequest request{url.c_str(), &status->cancelled(), authorities, pcmFormat, &failure};
    return DecoderModule::open(request);
}

bool RadioStream::connect() {
    std::string failure;
    stream = open(failure);
    if (!stream) {
        ended = true;
        if (!status->cancelled().load()) {
            Log::warning(Log::Category::Engine, "The stream does not play: " + url + ": " + failure);
            status->setFailure(std::move(failure));
        }
        return false;
    }
    pcmFormat = stream->format();
    status->setStation(IcyMetadata::text(stream->stationName()));
    status->setPlayed();
    return true;
}

std::size_t RadioStream::read(float* samples, std::size_t frames) {
    std::size_t done = 0;
    while (done < frames && !ended) {
        if (!stream && !reconnect()) {
            ended = true;
            break;
        }
        const std::size_t got = stream->read(samples + done * pcmFormat.channels, frames - done);
        done += got;
        takeTitle();
        if (done < frames) {
            stream.reset();
            if (!status->cancelled().load()) {
                Log::debug(Log::Category::Engine, "The stream dropped; connecting again: " + url);
            }
        }
    }
    return done;
}

bool RadioStream::reconnect() {
    const std::chrono::milliseconds patience = reconnectingTime.load();
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    std::chrono::milliseconds wait = firstRetry;
    while (!status->cancelled().load()) {
        std::string failure;
        stream = open(failure);
        if (stream) {
            Log::debug(Log::Category::Engine, "The stream is back: " + url);
            return true;
        }
        if (std::chrono::steady_clock::now() + wait >= giveUp) {
            Log::warning(Log::Category::Engine, "The stream was lost and did not come back: " + url + ": " + failure);
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(patience).count();
            status->setFailure("it was lost and did not come back within " + std::to_string(seconds) +
                               " s: " + failure);
            return false;
        }
        if (!status->pause(wait)) {
            break;
        }
        wait = std::min(wait * 2, longestRetry);
    }
    return false;
}

void RadioStream::takeTitle() {
    std::string block;
    if (stream && stream->takeMetadata(block)) {
        if (std::optional<IcyMetadata::Title> title = IcyMetadata::streamTitle(block)) {
            status->setTitle(*std::move(title));
        }
    }
}

} // namespace zalvo
