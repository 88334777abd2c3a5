#pragma once

#include "playlist/Music.h"
#include "playlist/Observer.h"
#include "playlist/TrackList.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zalvo {

class Archive;

// The player's tracks in play order, the current one among them, and the rules that move playback
// on under the repeat and shuffle settings. It owns its tracks.
class PlayList final : public Observer {
public:
    using TrackList = zalvo::TrackList;
    // A position stays valid while its entry stays in the list; the list's end() is "none".
    using Position = TrackList::iterator;

    PlayList();
    ~PlayList() override;

    Music* getCurrent();
    // The track that play would act on, without making it current: the current one, or the first while
    // none is current yet.
    Music* shownTrack();
    // Starts, pauses or resumes the current track, or the first while none is current yet.
    void playPause();
    void next(bool fromUser);
    void previous();
    // Moves on from a finished current track; true when it did, and playback changed.
    bool advanceIfFinished();
    bool addMusic(const std::u16string& path);
    // Whole batches of opened tracks, taken in under the lock at once. Appending starts nothing and
    // leaves the current track as it is; replacing stops and drops every track and makes the first
    // new one current.
    void appendTracks(std::vector<std::unique_ptr<Music>> tracks);
    void replaceTracks(std::vector<std::unique_ptr<Music>> tracks);
    void removeMusic(Position& position);
    void clear();
    void playAt(Position& position);
    void setCurrentPosition(const Position& position);
    Position getCurrentPosition() const { return current; }
    TrackList* getList() { return &list; }
    void update() override;
    Position getRandomPosition();
    void Serialize(Archive& archive);

    // Held by every operation over the whole of what it reads or changes of the list and the current
    // entry, and by the playlist manager around its edits of the list. The audio thread never takes
    // it: it learns what may follow from what publishFollowers hands it.
    std::recursive_mutex mutex;

private:
    // The transport's move to the following track, starting it only when asked.
    void moveOn(bool fromUser, bool start);
    // The stream of the finished current track went on into the following one: that one becomes
    // current, sounding on. False when there is no such track in the list.
    bool adoptFollower();
    // Tells the sounding track's stream what may follow it, for the settings of the moment of the join.
    void publishFollowers();
    // What may follow the current track, as published to its stream.
    std::shared_ptr<const GaplessSource::Plan> followers();
    void listChanged() { ++listVersion; }
    // Changes with every edit of the list, whoever made it, and every change of the current entry.
    std::uint64_t planVersion() const { return listVersion + list.version(); }
    // Any entry but the given one, unless it is the only one.
    Position randomPositionOtherThan(const Position& other);
    // Plays, pauses or resumes the current track; a stream started knows at once what follows it.
    void startCurrent();
    void applyVolume();

    TrackList list;
    Position current = list.end();
    // Bumped by the playlist's own changes of the list or of the current entry; the followers published
    // for the sounding track are republished when it moves on or the list is edited.
    std::uint64_t listVersion = 0;
    std::uint64_t publishedVersion = 0;
    bool publishedShuffle = false;
};

} // namespace zalvo
