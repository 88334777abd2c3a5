#include "IcecastServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string randomPassword() {
    std::random_device random;
    std::string password;
    for (int i = 0; i < 16; ++i) {
        password += "0123456789abcdef"[random() % 16];
    }
    return password;
}

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nothing listens on now; Icecast cannot be told to take any and say which.
int freePort() {
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(probe);
    return port;
}

std::string base64(std::string_view text) {
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t at = 0; at < text.size(); at += 3) {
        const std::size_t count = std::min<std::size_t>(3, text.size() - at);
        unsigned bits = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            bits = bits << 8 | (i < count ? static_cast<unsigned char>(text[at + i]) : 0u);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            encoded += i <= count ? digits[bits >> (18 - 6 * i) & 63] : '=';
        }
    }
    return encoded;
}

std::string urlEncode(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 15];
        }
    }
    return encoded;
}

// Waits up to a few seconds, in short steps, for `ready`; gives up early once `alive` is false.
template <typename Ready, typename Alive> bool waitUntil(Ready ready, Alive alive) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (ready()) {
            return true;
        }
        if (!alive()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

IcecastServer::IcecastServer(std::filesystem::path folder)
    : folder(std::move(folder)), sourcePassword(randomPassword()), adminPassword(randomPassword()) {}

IcecastServer::~IcecastServer() {
    stop();
}

bool IcecastServer::available() {
    return onPath("icecast2") && onPath("ffmpeg");
}

bool IcecastServer::start() {
    // Another program may take the port between the probe and Icecast's bind: a few tries.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port = freePort();
        if (port > 0 && launch()) {
            return true;
        }
    }
    return false;
}

bool IcecastServer::launch() {
    const std::filesystem::path config = folder / "icecast.xml";
    {
        std::ofstream xml(config);
        xml << "<icecast>\n"
               "  <limits><sources>16</sources></limits>\n"
               "  <authentication>\n"
               "    <source-password>"
            << sourcePassword << "</source-password>\n    <admin-user>admin</admin-user>\n    <admin-password>"
            << adminPassword
            << "</admin-password>\n"
               "  </authentication>\n"
               "  <hostname>127.0.0.1</hostname>\n"
               "  <listen-socket><port>"
            << port
            << "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n"
               "  <mount type=\"default\"><charset>UTF-8</charset></mount>\n"
               "  <paths>\n"
               "    <logdir>"
            << folder.string()
            << "</logdir>\n"
               "    <webroot>/usr/share/icecast2/web</webroot>\n"
               "    <adminroot>/usr/share/icecast2/admin</adminroot>\n"
               "  </paths>\n"
               "  <logging><errorlog>-</errorlog><accesslog>-</accesslog><loglevel>3</loglevel></logging>\n";
        // Icecast refuses to run as root; it gives its rights up for nobody's once it has its port.
        if (geteuid() == 0) {
            xml << "  <security><chroot>0</chroot>"
                   "<changeowner><user>nobody</user><group>nogroup</group></changeowner></security>\n";
        }
        xml << "</icecast>\n";
        if (!xml) {
            return false;
        }
    }
    if (!server.start({"icecast2", "-c", config.string()}, folder / "icecast.log")) {
        return false;
    }
    if (waitUntil([this] { return status("/status-json.xsl") == 200; }, [this] { return server.running(); })) {
        return true;
    }
    server.kill();
    return false;
}

bool IcecastServer::feed(std::string_view mount, Codec codec) {
    auto [entry, added] = mounts.try_emplace(std::string(mount), codec);
    entry->second.codec = codec;
    return startFeeder(entry->first);
}

bool IcecastServer::startFeeder(const std::string& mount) {
    Mount& fed = mounts.find(mount)->second;
    std::vector<std::string> arguments{
        "ffmpeg", "-nostdin", "-v", "error", "-re", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100",
        "-ac",    "2"};
    if (fed.codec == Codec::Mp3) {
        arguments.insert(arguments.end(),
                         {"-c:a", "libmp3lame", "-b:a", "128k", "-f", "mp3", "-content_type", "audio/mpeg"});
    } else {
        arguments.insert(arguments.end(), {"-c:a", "libvorbis", "-f", "ogg", "-content_type", "audio/ogg"});
    }
    arguments.insert(arguments.end(),
                     {"-ice_name", "Zalvo Test Radio",
                      "icecast://source:" + sourcePassword + "@127.0.0.1:" + std::to_string(port) + mount});
    if (!fed.feeder.start(arguments, folder / "feeders.log")) {
        return false;
    }
    return waitUntil([&] { return status(mount) == 200; }, [&] { return fed.feeder.running(); });
}

std::string IcecastServer::url(std::string_view mount) const {
    return "http://127.0.0.1:" + std::to_string(port) + std::string(mount);
}

bool IcecastServer::setTitle(std::string_view mount, std::string_view title) {
    const auto fed = mounts.find(mount);
    if (fed == mounts.end() || fed->second.codec != Codec::Mp3) {
        return false;
    }
    return status("/admin/metadata?mount=" + urlEncode(mount) +
                  "&mode=updinfo&charset=UTF-8&song=" + urlEncode(title)) == 200;
}

void IcecastServer::stop() {
    for (auto& [mount, fed] : mounts) {
        fed.feeder.kill();
    }
    server.kill();
}

bool IcecastServer::restart() {
    stop();
    if (!launch()) {
        return false;
    }
    bool all = true;
    for (const auto& [mount, fed] : mounts) {
        all = startFeeder(mount) && all;
    }
    return all;
}

// The status code Icecast answers a GET of `target` with, as the admin; -1 when it does not answer.
int IcecastServer::status(const std::string& target) const {
    const int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{2, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const sockaddr_in address = loopback(port);
    std::string reply;
    if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                    "\r\nAuthorization: Basic " + base64("admin:" + adminPassword) + "\r\n\r\n";
        if (send(connection, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[512];
            ssize_t got = 0;
            while (reply.find("\r\n") == std::string::npos && (got = recv(connection, buffer, sizeof buffer, 0)) > 0) {
                reply.append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
    close(connection);
    // "HTTP/1.0 200 OK": the code after the first space.
    const std::size_t space = reply.find(' ');
    if (reply.find("\r\n") == std::string::npos || space == std::string::npos) {
        return -1;
    }
    return std::atoi(reply.c_str() + space + 1);
}

} // namespace zalvo
