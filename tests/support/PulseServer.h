#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace zalvo {

// A private PulseAudio for one test, with two silent sinks ("nullsink", the default, and "othersink")
// and its socket in the test's own folder. While it lives, PULSE_SERVER names it, so that libpulse,
// pactl and parec in this process and its children reach it and no other server.
class PulseServer final {
public:
    explicit PulseServer(const std::filesystem::path& folder);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Whether this machine has a pulseaudio to start.
    static bool available();

    // Starts the server and waits until it answers; false if it did not within a few seconds.
    bool start();
    // Kills it at once, as a crash would.
    void kill();
    // Stops it without ending it, as a hung server would, and lets it go on again.
    void freeze();
    void thaw();

    // Runs pactl against this server and returns what it printed; empty on failure.
    std::string pactl(const std::string& arguments) const;

private:
    std::filesystem::path folder;
    std::string previousServer;
    bool hadPreviousServer = false;
    pid_t pid = -1;
};

} // namespace zalvo
