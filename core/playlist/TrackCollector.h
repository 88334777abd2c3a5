#pragma once

#include "formats/ReadStatus.h"
#include "playlist/Music.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zalvo {

// Gathers opened tracks from playlist files and audio files, in order, away from the playlist, so that a
// worker thread can build them while the player plays and the playlist takes them in at once. Paths open
// in batches on every core: memory holds the tracks kept and one batch of paths.
class TrackCollector final {
public:
    struct PlayListResult {
        ReadStatus status = ReadStatus::Unreadable;
        std::size_t entries = 0;
        std::size_t opened = 0;
    };

    explicit TrackCollector(const std::atomic<bool>& cancelled) : cancelled(cancelled) {}

    // Appends the tracks of a playlist file that open, or the stations of a station's playlist URL;
    // Cancelled as soon as cancelling is asked for.
    PlayListResult addPlayListFile(const std::u16string& path);
    // Appends the track if it opens, or the tracks of a cue sheet.
    bool addAudioFile(const std::u16string& path);

    std::size_t trackCount() const { return openedCount; }
    std::vector<std::unique_ptr<Music>> takeTracks();

private:
    void openPending();

    const std::atomic<bool>& cancelled;
    std::vector<std::u16string> pending;
    std::vector<std::unique_ptr<Music>> tracks;
    std::atomic<std::size_t> openedCount = 0;
};

} // namespace zalvo
