#pragma once

#include <QStringList>

namespace zalvo {

// What the desktop asks of the player's window: the same code as the ring's icons, adding files that
// come from outside, and the window's own quit and raise.
class PlayerHost {
public:
    PlayerHost(const PlayerHost&) = delete;
    PlayerHost& operator=(const PlayerHost&) = delete;

    virtual void TogglePlayPause() = 0;
    virtual void StopMusic() = 0;
    virtual void AddFromOutside(const QStringList& paths, bool play) = 0;
    // Adds the file and plays it in place of what plays, once it has opened: one that does not open
    // leaves playback as it was.
    virtual void PlayFromOutside(const QString& path) = 0;
    // The desktop changed playback: whoever else mirrors it hears of it now.
    virtual void AnnouncePlaybackChange() = 0;
    virtual void Quit() = 0;
    virtual void Raise() = 0;

protected:
    PlayerHost() = default;
    virtual ~PlayerHost() = default;
};

} // namespace zalvo
