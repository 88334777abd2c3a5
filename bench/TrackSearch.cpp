#include "search/SearchText.h"
#include "search/TrackSearchIndex.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace zalvo {

namespace {

// Paths as a library keeps them: a hundred tracks an album, a hundred albums an artist, 73 characters.
std::string libraryPath(std::size_t row) {
    std::array<char, 128> path{};
    std::snprintf(path.data(), path.size(),
                  "/home/someone/Music/Artist %03zu Ensemble/Album %03zu Live/%02zu Song %07zu.flac",
                  row / 10'000 % 1000, row / 100 % 100, row % 100, row);
    return path.data();
}

TrackSearchIndex buildIndex(std::size_t entries) {
    TrackSearchIndex index;
    for (std::size_t row = 0; row < entries; ++row) {
        index.add(libraryPath(row), {});
    }
    index.seal();
    return index;
}

void BM_BuildIndex(benchmark::State& state) {
    const auto entries = static_cast<std::size_t>(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const TrackSearchIndex index = buildIndex(entries);
        bytes = index.bytes();
    }
    state.counters["bytes_per_entry"] = static_cast<double>(bytes) / static_cast<double>(entries);
}
BENCHMARK(BM_BuildIndex)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Typing "live song 4242" a key at a time, as the search's thread answers each key: the time to the first
// matches shown (the first 64, or all when fewer), the slowest key, and a word found in one entry only.
void BM_TimeToFirstMatchesPerKey(benchmark::State& state) {
    const auto entries = static_cast<std::size_t>(state.range(0));
    const TrackSearchIndex index = buildIndex(entries);
    const std::string typed = "live song 4242";
    constexpr std::size_t firstMatches = 64;
    constexpr std::size_t slice = 16384;
    const auto firstMatchesOf = [&](const std::string& text) {
        const TrackSearchIndex::Query query = index.prepare(SearchText::words(text));
        std::vector<std::uint32_t> rows;
        for (std::size_t from = 0; from < index.size() && rows.size() < firstMatches; from += slice) {
            index.find(query, from, from + slice, rows);
        }
        return rows.size();
    };
    double slowest = 0;
    double total = 0;
    for (auto _ : state) {
        for (std::size_t typedKeys = 1; typedKeys <= typed.size(); ++typedKeys) {
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(firstMatchesOf(typed.substr(0, typedKeys)));
            const double took =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            slowest = std::max(slowest, took);
            total += took;
        }
    }
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(firstMatchesOf(libraryPath(entries - 1).substr(60)));
    state.counters["only_match_last_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    state.counters["slowest_key_ms"] = slowest;
    state.counters["mean_key_ms"] =
        total / (static_cast<double>(typed.size()) * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_TimeToFirstMatchesPerKey)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

} // namespace zalvo

BENCHMARK_MAIN();
