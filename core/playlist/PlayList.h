#pragma once

#include "Music.h"
#include "Observer.h"

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Archive;

// The player's tracks in play order, the current one among them, and the rules that move playback
// on under the repeat and shuffle settings. It owns its tracks.
class PlayList final : public Observer {
public:
    using TrackList = std::list<std::unique_ptr<Music>>;
    // A position stays valid while its entry stays in the list; the list's end() is "none".
    using Position = TrackList::iterator;

    PlayList();
    ~PlayList() override;

    Music* getCurrent();
    void next(bool fromUser);
    void previous();
    void advanceIfFinished();
    bool addMusic(const std::u16string& path);
    // Whole batches of opened tracks, taken in under the lock at once. Appending starts nothing and
    // leaves the current track as it is; replacing stops and drops every track and makes the first
    // new one current.
    void appendTracks(std::vector<std::unique_ptr<Music>> tracks);
    void replaceTracks(std::vector<std::unique_ptr<Music>> tracks);
    void removeMusic(Position& position);
    void clear();
    void playAt(Position& position);
    void setCurrentPosition(const Position& position) { current = position; }
    Position getCurrentPosition() const { return current; }
    TrackList* getList() { return &list; }
    void update() override;
    Position getRandomPosition();
    void Serialize(Archive& archive);

    // Taken by the transport operations and by the playlist manager around its edits of the list.
    std::recursive_mutex mutex;

private:
    void startCurrent();
    void applyVolume();

    TrackList list;
    Position current = list.end();
};
