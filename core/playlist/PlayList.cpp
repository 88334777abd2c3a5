#include "playlist/PlayList.h"

#include "base/TextEncoding.h"
#include "formats/Archive.h"
#include "formats/ArchiveException.h"
#include "formats/ArchiveFormat.h"
#include "playlist/AudioConfig.h"
#include "playlist/TrackOpener.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace zalvo {

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

// Picks, at each join, what follows the ending track in the chain the settings of that moment call for:
// the list order (past `wrapsAt` only under repeat) or the drawn order.
std::function<std::optional<GaplessSource::Track>(std::uint64_t)>
followerChooser(std::vector<GaplessSource::Track> inOrder, std::size_t wrapsAt,
                std::vector<GaplessSource::Track> drawn) {
    const AudioConfig* config = &settings();
    return [config, inOrder = std::move(inOrder), wrapsAt,
            drawn = std::move(drawn)](std::uint64_t ending) -> std::optional<GaplessSource::Track> {
        const bool shuffle = config->isShuffle();
        const std::vector<GaplessSource::Track>& tracks = shuffle ? drawn : inOrder;
        const auto found = std::ranges::find_if(tracks, [ending](const auto& t) { return t.id == ending; });
        if (found == tracks.end() || std::next(found) == tracks.end()) {
            return std::nullopt;
        }
        const auto index = static_cast<std::size_t>(std::distance(tracks.begin(), found)) + 1;
        if (!shuffle && index >= wrapsAt && !config->isRepeat()) {
            return std::nullopt;
        }
        return *std::next(found);
    };
}

} // namespace

PlayList::PlayList() {
    settings().attach(this);
}

PlayList::~PlayList() {
    clear();
}

Music* PlayList::shownTrack() {
    const std::scoped_lock lock(mutex);
    const auto shown = current != list.end() ? current : list.begin();
    return shown != list.end() ? shown->get() : nullptr;
}

Music* PlayList::getCurrent() {
    const std::scoped_lock lock(mutex);
    if (current == list.end()) {
        if (list.empty()) {
            return nullptr;
        }
        current = list.begin();
    }
    return current->get();
}

void PlayList::next(bool fromUser) {
    const std::scoped_lock lock(mutex);
    moveOn(fromUser, true);
}

void PlayList::moveOn(bool fromUser, bool start) {
    if (getCurrent() == nullptr) {
        return;
    }
    if (!fromUser && (*current)->isFinished() && adoptFollower()) {
        return;
    }
    (*current)->stop();
    if (settings().isShuffle()) {
        current = getRandomPosition();
    } else if (std::next(current) != list.end()) {
        ++current;
    } else if (fromUser || settings().isRepeat()) {
        // The user's next always wraps; the end of a track wraps only under repeat.
        current = list.begin();
    } else {
        start = false;
    }
    applyVolume();
    listChanged();
    if (start) {
        startCurrent();
    }
}

bool PlayList::adoptFollower() {
    const std::optional<GaplessSource::Track> follower = (*current)->getFollower();
    if (!follower) {
        return false;
    }
    const auto isFollower = [&follower](const std::unique_ptr<Music>& track) {
        return track.get() == follower->owner && track->getId() == follower->id;
    };
    // The following entry or the first one, but for shuffle; a track removed meanwhile is not found.
    auto found = std::next(current);
    if (found == list.end() || !isFollower(*found)) {
        found = std::find_if(list.begin(), list.end(), isFollower);
    }
    if (found == list.end()) {
        return false;
    }
    (*found)->takeOver(**current);
    current = found;
    applyVolume();
    listChanged();
    publishFollowers();
    return true;
}

void PlayList::publishFollowers() {
    if (current == list.end() || (*current)->isStopped()) {
        return;
    }
    (*current)->setFollowers(followers());
}

std::shared_ptr<const GaplessSource::Plan> PlayList::followers() {
    const auto trackAt = [](const Position& position) -> std::optional<GaplessSource::Track> {
        // A station is connected to only when it comes to play, never opened ahead.
        if ((*position)->isStream()) {
            return std::nullopt;
        }
        std::optional<std::string> utf8 = TextEncoding::toUtf8((*position)->getPath());
        if (!utf8) {
            return std::nullopt;
        }
        return GaplessSource::Track{(*position)->getId(), *std::move(utf8), position->get(), (*position)->getTags(),
                                    (*position)->getSpan()};
    };
    // The output may pull past several short tracks between two ticks. A track of unknown length counts
    // as long enough.
    constexpr double aheadSeconds = GaplessSource::Plan::aheadSeconds;
    constexpr std::size_t mostAhead = GaplessSource::Plan::mostAhead;
    const auto lengthOf = [](const Position& position) {
        const float seconds = (*position)->getDuration();
        return seconds > 0.0F ? static_cast<double>(seconds) : aheadSeconds;
    };
    // A track cannot follow itself in one stream: each chain holds a track once, so that a lone track
    // repeated starts over on the tick.
    const auto chain = [&](std::vector<GaplessSource::Track>& tracks, const auto& nextAfter) {
        tracks.push_back(GaplessSource::Track{(*current)->getId(), {}, current->get(), {}});
        double ahead = 0.0;
        for (auto at = current; tracks.size() <= mostAhead && ahead < aheadSeconds;) {
            at = nextAfter(at);
            std::optional<GaplessSource::Track> track = at != list.end() ? trackAt(at) : std::nullopt;
            if (!track || std::ranges::any_of(tracks, [&track](const auto& t) { return t.id == track->id; })) {
                break;
            }
            tracks.push_back(*std::move(track));
            ahead += lengthOf(at);
        }
    };
    // In list order, wrapping to the first entry; the entries from the wrap on follow only under repeat.
    std::vector<GaplessSource::Track> inOrder;
    std::size_t wrapsAt = std::numeric_limits<std::size_t>::max();
    chain(inOrder, [this, &inOrder, &wrapsAt](Position at) {
        if (++at == list.end() && wrapsAt > inOrder.size()) {
            wrapsAt = inOrder.size();
            at = list.begin();
        }
        return at;
    });
    // Drawing walks the list: only while shuffle is on. The tick republishes when it is switched.
    publishedShuffle = settings().isShuffle();
    std::vector<GaplessSource::Track> drawn;
    if (publishedShuffle && list.size() > 1) {
        chain(drawn, [this](const Position& at) { return randomPositionOtherThan(at); });
    }
    auto plan = std::make_shared<GaplessSource::Plan>();
    plan->choose = followerChooser(std::move(inOrder), wrapsAt, std::move(drawn));
    publishedVersion = planVersion();
    return plan;
}

void PlayList::previous() {
    const std::scoped_lock lock(mutex);
    if (getCurrent() == nullptr) {
        return;
    }
    (*current)->stop();
    if (settings().isShuffle()) {
        current = getRandomPosition();
    } else if (current == list.begin()) {
        current = std::prev(list.end());
    } else {
        --current;
    }
    applyVolume();
    listChanged();
    startCurrent();
}

bool PlayList::advanceIfFinished() {
    const std::scoped_lock lock(mutex);
    const Music* track = getCurrent();
    if (track == nullptr) {
        return false;
    }
    if (track->isFinished()) {
        const Position finished = current;
        next(false);
        // The automatic next stayed on the last track: rest on the first so that play starts the list
        // over. A following track that could not start is left current; it counts as finished and the
        // next tick passes over it.
        if (current == finished && (*current)->isStopped()) {
            current = list.begin();
        }
        return true;
    }
    if (!track->isStopped() &&
        (!track->hasFollowers() || publishedVersion != planVersion() || publishedShuffle != settings().isShuffle())) {
        publishFollowers();
    }
    return false;
}

bool PlayList::addMusic(const std::u16string& path) {
    auto track = std::make_unique<Music>();
    if (!track->open(path)) {
        return false;
    }
    // A new track sounds at the volume the settings hold, not at the audio library's default.
    track->setVolume(settings().getVolume());
    const std::scoped_lock lock(mutex);
    list.push_back(std::move(track));
    listChanged();
    return true;
}

void PlayList::appendTracks(std::vector<std::unique_ptr<Music>> tracks) {
    const float volume = settings().getVolume();
    for (const std::unique_ptr<Music>& track : tracks) {
        track->setVolume(volume);
    }
    const std::scoped_lock lock(mutex);
    list.append(std::move(tracks));
    listChanged();
}

void PlayList::replaceTracks(std::vector<std::unique_ptr<Music>> tracks) {
    const std::scoped_lock lock(mutex);
    clear();
    appendTracks(std::move(tracks));
    current = list.begin();
}

void PlayList::removeMusic(Position& position) {
    const std::scoped_lock lock(mutex);
    if (position == list.end()) {
        return;
    }
    if (position == current) {
        // The following track sounds only if the removed one did.
        moveOn(false, (*current)->isPlaying());
        // Still current after the move (the last track without repeat, or the only one): nothing is
        // current any more rather than a dead entry.
        if (current == position) {
            current = list.end();
        }
    }
    list.erase(position);
    position = list.end();
    listChanged();
}

void PlayList::clear() {
    const std::scoped_lock lock(mutex);
    for (const std::unique_ptr<Music>& track : list) {
        track->stop();
    }
    list.clear();
    current = list.end();
    listChanged();
}

void PlayList::playAt(Position& position) {
    const std::scoped_lock lock(mutex);
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
    listChanged();
    startCurrent();
}

void PlayList::setCurrentPosition(const Position& position) {
    const std::scoped_lock lock(mutex);
    current = position;
    listChanged();
}

void PlayList::update() {
    const std::scoped_lock lock(mutex);
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
    const std::scoped_lock lock(mutex);
    return randomPositionOtherThan(current);
}

PlayList::Position PlayList::randomPositionOtherThan(const Position& other) {
    if (list.empty()) {
        return list.end();
    }
    const std::size_t last = list.size() - 1;
    std::uniform_int_distribution<std::size_t> draw(0, last);
    while (true) {
        const auto position = list.at(draw(randomEngine()));
        if (last == 0 || position != other) {
            return position;
        }
    }
}

void PlayList::Serialize(Archive& archive) {
    if (archive.isStoring()) {
        const std::scoped_lock lock(mutex);
        ArchiveFormat::store(archive, list, [](const std::unique_ptr<Music>& track) { return track->getEntry(); });
        return;
    }

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
    const std::scoped_lock lock(mutex);
    replaceTracks(TrackOpener::openAll(paths));
    if (damage) {
        current = list.end();
        std::rethrow_exception(damage);
    }
}

void PlayList::playPause() {
    const std::scoped_lock lock(mutex);
    if (getCurrent() != nullptr) {
        startCurrent();
    }
}

void PlayList::startCurrent() {
    Music& track = **current;
    track.playPause(track.isStopped() ? followers() : nullptr);
}

void PlayList::applyVolume() {
    (*current)->setVolume(settings().getVolume());
}

} // namespace zalvo
