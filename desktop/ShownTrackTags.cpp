#include "ShownTrackTags.h"

#include <QMetaObject>

namespace zalvo {

ShownTrackTags::ShownTrackTags(std::filesystem::path coverCache) : m_covers(std::move(coverCache)) {}

// The thread is asked to stop and joined before the members it uses go; deliveries it queued go with
// the object.
ShownTrackTags::~ShownTrackTags() {
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_worker.join();
    }
}

void ShownTrackTags::request(std::uint64_t trackId, std::shared_ptr<const TrackTagsOnce> tags) {
    if (m_requested == trackId) {
        return;
    }
    m_requested = trackId;
    {
        const std::scoped_lock lock(m_mutex);
        m_pending = Request{trackId, std::move(tags)};
    }
    if (!m_worker.joinable()) {
        m_worker = std::jthread([this](const std::stop_token& stop) { work(stop); });
    }
    m_wake.notify_one();
}

const ShownTrackTags::Read* ShownTrackTags::find(std::uint64_t trackId) const {
    return m_read && m_read->trackId == trackId ? &*m_read : nullptr;
}

void ShownTrackTags::work(const std::stop_token& stop) {
    while (true) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return m_pending.has_value(); })) {
                return;
            }
            request = std::move(*m_pending);
            m_pending.reset();
        }
        Read read{request.trackId, request.tags->get(), m_covers.locate(request.tags->getPath())};
        {
            // Handed over under the lock, not inside the queued call: the lock orders it for all to see.
            const std::scoped_lock lock(m_mutex);
            m_delivered = std::move(read);
        }
        QMetaObject::invokeMethod(this, &ShownTrackTags::deliver, Qt::QueuedConnection);
    }
}

void ShownTrackTags::deliver() {
    std::optional<Read> read;
    {
        const std::scoped_lock lock(m_mutex);
        read.swap(m_delivered);
    }
    // A read the player has moved on from is not shown; one already taken leaves nothing.
    if (!read || m_requested != read->trackId) {
        return;
    }
    const std::uint64_t trackId = read->trackId;
    m_read = std::move(read);
    emit arrived(trackId);
}

} // namespace zalvo
