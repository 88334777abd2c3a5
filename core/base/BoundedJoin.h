#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace zalvo {

// Ends a worker thread its owner has just asked to stop, under `lock`: waits up to `bound` for the worker
// to set `ended`, then joins it. Past the bound something outside holds the worker (a frozen sound
// server, a file system), and it is left to end on its own with the state it shares.
void boundedJoin(std::thread& worker, std::unique_lock<std::mutex> lock, std::condition_variable& wake,
                 const bool& ended, std::chrono::milliseconds bound);

} // namespace zalvo
