#include "base/Log.h"

#include <atomic>
#include <cstdio>

namespace zalvo {

namespace {

void toStandardError(Log::Category category, Log::Level level, std::string_view message) {
    if (level == Log::Level::Warning) {
        std::fprintf(stderr, "%s: %.*s\n", Log::nameOf(category), static_cast<int>(message.size()), message.data());
    }
}

std::atomic<Log::Sink> sink = toStandardError;

} // namespace

void Log::setSink(Sink newSink) {
    sink.store(newSink != nullptr ? newSink : toStandardError);
}

void Log::write(Category category, Level level, std::string_view message) {
    sink.load()(category, level, message);
}

void Log::warning(Category category, std::string_view message) {
    write(category, Level::Warning, message);
}

void Log::debug(Category category, std::string_view message) {
    write(category, Level::Debug, message);
}

const char* Log::nameOf(Category category) {
    switch (category) {
    case Category::Engine:
        return "zalvo.engine";
    case Category::Output:
        return "zalvo.output";
    case Category::Formats:
        return "zalvo.formats";
    case Category::Tags:
        return "zalvo.tags";
    }
    return "zalvo";
}

} // namespace zalvo
