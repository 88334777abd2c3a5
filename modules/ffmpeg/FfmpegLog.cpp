#include "FfmpegLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <mutex>
#include <string>
#include <string_view>

namespace zalvo {

namespace {

// FFmpeg tells of every damaged packet; past these a file's account is only counted.
constexpr std::size_t lineBytes = 512;
constexpr int linesPerSecond = 20;

std::atomic<ModuleLogSink> sink = nullptr;

std::mutex windowMutex;
std::chrono::steady_clock::time_point windowStart;
int passed = 0;
int leftOut = 0;

// Plain bytes, not a string: a thread-local with a destructor, in a library loaded with dlopen, trips
// LeakSanitizer's scan of the threads at exit.
thread_local std::array<char, lineBytes> lastError{};

// Called on whichever thread FFmpeg works in.
void forward(void* object, int level, const char* format, va_list arguments) {
    const ModuleLogSink target = sink.load();
    if (level > AV_LOG_WARNING) {
        return;
    }
    // Whether the next line starts with the "[decoder @ address]" prefix depends on how the last one
    // ended, which is per thread.
    thread_local int printPrefix = 1;
    std::array<char, lineBytes> line{};
    if (av_log_format_line2(object, level, format, arguments, line.data(), static_cast<int>(line.size()),
                            &printPrefix) < 0) {
        return;
    }
    std::string_view text(line.data());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return;
    }
    if (level <= AV_LOG_ERROR) {
        const std::size_t kept = std::min(text.size(), lastError.size() - 1);
        std::copy_n(text.data(), kept, lastError.data());
        lastError.at(kept) = '\0';
    }
    if (target == nullptr) {
        return;
    }
    const std::scoped_lock lock(windowMutex);
    const auto now = std::chrono::steady_clock::now();
    if (now - windowStart >= std::chrono::seconds(1)) {
        if (leftOut > 0) {
            target(std::to_string(leftOut) + " more messages from FFmpeg left out");
        }
        windowStart = now;
        passed = 0;
        leftOut = 0;
    }
    if (passed == linesPerSecond) {
        ++leftOut;
        return;
    }
    ++passed;
    target(text);
}

} // namespace

void FfmpegLog::setSink(ModuleLogSink newSink) {
    sink.store(newSink);
    takeOver();
}

void FfmpegLog::takeOver() {
    av_log_set_callback(forward);
}

std::string FfmpegLog::takeLastError() {
    std::string taken(lastError.data());
    lastError.front() = '\0';
    return taken;
}

} // namespace zalvo
