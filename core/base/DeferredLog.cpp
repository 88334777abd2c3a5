#include "base/DeferredLog.h"

namespace zalvo {

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
    if (!writing) {
        // A writer that is not writing has let go of the lock for the last time: it is ending.
        writing = true;
        if (writer.joinable()) {
            writer.join();
        }
        writer = std::jthread([this] { writeHeld(); });
    }
}

void DeferredLog::writeHeld() {
    std::vector<std::pair<Log::Level, std::string>> due;
    while (true) {
        {
            const std::scoped_lock lock(mutex);
            due.clear();
            due.swap(held);
            if (due.empty()) {
                writing = false;
                return;
            }
        }
        for (const auto& [level, message] : due) {
            Log::write(category, level, message);
        }
    }
}

} // namespace zalvo
