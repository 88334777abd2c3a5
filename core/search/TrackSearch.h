#pragma once

#include "search/TrackSearchIndex.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zalvo {

class PlayList;

// Finds the playlist's entries that hold every word typed, on a thread of its own, so that neither the
// index over a million entries nor a search through it holds up the window. A newer search cancels the
// one under way, and the answers of a cancelled one are never delivered.
class TrackSearch final {
public:
    struct Matches {
        // The find() answered.
        std::uint64_t query = 0;
        // The list's version the rows stand for: once the list is edited they may name other entries.
        std::uint64_t listVersion = 0;
        std::vector<std::uint32_t> rows;
        // False for the first matches, delivered before the rest are looked for.
        bool complete = false;
    };
    // Called on the search's thread.
    using Deliver = std::function<void(Matches)>;

    // The first matches are delivered as soon as there are this many.
    static constexpr std::size_t firstMatches = 64;

    explicit TrackSearch(PlayList& playList);
    TrackSearch(const TrackSearch&) = delete;
    TrackSearch& operator=(const TrackSearch&) = delete;
    ~TrackSearch();

    // Builds the index again, in the background, if the list changed or tags were read since it was built.
    void refresh();
    // Looks for the entries that hold every word of `text` and delivers them; the number of this search.
    std::uint64_t find(std::string text, Deliver deliver);
    // Once it returns, no search asked before is delivered.
    void forget();

    // What the index held when last built, for the benchmarks.
    struct IndexFigures {
        std::size_t entries = 0;
        std::size_t bytes = 0;
        std::uint64_t listVersion = 0;
    };
    IndexFigures figures() const;

private:
    struct Request {
        std::uint64_t query = 0;
        std::string text;
        Deliver deliver;
    };

    void run(const std::stop_token& stopping);
    // Reads the list into a new index, a slice at a time under the playlist's lock; false when stopped.
    bool build(const std::stop_token& stopping);
    void search(const Request& request, const std::stop_token& stopping);
    bool current(std::uint64_t query) const;
    void deliver(const Request& request, Matches matches);

    PlayList& playList;
    // Guards what the caller hands to the thread: the latest request and whether to rebuild.
    mutable std::mutex requestMutex;
    std::condition_variable_any wake;
    std::optional<Request> pending;
    std::uint64_t latestQuery = 0;
    bool rebuildWanted = true;
    // Held while an answer is delivered, so that forget() waits for one under way.
    std::mutex deliverMutex;
    // Only the search's thread touches the index; its figures are copied out under `requestMutex`.
    TrackSearchIndex index;
    std::uint64_t indexVersion = 0;
    // The tags read in the run when the index was built: a title read since is not in it.
    std::uint64_t indexTagReads = 0;
    bool indexBuilt = false;
    IndexFigures builtFigures;
    std::jthread worker;
};

} // namespace zalvo
