#include "LogCapture.h"

#include <algorithm>
#include <mutex>

namespace zalvo {

namespace {

std::mutex capturedMutex;
std::vector<LogCapture::Entry> captured;

void keep(Log::Category category, Log::Level level, std::string_view message) {
    const std::scoped_lock lock(capturedMutex);
    captured.push_back({category, level, std::string(message), std::this_thread::get_id()});
}

} // namespace

LogCapture::LogCapture() {
    const std::scoped_lock lock(capturedMutex);
    captured.clear();
    Log::setSink(keep);
}

LogCapture::~LogCapture() {
    Log::setSink(nullptr);
}

std::vector<LogCapture::Entry> LogCapture::entries() const {
    const std::scoped_lock lock(capturedMutex);
    return captured;
}

std::size_t LogCapture::warningsWith(const std::string& text) const {
    const std::scoped_lock lock(capturedMutex);
    return static_cast<std::size_t>(std::ranges::count_if(captured, [&text](const Entry& entry) {
        return entry.level == Log::Level::Warning && entry.message.find(text) != std::string::npos;
    }));
}

} // namespace zalvo
