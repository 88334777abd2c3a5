#include "PulseServer.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zalvo {

namespace {

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

PulseServer::PulseServer(const std::filesystem::path& folder) : folder(folder) {
    std::filesystem::create_directories(folder / "home");
    std::filesystem::create_directories(folder / "runtime");
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    if (const char* server = std::getenv("PULSE_SERVER")) {
        previousServer = server;
        hadPreviousServer = true;
    }
    setenv("PULSE_SERVER", ("unix:" + (folder / "native").string()).c_str(), 1);
}

PulseServer::~PulseServer() {
    kill();
    if (hadPreviousServer) {
        setenv("PULSE_SERVER", previousServer.c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
}

bool PulseServer::available() {
    return onPath("pulseaudio") && onPath("pactl") && onPath("parec");
}

bool PulseServer::start() {
    const std::string socket = "module-native-protocol-unix auth-anonymous=1 socket=" + (folder / "native").string();
    std::vector<std::string> arguments{"pulseaudio",
                                       "-n",
                                       "--daemonize=no",
                                       "--exit-idle-time=-1",
                                       "--use-pid-file=no",
                                       "--log-target=stderr",
                                       "--load=module-null-sink sink_name=nullsink",
                                       "--load=module-null-sink sink_name=othersink",
                                       "--load=" + socket};
    std::vector<std::string> environment{"HOME=" + (folder / "home").string(),
                                         "XDG_RUNTIME_DIR=" + (folder / "runtime").string()};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry(*variable);
        if (!entry.starts_with("HOME=") && !entry.starts_with("XDG_RUNTIME_DIR=")) {
            environment.push_back(entry);
        }
    }
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> result;
        result.reserve(strings.size() + 1);
        for (std::string& string : strings) {
            result.push_back(string.data());
        }
        result.push_back(nullptr);
        return result;
    };
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);

    posix_spawn_file_actions_t actions{};
    posix_spawn_file_actions_init(&actions);
    const std::string log = (folder / "pulseaudio.log").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int spawned = posix_spawnp(&pid, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        pid = -1;
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (!pactl("info").empty()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void PulseServer::kill() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

void PulseServer::freeze() {
    if (pid > 0) {
        ::kill(pid, SIGSTOP);
    }
}

void PulseServer::thaw() {
    if (pid > 0) {
        ::kill(pid, SIGCONT);
    }
}

std::string PulseServer::pactl(const std::string& arguments) const {
    FILE* output = popen(("pactl " + arguments + " 2>/dev/null").c_str(), "r");
    if (output == nullptr) {
        return {};
    }
    std::string text;
    std::array<char, 4096> buffer{};
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), output)) {
        text.append(buffer.data(), got);
    }
    const int status = pclose(output);
    // A command that succeeds silently still answers something, so that empty means failure.
    if (status != 0) {
        return {};
    }
    return text.empty() ? "ok" : text;
}

} // namespace zalvo
