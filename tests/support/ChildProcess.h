#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace zalvo {

// A program a test server runs, found on PATH, killed and reaped when this ends. Its stderr (and its
// stdout when nobody talks to it) go to a log in the test's folder.
class ChildProcess final {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `arguments`, the first naming the program; false if it could not start. With `talk`, its
    // stdin and stdout are a socket this side writes lines to and reads lines from.
    bool start(const std::vector<std::string>& arguments, const std::filesystem::path& log, bool talk = false);
    // Kills it at once, as a crash would, and waits until it is gone.
    void kill();
    bool running();

    // A line to its stdin; false once it is gone.
    bool writeLine(std::string_view line);
    // Its next stdout line without the newline; nothing if none came within `limit`.
    std::optional<std::string> readLine(std::chrono::milliseconds limit);

private:
    pid_t pid = -1;
    int channel = -1;
    std::string pending;
};

} // namespace zalvo
