#pragma once

#include "base/Log.h"

#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zalvo {

// The log of a place that must not write itself (a library's thread running our handlers under its
// lock): messages are handed to a thread of their own, started when there is something to write, that
// writes them in order. A message that repeats the one before it is dropped, so that a failure retried
// every few hundred milliseconds is reported once. Whatever is held is written before it is destroyed.
class DeferredLog final {
public:
    explicit DeferredLog(Log::Category category) : category(category) {}
    DeferredLog(const DeferredLog&) = delete;
    DeferredLog& operator=(const DeferredLog&) = delete;

    void warning(std::string message);
    void debug(std::string message);

private:
    void hold(Log::Level level, std::string message);
    void writeHeld();

    const Log::Category category;
    std::mutex mutex;
    std::vector<std::pair<Log::Level, std::string>> held;
    std::string last;
    bool writing = false;
    // Last, so that it is joined before what it writes from goes.
    std::jthread writer;
};

} // namespace zalvo
