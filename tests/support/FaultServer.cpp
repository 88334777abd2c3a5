#include "FaultServer.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace zalvo {

namespace {

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

FaultServer::FaultServer(std::filesystem::path folder) : folder(std::move(folder)) {}

bool FaultServer::available() {
    return onPath("python3") && onPath("ffmpeg");
}

bool FaultServer::start() {
    tls = false;
    return launch({"python3", ZALVO_FAULT_SERVER_SCRIPT});
}

bool FaultServer::startTls(const std::filesystem::path& certificate, const std::filesystem::path& key) {
    tls = true;
    return launch({"python3", ZALVO_FAULT_SERVER_SCRIPT, "--tls", certificate.string(), key.string()});
}

bool FaultServer::launch(std::vector<std::string> arguments) {
    if (!script.start(arguments, folder / "fault-server.log", true)) {
        return false;
    }
    // The script encodes its tone before it listens and says its port.
    const auto line = script.readLine(std::chrono::seconds(5));
    port = 0;
    if (line) {
        std::from_chars(line->data(), line->data() + line->size(), port);
    }
    if (port > 0) {
        return true;
    }
    script.kill();
    return false;
}

std::string FaultServer::url(std::string_view path) const {
    return (tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port) + std::string(path);
}

bool FaultServer::control(std::string_view command) {
    return script.writeLine(command) && script.readLine(std::chrono::seconds(5)) == "ok";
}

} // namespace zalvo
