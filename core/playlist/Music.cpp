#include "playlist/Music.h"

#include "base/Log.h"
#include "base/StreamUrl.h"
#include "base/TextEncoding.h"
#include "decode/TrackDecoder.h"
#include "engine/Playback.h"
#include "formats/CueEntry.h"
#include "output/AudioOutput.h"
#include "playlist/AudioConfig.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <vector>

namespace zalvo {

namespace {

// Idle tracks hold no stream, so the tracks share one hold on the audio device: otherwise every track
// change would close and reopen it. The hold is taken by the first track that plays, not by building
// one: files that do not open, and the tracks of a playlist being read, never touch the device. Tracks
// are built on the threads that open a playlist's files too.
std::mutex deviceMutex;
std::size_t liveTracks = 0;
bool deviceHeld = false;
std::shared_ptr<void> deviceHold;

void holdDevice() {
    const std::scoped_lock lock(deviceMutex);
    if (!deviceHeld) {
        deviceHold = AudioOutput::holdDevice();
        deviceHeld = true;
    }
}

std::atomic<std::uint64_t> nextId = 1;

} // namespace

// glibc's malloc gives 56 bytes the same 64-byte chunk as 48, and 64 bytes an 80-byte one.
static_assert(sizeof(Music) <= 56, "a track outgrew its allocator chunk");

Music::Music() : id(nextId++) {
    const std::scoped_lock lock(deviceMutex);
    ++liveTracks;
}

Music::~Music() {
    playback.reset();
    const std::scoped_lock lock(deviceMutex);
    if (--liveTracks == 0) {
        deviceHold.reset();
        deviceHeld = false;
    }
}

bool Music::open(const std::u16string& newPath) {
    return outlineAs(newPath, nullptr);
}

bool Music::open(const std::u16string& newPath, const TrackOutline& outline) {
    return outlineAs(newPath, nullptr, outline);
}

bool Music::open(const std::u16string& newPath, CueTrack track) {
    return outlineAs(newPath, std::make_unique<const CueTrack>(std::move(track)));
}

bool Music::outlineAs(const std::u16string& newPath, std::unique_ptr<const CueTrack> track,
                      std::optional<TrackOutline> outline) {
    const std::optional<std::string> utf8 = TextEncoding::toUtf8(newPath);
    if (!utf8) {
        return false;
    }
    if (StreamUrl::isStream(*utf8)) {
        if (track) {
            return false;
        }
        // Nothing to outline: a station has no length, and its format is known once it connects.
        outline = TrackOutline{};
    }
    if (!outline) {
        outline = TrackDecoder::outline(*utf8);
    }
    if (!outline) {
        return false;
    }
    const unsigned rate = outline->format.sampleRate;
    std::optional<std::uint64_t> frames = outline->frames;
    if (track) {
        const std::uint64_t first = TrackSpan::framesAt(track->span.begin, rate);
        if (frames && first >= *frames) {
            return false;
        }
        const std::optional<std::uint64_t> end =
            track->span.end ? std::optional(TrackSpan::framesAt(*track->span.end, rate)) : std::nullopt;
        if (frames || end) {
            frames = std::min(frames.value_or(*end), end.value_or(*frames)) - first;
        }
    }
    stop();
    path = TrackPath(*utf8);
    tags.store(nullptr);
    cue = std::move(track);
    duration = frames && rate > 0 ? static_cast<float>(static_cast<double>(*frames) / rate) : 0.0F;
    return true;
}

std::u16string Music::getEntry() const {
    return cue ? CueEntry{cue->sheet, cue->number}.name() : path.text();
}

void Music::playPause(std::shared_ptr<const GaplessSource::Plan> followers) {
    if (isPlaying()) {
        playback->pause();
    } else if (isPaused()) {
        playback->play();
    } else if (!start(std::move(followers))) {
        // The file went away or changed since it was opened; a playlist must not wait on it.
        passOver();
    }
}

std::unique_ptr<TrackDecoder> Music::positioned(std::unique_ptr<TrackDecoder> decoder, const std::string& utf8Path,
                                                TrackSpan span, std::uint64_t frame) {
    if (frame == 0 || decoder->seek(frame)) {
        return decoder;
    }
    // A file that cannot seek there, such as a stream that gives no length: decode forward to it from
    // the start. Nothing when the track ends before it.
    decoder = TrackDecoder::open(utf8Path, span);
    constexpr std::size_t framesAtOnce = 4096;
    std::vector<float> skipped;
    for (std::uint64_t at = 0; decoder && at < frame;) {
        const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(framesAtOnce, frame - at));
        skipped.resize(frames * decoder->format().channels);
        const std::size_t got = decoder->read(skipped);
        at += got;
        if (got < frames) {
            decoder.reset();
        }
    }
    return decoder;
}

void Music::packPaths(std::span<const std::unique_ptr<Music>> tracks) {
    std::vector<TrackPath*> paths;
    paths.reserve(tracks.size());
    for (const std::unique_ptr<Music>& track : tracks) {
        paths.push_back(&track->path);
    }
    TrackPath::pack(paths);
}

std::shared_ptr<const TrackTagsOnce> Music::getTags() const {
    std::shared_ptr<const TrackTagsOnce> known = tags.load();
    if (!known) {
        auto made = cue ? std::make_shared<const TrackTagsOnce>(path.text(), cue->tags)
                        : std::make_shared<const TrackTagsOnce>(path.text());
        // Of two threads that come at once, the first one's holder is the track's.
        known = tags.compare_exchange_strong(known, made) ? std::move(made) : known;
    }
    return known;
}

bool Music::start(std::shared_ptr<const GaplessSource::Plan> followers) {
    keepDecodedLength();
    playback.reset();
    const std::string utf8 = path.utf8();
    std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(utf8, getSpan());
    if (!decoder) {
        return false;
    }
    const AudioConfig* settings = AudioConfig::getInstance();
    playback =
        std::make_unique<Playback>(std::move(decoder), GaplessSource::Track{id, utf8, this, getTags(), getSpan()}, 0,
                                   TrackLoudness{settings->getReplayGainMode(), settings->isShuffle()},
                                   getVolume() / 100.0F, std::move(followers));
    playback->play();
    // Once the output is opening on its own thread: looking for the sound server here must not hold
    // back the first sound. An OpenAL Soft device the output opened meanwhile is the one held.
    holdDevice();
    return true;
}

void Music::stop() {
    keepDecodedLength();
    playback.reset();
    unplayable = false;
}

bool Music::isStream() const {
    return path.isStream();
}

std::shared_ptr<StreamStatus> Music::getStreamStatus() const {
    return playback ? playback->streamStatus() : nullptr;
}

void Music::seek(float seconds) {
    if (!playback || std::isnan(seconds) || isStream()) {
        return;
    }
    const std::string utf8 = path.utf8();
    std::unique_ptr<TrackDecoder> decoder = TrackDecoder::open(utf8, getSpan());
    if (!decoder) {
        return;
    }
    const bool lengthKnown = getDuration() > 0.0F;
    const double target =
        std::clamp(static_cast<double>(seconds), 0.0, static_cast<double>(lengthKnown ? getDuration() : seconds));
    const auto frame = static_cast<std::uint64_t>(target * decoder->format().sampleRate);
    decoder = positioned(std::move(decoder), utf8, getSpan(), frame);
    if (decoder) {
        keepDecodedLength();
        // The same stream goes on from there: the output drops what it holds, and the connection stays.
        playback->seek(std::move(decoder), GaplessSource::Track{id, utf8, this, getTags(), getSpan()}, frame);
    } else if (lengthKnown) {
        stop();
        passOver();
    }
    // Past the end of a track that gives no length: it plays on where it was.
}

void Music::passOver() {
    unplayable = true;
    Log::warning(Log::Category::Engine, "Passed over a track that no longer opens: " +
                                            TextEncoding::toUtf8(TextEncoding::readable(path.text())).value_or(""));
}

bool Music::isStopped() const {
    return !isPlaying() && !isPaused();
}

bool Music::isPaused() const {
    return playback && playback->isPaused();
}

bool Music::isPlaying() const {
    return playback && !playback->isPaused() && !playback->drained();
}

bool Music::isFinished() const {
    return unplayable || (playback && playback->heardToEnd(id));
}

void Music::setVolume(float newVolume) {
    volumeHundredths = static_cast<std::uint16_t>(std::lround(std::clamp(newVolume, 0.0F, 100.0F) * 100.0F));
    if (playback) {
        playback->setGain(getVolume() / 100.0F);
    }
}

float Music::getElapsedTime() const {
    return playback ? static_cast<float>(playback->heardSeconds(id)) : 0.0F;
}

float Music::getDuration() const {
    if (playback) {
        if (const std::optional<double> decoded = playback->decodedSeconds(id)) {
            return static_cast<float>(*decoded);
        }
    }
    return duration;
}

void Music::setFollowers(std::shared_ptr<const GaplessSource::Plan> plan) {
    if (playback) {
        playback->setPlan(std::move(plan));
    }
}

bool Music::hasFollowers() const {
    return playback && playback->hasPlan();
}

std::optional<GaplessSource::Track> Music::getFollower() const {
    return playback ? playback->trackAfter(id) : std::nullopt;
}

void Music::takeOver(Music& previous) {
    previous.keepDecodedLength();
    playback = std::move(previous.playback);
    previous.unplayable = false;
    if (playback) {
        // The plan of the track before reaches past this one; it stands until this one's replaces it.
        playback->forgetBefore(id);
        playback->setGain(getVolume() / 100.0F);
    }
}

void Music::keepDecodedLength() {
    if (playback) {
        if (const std::optional<double> decoded = playback->decodedSeconds(id)) {
            duration = static_cast<float>(*decoded);
        }
    }
}

} // namespace zalvo
