#include "CZalvoApp.h"
#include "CommandLine.h"
#include "CoreLog.h"
#include "LocalPath.h"
#include "playlist/AudioConfig.h"
#include "tags/TagModule.h"

#include <cstdio>
#include <malloc.h>
#include <thread>

int main(int argc, char* argv[]) {
    using namespace zalvo;
    // What an idle player holds is what it keeps, not what it once needed: a block of 128 KB or more (the
    // skin decoded to paint, a playlist file read whole) goes back to the system when freed. Left to
    // itself, glibc raises this threshold past such blocks once one is freed, and later ones stay in the heap.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
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
    // A file given to play needs TagLib for its loudness before its first sound: loaded beside the
    // toolkit's own start, it is there by then.
    std::jthread tagsLoading;
    if (!commandLine.files().isEmpty()) {
        tagsLoading = std::jthread([] { TagModule::available(); });
    }
    // The toolkit sees the program's name only: every other argument is a file for the player.
    int toolkitArgc = 1;
    CZalvoApp app(toolkitArgc, argv);
    app.SetFilesToOpen(commandLine.files());
    app.InitInstance();
    return 0;
}
