#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace zalvo {

class CZalvoDlg;
class PlayList;
class ShownTrackTags;

// What a screen reader is told of playback: the main window's description ("Lecture : titre — artiste,
// volume 80 %"), and the repeat and shuffle buttons' checked states, each announced when it changes.
// The window tells it when playback changed, whoever changed it.
class AccessibleStatus final {
public:
    // The track's title and artist come from `tags`, read off the UI thread: the file's name is told
    // first, the tags when they arrive.
    AccessibleStatus(CZalvoDlg& window, ShownTrackTags& tags);

    // Run when playback has changed: announces how it differs from what was last told.
    void refresh(PlayList& playList);

private:
    enum class Playback { Stopped, Playing, Paused };

    struct Shown {
        Playback playback = Playback::Stopped;
        std::optional<std::uint64_t> trackId;
        long volume = -1;
        std::uint64_t streamChanges = 0;
        bool operator==(const Shown&) const = default;
    };

    QString describe(const Shown& shown) const;
    void tagsArrived(std::uint64_t trackId);
    void announceChecked(bool repeat, bool shuffle);

    CZalvoDlg& m_window;
    ShownTrackTags& m_tags;
    std::optional<Shown> m_shown;
    std::optional<std::uint64_t> m_taggedTrackId;
    // Whether m_title and m_artist are the tags' yet, or the file's name while they are read.
    bool m_tagged = false;
    QString m_path;
    QString m_title;
    QString m_artist;
    bool m_repeat = false;
    bool m_shuffle = false;
};

} // namespace zalvo
