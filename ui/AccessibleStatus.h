#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class CZalvoDlg;
class PlayList;

// What a screen reader is told of playback: the main window's description ("Lecture : titre — artiste,
// volume 80 %"), and the repeat and shuffle buttons' checked states, each announced when it changes.
class AccessibleStatus final {
public:
    explicit AccessibleStatus(CZalvoDlg& window);

    // Compares playback with what was last told and announces the difference; cheap when nothing changed.
    void refresh(PlayList& playList);

private:
    enum class Playback { Stopped, Playing, Paused };

    struct Shown {
        Playback playback = Playback::Stopped;
        std::optional<std::uint64_t> trackId;
        long volume = -1;
        bool operator==(const Shown&) const = default;
    };

    QString describe(const Shown& shown) const;
    void announceChecked(bool repeat, bool shuffle);

    CZalvoDlg& m_window;
    std::optional<Shown> m_shown;
    // The tags are read once per track.
    std::optional<std::uint64_t> m_taggedTrackId;
    QString m_title;
    QString m_artist;
    bool m_repeat = false;
    bool m_shuffle = false;
};
