#include "CommandLine.h"

#include "LocalPath.h"
#include "StreamAddress.h"

#include <QUrl>

namespace zalvo {

namespace {

const char* const helpText = "Usage: zalvo [OPTION]... [FILE|URL]...\n"
                             "Play audio files, internet radio and the tracks of playlist files.\n"
                             "The files are added to the player already running on this desktop, if any.\n"
                             "\n"
                             "      --replaygain=MODE  level tracks by their ReplayGain tags: album, track or\n"
                             "                         off (default: album gain, track gain while shuffling)\n"
                             "  -h, --help             display this help and exit\n"
                             "  -v, --version          output version information and exit\n";

QString absolutePath(const QString& argument) {
    if (QString stream = StreamAddress::fromText(argument); !stream.isEmpty()) {
        return stream;
    }
    const QUrl url(argument);
    if (url.isLocalFile()) {
        return LocalPath::absolute(LocalPath::fromUrl(url));
    }
    return LocalPath::absolute(argument);
}

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine result;
    bool optionsEnded = false;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (optionsEnded || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            if (!argument.isEmpty()) {
                result.m_files.append(absolutePath(argument));
            }
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            result.m_request = Request::Help;
            result.m_text = QString::fromLatin1(helpText);
            return result;
        } else if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            result.m_request = Request::Version;
            result.m_text = QStringLiteral("zalvo " ZALVO_VERSION "\n");
            return result;
        } else if (argument.startsWith(QLatin1String("--replaygain="))) {
            const QString mode = argument.mid(argument.indexOf(QLatin1Char('=')) + 1);
            result.m_replayGainMode = ReplayGain::parseMode(mode.toStdString());
            if (!result.m_replayGainMode) {
                result.m_request = Request::Invalid;
                result.m_text = QStringLiteral("zalvo: invalid argument '%1' for '--replaygain'\n"
                                               "Valid arguments are: 'album', 'track', 'off'.\n"
                                               "Try 'zalvo --help' for more information.\n")
                                    .arg(mode);
                return result;
            }
        } else {
            result.m_request = Request::Invalid;
            result.m_text =
                QStringLiteral("zalvo: unrecognized option '%1'\nTry 'zalvo --help' for more information.\n")
                    .arg(argument);
            return result;
        }
    }
    return result;
}

} // namespace zalvo
