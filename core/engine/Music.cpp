#include "Music.h"

#include "SndfileReader.h"
#include "TextEncoding.h"

#include <SFML/Audio/AlResource.hpp>
#include <SFML/Audio/InputSoundFile.hpp>
#include <SFML/Audio/Music.hpp>
#include <SFML/System/FileInputStream.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

namespace {

// SFML closes the audio device along with its last audio object. Idle tracks hold no stream, so the
// tracks share one hold on the device; otherwise every track change would close and reopen it.
class DeviceHold final : public sf::AlResource {};

// Tracks are built on the threads that open a playlist's files too.
std::mutex deviceMutex;
std::size_t liveTracks = 0;
std::unique_ptr<DeviceHold> deviceHold;

std::atomic<std::uint64_t> nextId = 1;

// Only regular files: opening a FIFO would block, and a device or directory never ends. A name with
// a NUL in it would reach the file system cut short, naming another file.
bool isRegularFile(const std::string& nativePath) {
    std::error_code error;
    return !nativePath.empty() && nativePath.find('\0') == std::string::npos &&
           std::filesystem::is_regular_file(std::filesystem::path(nativePath), error);
}

// The channel layouts SFML can hand to OpenAL; a stream of any other count would stay silent.
bool isPlayableLayout(unsigned channelCount) {
    constexpr std::array playable{1U, 2U, 4U, 6U, 7U, 8U};
    return std::find(playable.begin(), playable.end(), channelCount) != playable.end();
}

// Asks libsndfile directly, which opens every usual format in well under a millisecond; the
// factory would run its check and then open the file a second time. SFML's readers come after.
std::optional<float> durationOf(const std::string& nativePath) {
    sf::FileInputStream input;
    SndfileReader reader;
    sf::SoundFileReader::Info info{};
    if (input.open(nativePath) && reader.open(input, info)) {
        if (!isPlayableLayout(info.channelCount)) {
            return std::nullopt;
        }
        const auto samples = static_cast<float>(info.sampleCount);
        return sf::seconds(samples / static_cast<float>(info.channelCount) / static_cast<float>(info.sampleRate))
            .asSeconds();
    }
    // SFML's reader registry fills itself on first use without a lock, and playlists open their
    // tracks on several threads.
    static std::mutex sfmlReaders;
    const std::scoped_lock lock(sfmlReaders);
    sf::InputSoundFile file;
    if (file.openFromFile(nativePath) && isPlayableLayout(file.getChannelCount())) {
        return file.getDuration().asSeconds();
    }
    return std::nullopt;
}

} // namespace

Music::Music() : id(nextId++) {
    SndfileReader::registerOnce();
    const std::scoped_lock lock(deviceMutex);
    if (liveTracks++ == 0) {
        deviceHold = std::make_unique<DeviceHold>();
    }
}

Music::~Music() {
    stream.reset();
    const std::scoped_lock lock(deviceMutex);
    if (--liveTracks == 0) {
        deviceHold.reset();
    }
}

bool Music::open(const std::u16string& newPath) {
    std::optional<std::string> utf8 = TextEncoding::toUtf8(newPath);
    if (!utf8 || !isRegularFile(*utf8)) {
        return false;
    }
    const std::optional<float> length = durationOf(*utf8);
    if (!length) {
        return false;
    }
    stop();
    path = newPath;
    nativePath = *std::move(utf8);
    duration = *length;
    return true;
}

void Music::playPause() {
    if (isPlaying()) {
        stream->pause();
        playClock.pause();
        return;
    }
    if (!stream) {
        auto fresh = std::make_unique<sf::Music>();
        if (!isRegularFile(nativePath) || !fresh->openFromFile(nativePath)) {
            // The file went away or changed since it was opened; a playlist must not wait on it.
            unplayable = true;
            return;
        }
        fresh->setVolume(volume);
        duration = fresh->getDuration().asSeconds();
        stream = std::move(fresh);
    }
    stream->play();
    playClock.resume();
}

void Music::seek(float seconds) {
    if (stream) {
        stream->setPlayingOffset(sf::seconds(std::clamp(seconds, 0.0F, duration)));
    }
}

void Music::stop() {
    stream.reset();
    unplayable = false;
    playClock.reset(true);
}

bool Music::isStopped() const {
    return !stream || stream->getStatus() == sf::SoundSource::Stopped;
}

bool Music::isPaused() const {
    return stream && stream->getStatus() == sf::SoundSource::Paused;
}

bool Music::isPlaying() const {
    return stream && stream->getStatus() == sf::SoundSource::Playing;
}

bool Music::isFinished() const {
    return unplayable || static_cast<double>(duration) <= static_cast<double>(playClock.getElapsedTime());
}

void Music::setVolume(float newVolume) {
    volume = std::clamp(newVolume, 0.0F, 100.0F);
    if (stream) {
        stream->setVolume(volume);
    }
}
