#pragma once

#include "tags/CoverArt.h"
#include "tags/TrackTags.h"
#include "tags/TrackTagsOnce.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zalvo {

// The tags and the cover of the track the player shows, read on a thread of their own, so that no tag,
// however large, holds the UI thread. The desktop and the screen reader share it, and it shares the
// track's tags with the loudness: a track's tags are read once, and of requests that come faster than
// reads, the latest wins.
class ShownTrackTags final : public QObject {
    Q_OBJECT

public:
    struct Read {
        std::uint64_t trackId = 0;
        TrackTags tags;
        std::optional<std::filesystem::path> cover;
    };

    explicit ShownTrackTags(std::filesystem::path coverCache = CoverArt::defaultCacheFolder());
    // Waits for a read under way to end.
    ~ShownTrackTags() override;
    ShownTrackTags(const ShownTrackTags&) = delete;
    ShownTrackTags& operator=(const ShownTrackTags&) = delete;

    // Asks for a track's tags: nothing to do when they are read or being read already, and a request
    // that has not started yet gives way to this one.
    void request(std::uint64_t trackId, std::shared_ptr<const TrackTagsOnce> tags);
    // The track's tags once they have arrived, nothing before.
    const Read* find(std::uint64_t trackId) const;

signals:
    // On the UI thread, once find() has the track's tags.
    void arrived(std::uint64_t trackId);

private:
    struct Request {
        std::uint64_t trackId = 0;
        std::shared_ptr<const TrackTagsOnce> tags;
    };

    void work(const std::stop_token& stop);
    // On the UI thread: takes the read the worker handed over.
    void deliver();

    CoverArt m_covers;
    std::optional<std::uint64_t> m_requested;
    std::optional<Read> m_read;

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<Request> m_pending;
    std::optional<Read> m_delivered;
    // Started at the first request: a window that never plays has no thread.
    std::jthread m_worker;
};

} // namespace zalvo
