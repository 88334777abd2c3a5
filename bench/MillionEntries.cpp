#include "CPlayListManagDlg.h"
#include "CZalvoDlg.h"
#include "JumpToTrackDialog.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "search/TrackSearch.h"
#include "support/BenchWindow.h"
#include "support/StallMeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <malloc.h>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

// A library as people keep one: a folder per artist and album, a hundred short WAV tracks in each, every
// track a hard link to one file so that the tree costs no disk space.
fs::path writeNestedLibrary(const TempDir& dir, int folders) {
    const fs::path tone = dir.file("tone.wav");
    writeToneFile(tone, AudioFormat::Wav, ToneShape{{ToneSegment{440.0, 0.1}}, 44100, 2});
    const fs::path list = dir.file("library.m3u");
    std::ofstream out(list, std::ios::binary);
    for (int folder = 0; folder < folders; ++folder) {
        std::ostringstream artist;
        std::ostringstream album;
        artist << "Artist " << std::setw(3) << std::setfill('0') << folder / 100 << " Ensemble";
        album << "Album " << std::setw(3) << std::setfill('0') << folder % 100 << " Live";
        const fs::path albumFolder = dir.path() / "lib" / artist.str() / album.str();
        fs::create_directories(albumFolder);
        for (int track = 0; track < 100; ++track) {
            std::ostringstream name;
            name << std::setw(2) << std::setfill('0') << track << " Song number " << std::setw(7)
                 << folder * 100 + track << ".wav";
            const fs::path file = albumFolder / name.str();
            fs::create_hard_link(tone, file);
            out << file.string() << '\n';
        }
    }
    return list;
}

template <typename Work> double millisecondsOf(Work&& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    QCoreApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// Waits, running the window, until the search has indexed the list as it is now; how long that took.
double waitForIndex(CZalvoDlg& window) {
    QElapsedTimer clock;
    clock.start();
    while (window.GetTrackSearch().figures().listVersion != window.GetPlayList().getList()->version() ||
           window.GetTrackSearch().figures().entries != window.GetPlayList().getList()->size()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return static_cast<double>(clock.elapsed());
}

// From a key's search to the first matches handed to the window, as "Aller au morceau" asks it.
double firstMatchesMilliseconds(TrackSearch& search, const std::string& text) {
    std::mutex mutex;
    std::condition_variable arrived;
    bool got = false;
    QElapsedTimer clock;
    clock.start();
    search.find(text, [&](const TrackSearch::Matches&) {
        const std::scoped_lock lock(mutex);
        got = true;
        arrived.notify_all();
    });
    std::unique_lock lock(mutex);
    arrived.wait(lock, [&] { return got; });
    const double took = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    search.forget();
    return took;
}

// Loads a playlist of nested paths through the window, then does with it what a person does: how long
// each takes, the longest stall of the UI thread during the load, and what each entry keeps resident
// with the search's index built. ZALVO_BENCH_PLAYLIST names a playlist to load instead of the 100,000
// entries made here (the README's figures load a million).
void BM_LoadNestedEntries(benchmark::State& state) {
    const TempDir dir;
    const char* given = std::getenv("ZALVO_BENCH_PLAYLIST");
    const fs::path list = given != nullptr ? fs::path(given) : writeNestedLibrary(dir, 1000);
    BenchWindow window;
    window.answer = list.u16string();
    window.show();
    QCoreApplication::processEvents();
    const long idle = residentBytes();
    for (auto _ : state) {
        StallMeter meter;
        state.counters["load_ms"] = millisecondsOf([&] { window.LoadPlayList(); });
        state.counters["longest_ui_stall_ms"] = meter.longestMilliseconds();
    }
    PlayList& playList = window.GetPlayList();
    const auto count = static_cast<double>(playList.getList()->size());
    state.counters["tracks"] = count;
    state.counters["index_build_ms"] = waitForIndex(window);
    const long loaded = residentBytes();
    state.counters["resident_mb_loaded"] = static_cast<double>(loaded) / 1e6;
    state.counters["resident_bytes_per_track"] = static_cast<double>(loaded - idle) / count;
    state.counters["index_bytes_per_track"] = static_cast<double>(window.GetTrackSearch().figures().bytes) / count;
    double slowestKey = 0;
    const std::string typed = "live song 4242";
    for (std::size_t keys = 1; keys <= typed.size(); ++keys) {
        slowestKey = std::max(slowestKey, firstMatchesMilliseconds(window.GetTrackSearch(), typed.substr(0, keys)));
    }
    state.counters["slowest_key_first_matches_ms"] = slowestKey;

    // Typing in "Aller au morceau" itself: an empty field and a letter show every entry, then words narrow
    // them down; the longest the UI thread went without turning while the matches came in.
    {
        JumpToTrackDialog jump(playList, window.GetTrackSearch(), &window);
        jump.setVisible(true);
        auto* field = jump.findChild<QLineEdit*>();
        StallMeter meter;
        for (const char* text : {"t", "tr", "track-042", "album-number-042 track-042"}) {
            field->setText(QString::fromLatin1(text));
            QElapsedTimer typing;
            typing.start();
            while (typing.elapsed() < 300) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
        }
        state.counters["search_longest_ui_stall_ms"] = meter.longestMilliseconds();
    }

    // Starting the sound opens the output device, whatever the list's length: timed apart from moving in it.
    state.counters["first_play_ms"] = millisecondsOf([&] { window.DoAction(PLAY_PAUSE); });
    state.counters["next_ms"] = millisecondsOf([&] { window.DoAction(NEXT); });
    state.counters["previous_ms"] = millisecondsOf([&] { window.DoAction(PREVIOUS); });
    window.DoAction(SHUFFLE);
    state.counters["shuffle_next_ms"] = millisecondsOf([&] { window.DoAction(NEXT); });
    window.DoAction(SHUFFLE);
    window.DoAction(STOP);

    CPlayListManagDlg manager;
    state.counters["manager_shown_ms"] = millisecondsOf([&] {
        manager.SetPlayList(&playList);
        manager.SetMainDlg(&window);
        manager.show();
        manager.OnInitDialog();
        // Shown means laid out and drawn, as a person sees it before pressing anything.
        QCoreApplication::processEvents();
    });
    // Each action clears the selection, as the manager does: the middle entry is chosen before each,
    // and the view's own work for it counts.
    auto* view = manager.findChild<QListView*>();
    const auto timedOnTheMiddle = [&](void (CPlayListManagDlg::*action)()) {
        view->setCurrentIndex(view->model()->index(view->model()->rowCount() / 2, 0));
        return millisecondsOf([&] {
            (manager.*action)();
            QCoreApplication::processEvents();
        });
    };
    state.counters["move_up_ms"] = timedOnTheMiddle(&CPlayListManagDlg::OnBnClickedUp);
    state.counters["move_down_ms"] = timedOnTheMiddle(&CPlayListManagDlg::OnBnClickedDown);
    state.counters["delete_ms"] = timedOnTheMiddle(&CPlayListManagDlg::OnBnClickedDelete);
    manager.hide();

    window.answer = dir.file("saved.m3u8").u16string();
    state.counters["save_ms"] = millisecondsOf([&] { window.SavePlayList(); });
    playList.clear();
}
BENCHMARK(BM_LoadNestedEntries)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

} // namespace zalvo
