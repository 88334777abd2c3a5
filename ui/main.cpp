#include "CZalvoApp.h"
#include "CommandLine.h"
#include "CoreLog.h"
#include "LocalPath.h"
#include "playlist/AudioConfig.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    using namespace zalvo;
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.append(LocalPath::fromNative(argv[index]));
    }
    // Help and version need no display: they are answered before the toolkit starts.
    const CommandLine commandLine = CommandLine::parse(arguments);
    if (commandLine.request() != CommandLine::Request::Run) {
        std::FILE* out = commandLine.request() == CommandLine::Request::Invalid ? stderr : stdout;
        std::fputs(commandLine.text().toLocal8Bit().constData(), out);
        return commandLine.exitCode();
    }
    CoreLog::install();
    if (const auto mode = commandLine.replayGainMode()) {
        AudioConfig::getInstance()->setReplayGainMode(*mode);
    }
    // The toolkit sees the program's name only: every other argument is a file for the player.
    int toolkitArgc = 1;
    CZalvoApp app(toolkitArgc, argv);
    app.SetFilesToOpen(commandLine.files());
    app.InitInstance();
    return 0;
}
