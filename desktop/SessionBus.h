#pragma once

#include <QDBusConnection>
#include <QStringList>

#include <optional>

namespace zalvo {

// The desktop's session bus, and the one player per desktop that owns the player's name on it.
class SessionBus final {
public:
    static constexpr const char* playerName = "org.mpris.MediaPlayer2.zalvo";
    static constexpr const char* objectPath = "/org/mpris/MediaPlayer2";

    // The session bus when the desktop has one. Without one nothing is tried: starting a bus on the
    // spot would delay the window, and a player without a bus works as before.
    static std::optional<QDBusConnection> connect();

    // True when a player already runs on `bus` and took `files` (none is fine: it raises its window).
    static bool handOver(const QDBusConnection& bus, const QStringList& files);
};

} // namespace zalvo
