#include "search/TrackSearch.h"

#include "base/TextEncoding.h"
#include "playlist/PlayList.h"
#include "search/SearchText.h"
#include "tags/TrackTagsOnce.h"

#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

namespace zalvo {

namespace {

// Entries read under one hold of the playlist's lock: well under a frame, so the window never waits.
constexpr std::size_t entriesPerSlice = 4096;
// Rows searched between two looks at whether a newer search came.
constexpr std::size_t rowsPerSlice = 16384;
constexpr std::chrono::microseconds slicePause{100};

std::string tagsText(const Music& track) {
    const std::shared_ptr<const TrackTagsOnce> known = track.knownTags();
    const TrackTags* tags = known ? known->ifRead() : nullptr;
    if (tags == nullptr) {
        return {};
    }
    return tags->title + ' ' + tags->artist + ' ' + tags->album;
}

} // namespace

TrackSearch::TrackSearch(PlayList& playList)
    : playList(playList), worker([this](const std::stop_token& stopping) { run(stopping); }) {}

TrackSearch::~TrackSearch() {
    worker.request_stop();
}

void TrackSearch::refresh() {
    {
        const std::scoped_lock lock(requestMutex);
        rebuildWanted = true;
    }
    wake.notify_one();
}

std::uint64_t TrackSearch::find(std::string text, Deliver deliver) {
    std::uint64_t query = 0;
    {
        const std::scoped_lock lock(deliverMutex, requestMutex);
        query = ++latestQuery;
        pending = Request{query, std::move(text), std::move(deliver)};
    }
    wake.notify_one();
    return query;
}

void TrackSearch::forget() {
    const std::scoped_lock lock(deliverMutex, requestMutex);
    ++latestQuery;
    pending.reset();
}

TrackSearch::IndexFigures TrackSearch::figures() const {
    const std::scoped_lock lock(requestMutex);
    return builtFigures;
}

void TrackSearch::run(const std::stop_token& stopping) {
    while (!stopping.stop_requested()) {
        std::optional<Request> request;
        {
            std::unique_lock lock(requestMutex);
            if (!wake.wait(lock, stopping, [this] { return pending.has_value() || rebuildWanted; })) {
                return;
            }
            request = std::exchange(pending, std::nullopt);
            rebuildWanted = false;
        }
        // A search always reads an index of the list as it is now.
        if (!build(stopping)) {
            return;
        }
        if (request && current(request->query)) {
            search(*request, stopping);
        }
    }
}

bool TrackSearch::build(const std::stop_token& stopping) {
    TrackSearchIndex fresh;
    std::optional<std::uint64_t> version;
    std::uint64_t tagReads = 0;
    PlayList::TrackList::const_iterator next;
    for (bool done = false; !done;) {
        if (stopping.stop_requested()) {
            return false;
        }
        if (version) {
            // The lock is not fair: taken again at once, it would keep out the window's thread, woken
            // when it was let go, for the whole build. A pause between slices lets that thread in.
            std::this_thread::sleep_for(slicePause);
        }
        const std::scoped_lock lock(playList.mutex);
        const PlayList::TrackList& list = *playList.getList();
        if (!version && indexBuilt && list.version() == indexVersion && TrackTagsOnce::readsSoFar() == indexTagReads) {
            return true;
        }
        // An edit between two slices may have moved or removed any entry: start again.
        if (version != list.version()) {
            fresh = TrackSearchIndex();
            version = list.version();
            tagReads = TrackTagsOnce::readsSoFar();
            next = list.begin();
        }
        for (std::size_t read = 0; read < entriesPerSlice && next != list.end(); ++read, ++next) {
            const Music& track = **next;
            const std::optional<std::string> path = TextEncoding::toUtf8(TextEncoding::readable(track.getPath()));
            fresh.add(path.value_or(std::string()), tagsText(track));
        }
        done = next == list.end();
    }
    fresh.seal();
    index = std::move(fresh);
    indexVersion = *version;
    indexTagReads = tagReads;
    indexBuilt = true;
    const std::scoped_lock lock(requestMutex);
    builtFigures = {index.size(), index.bytes(), indexVersion};
    return true;
}

void TrackSearch::search(const Request& request, const std::stop_token& stopping) {
    const TrackSearchIndex::Query query = index.prepare(SearchText::words(request.text));
    std::vector<std::uint32_t> rows;
    bool firstDelivered = false;
    for (std::size_t from = 0; from < index.size(); from += rowsPerSlice) {
        if (stopping.stop_requested() || !current(request.query)) {
            return;
        }
        index.find(query, from, from + rowsPerSlice, rows);
        if (!firstDelivered && rows.size() >= firstMatches) {
            deliver(request, {request.query, indexVersion, rows, false});
            firstDelivered = true;
        }
    }
    deliver(request, {request.query, indexVersion, std::move(rows), true});
}

bool TrackSearch::current(std::uint64_t query) const {
    const std::scoped_lock lock(requestMutex);
    return query == latestQuery;
}

void TrackSearch::deliver(const Request& request, Matches matches) {
    const std::scoped_lock lock(deliverMutex);
    if (current(request.query) && request.deliver) {
        request.deliver(std::move(matches));
    }
}

} // namespace zalvo
