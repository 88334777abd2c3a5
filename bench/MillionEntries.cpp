#include "CZalvoDlg.h"
#include "TempDir.h"
#include "ToneFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <malloc.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace zalvo {

namespace {

namespace fs = std::filesystem;

// The main window with its file dialog answering one path.
class BenchWindow final : public CZalvoDlg {
public:
    std::u16string answer;

protected:
    std::u16string AskFilePath(bool /*open*/) override { return answer; }
};

long residentBytes() {
    malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

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

// Loads a playlist of nested paths through the window: how long it takes and what each entry keeps
// resident. ZALVO_BENCH_PLAYLIST names a playlist to load instead of the 100,000 entries made here.
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
        QElapsedTimer clock;
        clock.start();
        window.LoadPlayList();
        state.counters["load_ms"] = static_cast<double>(clock.elapsed());
    }
    const long loaded = residentBytes();
    const auto count = static_cast<double>(window.GetPlayList().getList()->size());
    state.counters["tracks"] = count;
    state.counters["resident_mb_loaded"] = static_cast<double>(loaded) / 1e6;
    state.counters["resident_bytes_per_track"] = static_cast<double>(loaded - idle) / count;
    window.GetPlayList().clear();
}
BENCHMARK(BM_LoadNestedEntries)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

} // namespace zalvo
