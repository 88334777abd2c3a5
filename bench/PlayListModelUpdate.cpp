#include "PlayListModel.h"
#include "playlist/Music.h"
#include "playlist/PlayList.h"

#include <QCoreApplication>
#include <QListView>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

namespace zalvo {

namespace {

constexpr std::size_t entries = 1'000'000;
constexpr std::size_t middle = entries / 2;

// A million unopened tracks shown in a list view scrolled to the middle, as the manager shows them.
class Shown final {
public:
    Shown() {
        std::vector<std::unique_ptr<Music>> tracks;
        tracks.reserve(entries);
        for (std::size_t i = 0; i < entries; ++i) {
            tracks.push_back(std::make_unique<Music>());
        }
        playList.appendTracks(std::move(tracks));
        model.show(&playList);
        view.setUniformItemSizes(true);
        view.setModel(&model);
        view.resize(400, 300);
        view.show();
        view.scrollTo(model.index(static_cast<int>(middle)));
        QCoreApplication::processEvents();
    }

    PlayList::Position middleEntry() { return playList.getList()->at(middle); }

    // The view hears of the edit by a reset, as it did before it heard of rows, or by its rows; then it
    // lays its rows out again and paints.
    void showEdit(bool byRows) {
        const auto start = std::chrono::steady_clock::now();
        if (byRows) {
            model.catchUp();
        } else {
            model.show(&playList);
        }
        heard += std::chrono::steady_clock::now() - start;
        QCoreApplication::processEvents();
    }

    void count(benchmark::State& state) const {
        state.counters["heard_ms"] = benchmark::Counter(std::chrono::duration<double, std::milli>(heard).count(),
                                                        benchmark::Counter::kAvgIterations);
    }

    PlayList playList;
    PlayListModel model;
    QListView view;
    std::chrono::steady_clock::duration heard{};
};

const char* label(bool byRows) {
    return byRows ? "rows" : "reset";
}

void BM_MoveOneEntry(benchmark::State& state) {
    Shown shown;
    const bool byRows = state.range(0) != 0;
    PlayList::TrackList& list = *shown.playList.getList();
    const PlayList::Position moved = shown.middleEntry();
    bool down = true;
    for (auto _ : state) {
        {
            const std::scoped_lock lock(shown.playList.mutex);
            list.splice(down ? std::next(moved, 2) : std::prev(moved), list, moved);
        }
        shown.showEdit(byRows);
        down = !down;
    }
    state.SetLabel(label(byRows));
    shown.count(state);
}
BENCHMARK(BM_MoveOneEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeleteOneEntry(benchmark::State& state) {
    Shown shown;
    const bool byRows = state.range(0) != 0;
    for (auto _ : state) {
        PlayList::Position removed = shown.middleEntry();
        shown.playList.removeMusic(removed);
        shown.showEdit(byRows);
    }
    state.SetLabel(label(byRows));
    shown.count(state);
}
BENCHMARK(BM_DeleteOneEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InsertOneEntry(benchmark::State& state) {
    Shown shown;
    const bool byRows = state.range(0) != 0;
    for (auto _ : state) {
        {
            const std::scoped_lock lock(shown.playList.mutex);
            shown.playList.getList()->insert(shown.middleEntry(), std::make_unique<Music>());
        }
        shown.showEdit(byRows);
    }
    state.SetLabel(label(byRows));
    shown.count(state);
}
BENCHMARK(BM_InsertOneEntry)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

} // namespace zalvo
