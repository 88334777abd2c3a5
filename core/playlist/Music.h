#pragma once

#include "engine/GaplessSource.h"
#include "playlist/CueTrack.h"
#include "playlist/TrackPath.h"
#include "tags/TrackTagsOnce.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace zalvo {

class Playback;
class StreamStatus;

// One audio file of the playlist. It holds a stream only while playing or paused, so that thousands
// of idle tracks cost neither audio sources nor open files. When the stream has gone on into the
// track that follows, that track takes the stream over and it sounds on without a break.
class Music final {
public:
    Music();
    ~Music();
    Music(const Music&) = delete;
    Music& operator=(const Music&) = delete;

    // A file, or an internet stream's URL, which opens without reaching the network: whether it plays is
    // learnt as it starts.
    bool open(const std::u16string& path);
    // Opens the track whose file was outlined already.
    bool open(const std::u16string& path, const TrackOutline& outline);
    // Opens the track of a cue sheet in the audio file at `path`; false also when it begins past the
    // file's end.
    bool open(const std::u16string& path, CueTrack track);
    // A stopped track starts going on as `followers` says, which may be nothing yet.
    void playPause(std::shared_ptr<const GaplessSource::Plan> followers = nullptr);
    void stop();
    // Moves within the track, keeping it playing or paused; a stopped track stays at its start. An
    // internet stream stays where it is.
    void seek(float seconds);

    bool isStopped() const;
    bool isPaused() const;
    bool isPlaying() const;
    // All of the track's audio has been heard, or its file can no longer be played.
    bool isFinished() const;

    // Unique among every track of the run.
    std::uint64_t getId() const { return id; }
    // The audio file, of a cue track too.
    std::u16string getPath() const { return path.text(); }
    // How a playlist names it: its file's path, or for a track of a cue sheet the sheet's with the track's
    // number, "album.cue?2".
    std::u16string getEntry() const;
    // What its cue sheet says of the track, or nothing for a track that is a whole file.
    const CueTrack* getCueTrack() const { return cue.get(); }
    TrackSpan getSpan() const { return cue ? cue->span : TrackSpan{}; }
    // An internet stream, with no length, that cannot seek.
    bool isStream() const;
    // What the stream says of itself while it plays; null when stopped, and for a file.
    std::shared_ptr<StreamStatus> getStreamStatus() const;
    // Packs the paths of consecutive tracks of one folder together: a playlist's tracks then hold each
    // folder's name once, and their names side by side.
    static void packPaths(std::span<const std::unique_ptr<Music>> tracks);
    // The track's tags, read once from its file when first needed and shared by whoever needs them.
    std::shared_ptr<const TrackTagsOnce> getTags() const;
    // Those tags if someone needed them already, else nothing: a long walk over the list then leaves
    // idle tracks as light as it found them.
    std::shared_ptr<const TrackTagsOnce> knownTags() const { return tags.load(); }
    void setVolume(float newVolume);
    float getVolume() const { return static_cast<float>(volumeHundredths) / 100.0F; }
    float getElapsedTime() const;
    // The header's length until the track's end is decoded, then the length of its audio.
    float getDuration() const;

    // What the stream should go on with after this track; kept only while it sounds.
    void setFollowers(std::shared_ptr<const GaplessSource::Plan> plan);
    bool hasFollowers() const;
    // The track the stream went on with after this one.
    std::optional<GaplessSource::Track> getFollower() const;
    // Takes over the stream of the track before, which has gone on into this one.
    void takeOver(Music& previous);

private:
    void keepDecodedLength();
    // Starts a stream, playing, at the track's start; false when the file no longer plays.
    bool start(std::shared_ptr<const GaplessSource::Plan> followers);
    // A decoder just opened on the file, moved to the frame.
    static std::unique_ptr<TrackDecoder> positioned(std::unique_ptr<TrackDecoder> decoder, const std::string& utf8Path,
                                                    TrackSpan span, std::uint64_t frame);
    // False when the file does not open or the span begins past its end.
    bool outlineAs(const std::u16string& newPath, std::unique_ptr<const CueTrack> track,
                   std::optional<TrackOutline> outline = std::nullopt);
    // Marks the track finished, so that the playlist moves on, and says why.
    void passOver();

    // Largest first, so that no padding falls between them: a playlist may hold a million tracks, and
    // each costs one 64-byte block of the allocator while the members fit in 56 bytes, the volume in
    // hundredths of a percent among them.
    std::uint64_t id;
    std::unique_ptr<Playback> playback;
    TrackPath path;
    // Made on first need, from any thread: an idle track holds no more than an empty pointer.
    mutable std::atomic<std::shared_ptr<const TrackTagsOnce>> tags;
    std::unique_ptr<const CueTrack> cue;
    float duration = 0.0F;
    std::uint16_t volumeHundredths = 10'000;
    bool unplayable = false;
};

} // namespace zalvo
