#pragma once

#include "base/Log.h"

#include <string>
#include <thread>
#include <vector>

namespace zalvo {

// Takes the core's log for its lifetime and keeps what is written to it.
class LogCapture final {
public:
    struct Entry {
        Log::Category category;
        Log::Level level;
        std::string message;
        std::thread::id thread;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Entry> entries() const;
    // The warnings whose message contains `text`.
    std::size_t warningsWith(const std::string& text) const;
};

} // namespace zalvo
