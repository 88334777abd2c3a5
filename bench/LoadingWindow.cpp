#include "CPlayListManagDlg.h"
#include "CZalvoDlg.h"
#include "TempDir.h"
#include "ToneFile.h"
#include "support/BenchWindow.h"
#include "support/StallMeter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

fs::path writeM3u(const TempDir& dir, const std::string& name, const std::vector<fs::path>& tracks,
                  std::size_t entries) {
    const fs::path file = dir.file(name);
    std::ofstream out(file, std::ios::binary);
    out << "#EXTM3U\n";
    for (std::size_t i = 0; i < entries; ++i) {
        out << "#EXTINF:180,Title\n" << tracks[i % tracks.size()].string() << '\n';
    }
    return file;
}

// 100,000 entries over three-minute files of four formats, loaded through the window as a person does.
void BM_LoadHundredThousandEntriesThroughTheWindow(benchmark::State& state) {
    const TempDir dir;
    const std::vector<fs::path> tracks =
        writeTrackPairs(dir.path(), {AudioFormat::Wav, AudioFormat::Flac, AudioFormat::Ogg, AudioFormat::Mp3}, 180.0);
    BenchWindow window;
    window.answer = writeM3u(dir, "hundred-thousand.m3u8", tracks, 100'000).u16string();
    window.show();
    double stall = 0;
    bool dialogShown = false;
    for (auto _ : state) {
        StallMeter meter;
        window.LoadPlayList();
        stall = std::max(stall, meter.longestMilliseconds());
        state.counters["longest_stall_ended_at_ms"] = meter.longestEndedAtMilliseconds();
        dialogShown = meter.dialogShown;
    }
    state.counters["tracks"] = static_cast<double>(window.GetPlayList().getList()->size());
    state.counters["longest_ui_stall_ms"] = stall;
    state.counters["progress_dialog_shown"] = dialogShown ? 1 : 0;
    window.GetPlayList().clear();
}
BENCHMARK(BM_LoadHundredThousandEntriesThroughTheWindow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// A million entries naming a few WAV files: what each kept track costs, and how fast the manager shows them.
void BM_MillionTracksMemoryAndManager(benchmark::State& state) {
    const TempDir dir;
    const std::vector<fs::path> tracks = writeTrackPairs(dir.path(), {AudioFormat::Wav, AudioFormat::Wav}, 1.0);
    BenchWindow window;
    window.answer = writeM3u(dir, "million.m3u8", tracks, 1'000'000).u16string();
    window.show();
    QCoreApplication::processEvents();
    const long idle = residentBytes();
    window.LoadPlayList();
    const long loaded = residentBytes();
    const auto count = static_cast<double>(window.GetPlayList().getList()->size());
    double pathBytes = 0;
    for (const auto& track : *window.GetPlayList().getList()) {
        pathBytes += static_cast<double>(track->getPath().size());
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        CPlayListManagDlg manager;
        manager.SetPlayList(&window.GetPlayList());
        manager.SetMainDlg(&window);
        manager.show();
        manager.OnInitDialog();
        QCoreApplication::processEvents();
        state.counters["manager_shown_ms"] = static_cast<double>(clock.elapsed());
    }
    state.counters["tracks"] = count;
    state.counters["path_characters_per_track"] = pathBytes / count;
    state.counters["resident_bytes_per_track"] = static_cast<double>(loaded - idle) / count;
    window.GetPlayList().clear();
}
BENCHMARK(BM_MillionTracksMemoryAndManager)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

} // namespace zalvo
