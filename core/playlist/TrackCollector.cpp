#include "playlist/TrackCollector.h"

#include "base/StreamUrl.h"
#include "formats/PlayListFile.h"
#include "playlist/StationPlayList.h"
#include "playlist/TrackOpener.h"

#include <iterator>
#include <utility>

namespace zalvo {

namespace {

// Large enough to keep every core busy, small enough that cancelling answers within a moment.
constexpr std::size_t batchSize = 256;

} // namespace

TrackCollector::PlayListResult TrackCollector::addPlayListFile(const std::u16string& path) {
    PlayListResult result;
    const std::size_t before = tracks.size();
    const EntrySink sink = [this, &result](std::u16string entry) {
        if (cancelled) {
            return false;
        }
        ++result.entries;
        if (entry.empty()) {
            return true;
        }
        pending.push_back(std::move(entry));
        if (pending.size() == batchSize) {
            openPending();
        }
        return true;
    };
    if (!StreamUrl::isStream(path)) {
        result.status = PlayListFile::read(path, sink, &cancelled);
    } else if (StationPlayList::named(path)) {
        result.status = StationPlayList::read(path, sink, cancelled);
    } else {
        result.status = ReadStatus::Unrecognised;
    }
    openPending();
    if (cancelled) {
        result.status = ReadStatus::Cancelled;
    }
    result.opened = tracks.size() - before;
    return result;
}

bool TrackCollector::addAudioFile(const std::u16string& path) {
    std::vector<std::unique_ptr<Music>> opened = TrackOpener::openAll({path});
    if (opened.empty()) {
        return false;
    }
    openedCount += opened.size();
    tracks.insert(tracks.end(), std::make_move_iterator(opened.begin()), std::make_move_iterator(opened.end()));
    return true;
}

std::vector<std::unique_ptr<Music>> TrackCollector::takeTracks() {
    openedCount = 0;
    return std::exchange(tracks, {});
}

void TrackCollector::openPending() {
    if (pending.empty()) {
        return;
    }
    std::vector<std::unique_ptr<Music>> opened = TrackOpener::openAll(pending);
    pending.clear();
    openedCount += opened.size();
    tracks.insert(tracks.end(), std::make_move_iterator(opened.begin()), std::make_move_iterator(opened.end()));
}

} // namespace zalvo
