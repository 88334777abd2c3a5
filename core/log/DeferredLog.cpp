#include "DeferredLog.h"

void DeferredLog::warning(std::string message) {
    hold(Log::Level::Warning, std::move(message));
}

void DeferredLog::debug(std::string message) {
    hold(Log::Level::Debug, std::move(message));
}

void DeferredLog::hold(Log::Level level, std::string message) {
    const std::scoped_lock lock(mutex);
    if (message == last) {
        return;
    }
    last = message;
    held.emplace_back(level, std::move(message));
}

void DeferredLog::flush() {
    std::vector<std::pair<Log::Level, std::string>> due;
    {
        const std::scoped_lock lock(mutex);
        due.swap(held);
    }
    for (const auto& [level, message] : due) {
        if (level == Log::Level::Warning) {
            Log::warning(category, message);
        } else {
            Log::debug(category, message);
        }
    }
}
