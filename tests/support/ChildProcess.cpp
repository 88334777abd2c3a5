#include "ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zalvo {

ChildProcess::~ChildProcess() {
    kill();
}

bool ChildProcess::start(const std::vector<std::string>& arguments, const std::filesystem::path& log, bool talk) {
    kill();
    int ends[2] = {-1, -1};
    if (talk && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions{};
    posix_spawn_file_actions_init(&actions);
    const std::string logName = log.string();
    if (talk) {
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logName.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logName.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<std::string> strings = arguments;
    std::vector<char*> argv;
    for (std::string& argument : strings) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (talk) {
        close(ends[1]);
        channel = ends[0];
    }
    if (spawned != 0) {
        pid = -1;
        kill();
        return false;
    }
    return true;
}

void ChildProcess::kill() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    if (channel >= 0) {
        close(channel);
        channel = -1;
    }
    pending.clear();
}

bool ChildProcess::running() {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid) {
        pid = -1;
    }
    return pid > 0;
}

bool ChildProcess::writeLine(std::string_view line) {
    const std::string text = std::string(line) + '\n';
    std::size_t written = 0;
    while (channel >= 0 && written < text.size()) {
        // MSG_NOSIGNAL: a child that died must fail the write, not end the test with SIGPIPE.
        const ssize_t sent = send(channel, text.data() + written, text.size() - written, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(sent);
    }
    return channel >= 0;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (channel >= 0) {
        if (const std::size_t end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd waiting{channel, POLLIN, 0};
        if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const ssize_t got = recv(channel, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return std::nullopt;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
    }
    return std::nullopt;
}

} // namespace zalvo
