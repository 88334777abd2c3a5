#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds patience{10};

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

xcb_atom_t atom(xcb_connection_t* connection, std::string_view name) {
    const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::optional<pid_t> windowPid(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t pidAtom) {
    const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return std::nullopt;
    }
    std::uint32_t pid = 0;
    std::memcpy(&pid, xcb_get_property_value(reply.get()), sizeof pid);
    return static_cast<pid_t>(pid);
}

// Waits for a top-level window of `child` to be mapped; false if the child ends or takes too long.
bool awaitWindow(xcb_connection_t* connection, pid_t child, xcb_atom_t pidAtom, Clock::time_point deadline) {
    pollfd server{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (const ReplyPtr<xcb_generic_event_t> event{xcb_poll_for_event(connection)}) {
            if ((event->response_type & 0x7FU) != XCB_MAP_NOTIFY) {
                continue;
            }
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
            // Menus and tooltips map without the window manager; the player's own window does not.
            if (map->override_redirect == 0 && windowPid(connection, map->window, pidAtom) == child) {
                return true;
            }
        }
        if (xcb_connection_has_error(connection) != 0 || waitpid(child, nullptr, WNOHANG) == child) {
            return false;
        }
        // Woken by the server's events; the child's end is looked at every 50 ms.
        poll(&server, 1, 50);
    }
    return false;
}

} // namespace

// Runs a command and prints, once it maps a window, the milliseconds since it was started and its
// process id, then waits for it to end. The X server reports the map as it happens, so the time carries
// no polling delay, whichever player is timed.
int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    const std::unique_ptr<xcb_connection_t, Disconnect> connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()) != 0) {
        std::fprintf(stderr, "window_shown: no X server\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection.get(), root, XCB_CW_EVENT_MASK, &mask);
    // Asked before the command starts, which also makes sure the server watches the root from then on.
    const xcb_atom_t pidAtom = atom(connection.get(), "_NET_WM_PID");

    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    if (const int error = posix_spawnp(&child, argv[1], nullptr, nullptr, argv + 1, environ); error != 0) {
        std::fprintf(stderr, "window_shown: cannot run %s: %s\n", argv[1], std::strerror(error));
        return 1;
    }
    if (!awaitWindow(connection.get(), child, pidAtom, start + patience)) {
        std::fprintf(stderr, "window_shown: %s showed no window\n", argv[1]);
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        return 1;
    }
    const auto shown = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("%lld %d\n", static_cast<long long>(shown.count()), static_cast<int>(child));
    std::fflush(stdout);
    waitpid(child, nullptr, 0);
    return 0;
}
