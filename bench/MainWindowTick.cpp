#include "CZalvoDlg.h"
#include "MprisService.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QCoreApplication>
#include <QTimerEvent>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <mutex>

namespace zalvo {

namespace {

constexpr double trackSeconds = 600.0;

// One tick of the main window while a long track plays and nothing else happens, with MPRIS and the
// screen reader's description mirroring playback as they do in the player.
void BM_IdleTick(benchmark::State& state) {
    const TempDir dir;
    ToneShape shape;
    shape.segments = {ToneSegment{440.0, trackSeconds}};
    const auto path = dir.file("long.wav");
    writeToneFile(path, AudioFormat::Wav, shape);

    CZalvoDlg window;
    MprisService mpris(window.GetPlayList(), window, window.GetShownTrackTags());
    QObject::connect(&window, &CZalvoDlg::playbackMayHaveChanged, &mpris, &MprisService::refresh);
    QObject::connect(&window, &CZalvoDlg::playListChanged, &mpris, &MprisService::refresh);
    PlayList& playList = window.GetPlayList();
    if (!playList.addMusic(path.u16string())) {
        state.SkipWithError("the track does not open");
        return;
    }
    {
        const std::scoped_lock lock(playList.mutex);
        auto first = playList.getList()->begin();
        playList.playAt(first);
    }
    if (!playList.getCurrent()->isPlaying()) {
        state.SkipWithError("the track does not play");
        return;
    }
    window.DoAction(NONE);
    QCoreApplication::processEvents();

    // Any id: the window moves playback on whichever of its timers fires.
    QTimerEvent tick(1);
    while (state.KeepRunning()) {
        QCoreApplication::sendEvent(&window, &tick);
    }
    playList.clear();
}
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);

} // namespace

} // namespace zalvo
