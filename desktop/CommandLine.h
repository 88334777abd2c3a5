#pragma once

#include "tags/ReplayGain.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zalvo {

// What the player's arguments ask for: its help, its version, or a run with files to open.
class CommandLine final {
public:
    enum class Request { Run, Help, Version, Invalid };

    // `arguments` starts with the program's name, as argv does; relative paths are made absolute here,
    // since a running player that takes them over has a working directory of its own.
    static CommandLine parse(const QStringList& arguments);

    Request request() const { return m_request; }
    const QStringList& files() const { return m_files; }
    // The ReplayGain mode asked for this run; nothing keeps the default.
    std::optional<ReplayGain::Mode> replayGainMode() const { return m_replayGainMode; }
    // What to print for help, version or an invalid option.
    const QString& text() const { return m_text; }
    // The process's status when it ends without running the player.
    int exitCode() const { return m_request == Request::Invalid ? 2 : 0; }

private:
    Request m_request = Request::Run;
    QStringList m_files;
    std::optional<ReplayGain::Mode> m_replayGainMode;
    QString m_text;
};

} // namespace zalvo
