#pragma once

#include "ChildProcess.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zalvo {

// A radio server of the tests' own (fault_server.py) on a free loopback port, each path one way of
// misbehaving. Every stream is an endless 128 kbit/s 44.1 kHz stereo MP3 tone, "Fault Radio"
// (icy-name), two seconds at once and then in real time, with ICY metadata every 16000 bytes when the
// client asks, the title sent on a change and empty blocks between. `after` counts seconds of audio.
//   /radio.mp3                  plays for ever, titled "Fault Artist - Fault Song" until told otherwise
//   /drop.mp3?after=3           closes the connection; the next one plays again
//   /restart.mp3?after=3&down=5 drops every stream and refuses connections for `down` seconds
//   /stall.mp3?after=2&for=10   sends nothing for `for` seconds with the connection open, then goes on
//   /redirect.mp3               302 to /radio.mp3;  /loop-redirect: 302 to itself
//   /missing.mp3                404, as is any path not listed here
//   /notaudio                   200 text/html, an endless page;  /garbage.mp3: audio/mpeg, random bytes
//   /hugetitle.mp3              every block the largest (4080 bytes), a title of 4065 'h's
//   /latin1.mp3                 the title "Beyoncé - Déjà vu" in Latin-1 bytes, not UTF-8
//   /endless-icy.mp3            after the first interval, a length byte and then "StreamTitle='aaa..."
//                               for ever
//   /endless-headers.mp3        a status line, then header lines for ever, never the blank line
//   /slow-headers.mp3           a status line, then nothing for as long as the client waits
// The same commands control() sends also work by hand, as GET /control/title?text=... and /control/drop.
class FaultServer final {
public:
    explicit FaultServer(std::filesystem::path folder);
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // Whether this machine has python3 and ffmpeg.
    static bool available();

    // Starts it over HTTP, or HTTPS with `certificate` and its `key`, and waits until it listens;
    // false if it did not within a few seconds.
    bool start();
    bool startTls(const std::filesystem::path& certificate, const std::filesystem::path& key);
    // "http://127.0.0.1:PORT/radio.mp3" for "/radio.mp3", https once started with TLS.
    std::string url(std::string_view path) const;
    // "title TEXT" titles /radio.mp3 (and the others without a title of their own) for every listener
    // from its next metadata block; "drop" drops every open stream at once. False if not done.
    bool control(std::string_view command);

private:
    bool launch(std::vector<std::string> arguments);

    std::filesystem::path folder;
    bool tls = false;
    int port = 0;
    ChildProcess script;
};

} // namespace zalvo
