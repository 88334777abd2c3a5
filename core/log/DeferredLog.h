#pragma once

#include "Log.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Holds the messages of a place that must not write them itself (a library's thread running our
// handlers under its lock) until flush() is called with no lock held. A message that repeats the one
// before it is dropped, so that a failure retried every few hundred milliseconds is reported once.
class DeferredLog final {
public:
    explicit DeferredLog(Log::Category category) : category(category) {}

    void warning(std::string message);
    void debug(std::string message);
    // Writes what is held, in order. Never call it while holding a lock a handler takes.
    void flush();

private:
    void hold(Log::Level level, std::string message);

    const Log::Category category;
    std::mutex mutex;
    std::vector<std::pair<Log::Level, std::string>> held;
    std::string last;
};
