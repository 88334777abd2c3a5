#pragma once

#include <string_view>

namespace zalvo {

// Where the core's warnings go: standard error, or the sink the application installs, so that the core
// stays free of the toolkit. Callable from any thread, but never from the audio thread while it holds a
// lock: a sink may write to a terminal that blocks.
class Log final {
public:
    enum class Category { Engine, Output, Formats, Tags };
    enum class Level { Debug, Warning };
    using Sink = void (*)(Category category, Level level, std::string_view message);

    Log() = delete;

    // Replaces the default sink, which writes warnings to standard error and drops debug messages.
    static void setSink(Sink sink);
    static void write(Category category, Level level, std::string_view message);
    static void warning(Category category, std::string_view message);
    static void debug(Category category, std::string_view message);
    // The category's name, as the application's logging rules know it: "zalvo.engine" and so on.
    static const char* nameOf(Category category);
};

} // namespace zalvo
