#pragma once

#include "ChildProcess.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace zalvo {

// A real Icecast 2.4 on a free loopback port, its config and log in the test's folder, with mounts
// that ffmpeg feeds an endless 440 Hz stereo tone in real time, named "Zalvo Test Radio" (icy-name).
// Titles go out in UTF-8. A listener's first metadata block may carry the title from before a change:
// Icecast bursts a new listener audio it buffered earlier, with the title of that time.
class IcecastServer final {
public:
    enum class Codec { Mp3, OggVorbis };

    explicit IcecastServer(std::filesystem::path folder);
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    // Whether this machine has icecast2 and ffmpeg.
    static bool available();

    // Starts the server and waits until it answers; false if it did not within a few seconds.
    bool start();
    // Starts feeding `mount` ("/radio.mp3") and waits until it plays; false if it did not in a few seconds.
    bool feed(std::string_view mount, Codec codec);
    std::string url(std::string_view mount) const;
    // Sets the ICY StreamTitle of an MP3 mount, as a station's playout does; Ogg streams carry their
    // titles inside the stream, so an Ogg mount answers false.
    bool setTitle(std::string_view mount, std::string_view title);

    // Kills the server and its feeders at once, as a crash would.
    void stop();
    // Starts it again on the same port and feeds the same mounts; false if any did not come back.
    bool restart();

private:
    bool launch();
    bool startFeeder(const std::string& mount);
    int status(const std::string& target) const;

    struct Mount {
        Codec codec;
        ChildProcess feeder;
    };

    std::filesystem::path folder;
    std::string sourcePassword;
    std::string adminPassword;
    int port = 0;
    ChildProcess server;
    std::map<std::string, Mount, std::less<>> mounts;
};

} // namespace zalvo
