#include "playlist/TrackOpener.h"

#include "decode/FolderScope.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace zalvo {

// Opening a track decodes its file's headers (half a millisecond for Ogg Vorbis), so the tracks of a
// long playlist open side by side on every core.
std::vector<std::unique_ptr<Music>> TrackOpener::openAll(const std::vector<std::u16string>& paths) {
    constexpr std::size_t pathsPerThread = 64;
    std::vector<std::unique_ptr<Music>> opened(paths.size());
    std::atomic<std::size_t> nextIndex = 0;
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto openRemaining = [&] {
        try {
            const FolderScope folders;
            // A failed open leaves a track as it was built, so one candidate serves every path that
            // does not open: memory follows the tracks kept, not the paths read.
            auto candidate = std::make_unique<Music>();
            for (std::size_t i = nextIndex++; i < paths.size(); i = nextIndex++) {
                if (candidate->open(paths[i])) {
                    opened[i] = std::exchange(candidate, std::make_unique<Music>());
                }
            }
        } catch (...) {
            const std::scoped_lock lock(failureMutex);
            failure = std::current_exception();
        }
    };
    const std::size_t threadCount =
        std::clamp<std::size_t>(paths.size() / pathsPerThread, 1, std::max(1U, std::thread::hardware_concurrency()));
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < threadCount; ++i) {
            helpers.emplace_back(openRemaining);
        }
        openRemaining();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    std::erase(opened, nullptr);
    // The threads took the paths in turns: the tracks of one folder are packed once all are in.
    Music::packPaths(opened);
    return opened;
}

} // namespace zalvo
