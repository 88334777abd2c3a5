#include "PlayList.h"

#include "Archive.h"
#include "ArchiveException.h"
#include "AudioConfig.h"
#include "TrackOpener.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <limits>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace {

// One engine for the whole run, seeded from the clock when first used.
std::mt19937& randomEngine() {
    static std::mt19937 engine(
        static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count()));
    return engine;
}

AudioConfig& settings() {
    return *AudioConfig::getInstance();
}

} // namespace

PlayList::PlayList() {
    settings().attach(this);
}

PlayList::~PlayList() {
    clear();
}

Music* PlayList::getCurrent() {
    if (current == list.end()) {
        if (list.empty()) {
            return nullptr;
        }
        current = list.begin();
    }
    return current->get();
}

void PlayList::next(bool fromUser) {
    if (getCurrent() == nullptr) {
        return;
    }
    std::unique_lock<std::recursive_mutex> lock(mutex, std::defer_lock);
    lock.lock();
    (*current)->stop();
    if (settings().isShuffle()) {
        current = getRandomPosition();
        startCurrent();
    } else if (std::next(current) == list.end()) {
        // The user's next always wraps; the end of a track wraps only under repeat.
        if (fromUser || settings().isRepeat()) {
            current = list.begin();
            startCurrent();
        }
    } else {
        ++current;
        startCurrent();
    }
    applyVolume();
    lock.unlock();
}

void PlayList::previous() {
    if (getCurrent() == nullptr) {
        return;
    }
    std::unique_lock<std::recursive_mutex> lock(mutex, std::defer_lock);
    lock.lock();
    (*current)->stop();
    if (settings().isShuffle()) {
        current = getRandomPosition();
    } else if (current == list.begin()) {
        current = std::prev(list.end());
    } else {
        --current;
    }
    startCurrent();
    applyVolume();
    lock.unlock();
}

void PlayList::advanceIfFinished() {
    std::unique_lock<std::recursive_mutex> lock(mutex, std::defer_lock);
    lock.lock();
    const Music* track = getCurrent();
    if (track != nullptr && track->isFinished()) {
        const Position finished = current;
        next(false);
        // The automatic next stayed on the last track: rest on the first so that play starts the list
        // over. A following track that could not start is left current; it counts as finished and the
        // next tick passes over it.
        if (current == finished && (*current)->isStopped()) {
            current = list.begin();
        }
    }
    lock.unlock();
}

bool PlayList::addMusic(const std::u16string& path) {
    auto track = std::make_unique<Music>();
    if (!track->open(path)) {
        return false;
    }
    // A new track sounds at the volume the settings hold, not at the audio library's default.
    track->setVolume(settings().getVolume());
    std::unique_lock<std::recursive_mutex> lock(mutex, std::defer_lock);
    lock.lock();
    list.push_back(std::move(track));
    lock.unlock();
    return true;
}

void PlayList::appendTracks(std::vector<std::unique_ptr<Music>> tracks) {
    const float volume = settings().getVolume();
    const std::scoped_lock lock(mutex);
    for (std::unique_ptr<Music>& track : tracks) {
        track->setVolume(volume);
        list.push_back(std::move(track));
    }
}

void PlayList::replaceTracks(std::vector<std::unique_ptr<Music>> tracks) {
    const std::scoped_lock lock(mutex);
    clear();
    appendTracks(std::move(tracks));
    current = list.begin();
}

void PlayList::removeMusic(Position& position) {
    if (position == list.end()) {
        return;
    }
    if (position == current) {
        next(false);
        // Still current after the move (the last track without repeat, or the only one): nothing is
        // current any more rather than a dead entry.
        if (current == position) {
            current = list.end();
        }
    }
    std::unique_lock<std::recursive_mutex> lock(mutex, std::defer_lock);
    lock.lock();
    list.erase(position);
    lock.unlock();
    position = list.end();
}

void PlayList::clear() {
    for (const std::unique_ptr<Music>& track : list) {
        track->stop();
    }
    list.clear();
    current = list.end();
}

void PlayList::playAt(Position& position) {
    Music* playing = getCurrent();
    if (playing == nullptr) {
        return;
    }
    playing->stop();
    if (position == list.end()) {
        return;
    }
    current = position;
    applyVolume();
    (*current)->playPause();
}

void PlayList::update() {
    if (getCurrent() == nullptr) {
        return;
    }
    // Every track, not only the current one, so that whichever starts next sounds at this volume.
    const float volume = settings().getVolume();
    for (const std::unique_ptr<Music>& track : list) {
        track->setVolume(volume);
    }
}

PlayList::Position PlayList::getRandomPosition() {
    if (list.empty()) {
        return list.end();
    }
    const std::size_t last = list.size() - 1;
    std::uniform_int_distribution<std::size_t> draw(0, last);
    while (true) {
        const auto position = std::next(list.begin(), static_cast<std::ptrdiff_t>(draw(randomEngine())));
        if (last == 0 || position != current) {
            return position;
        }
    }
}

void PlayList::Serialize(Archive& archive) {
    if (archive.isStoring()) {
        if (list.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw ArchiveException(ArchiveException::Cause::WriteFailed);
        }
        archive.writeUInt32(static_cast<std::uint32_t>(list.size()));
        for (const std::unique_ptr<Music>& track : list) {
            archive.writeString(track->getPath());
        }
        return;
    }

    // Built before the old tracks go, it keeps the audio device from closing in between.
    const auto deviceHold = std::make_unique<Music>();
    clear();
    std::vector<std::u16string> paths;
    std::exception_ptr damage;
    try {
        const std::uint32_t count = archive.readUInt32();
        for (std::uint32_t i = 0; i < count; ++i) {
            paths.push_back(archive.readString());
        }
    } catch (const ArchiveException&) {
        // The tracks named before the damage are kept; the caller still hears of it.
        damage = std::current_exception();
    }
    const float volume = settings().getVolume();
    for (std::unique_ptr<Music>& track : TrackOpener::openAll(paths)) {
        track->setVolume(volume);
        list.push_back(std::move(track));
    }
    if (damage) {
        std::rethrow_exception(damage);
    }
    current = list.begin();
}

void PlayList::startCurrent() {
    (*current)->playPause();
}

void PlayList::applyVolume() {
    (*current)->setVolume(settings().getVolume());
}
