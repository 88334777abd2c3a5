#include "FileOpenCounter.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace zalvo {

FileOpenCounter::FileOpenCounter(const std::filesystem::path& file)
    : descriptor(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    // The kernel merges an event into an identical one still unread: reads and closes between two opens
    // keep them apart.
    if (descriptor >= 0 && inotify_add_watch(descriptor, file.c_str(), IN_OPEN | IN_ACCESS | IN_CLOSE) < 0) {
        close(descriptor);
        descriptor = -1;
    }
}

FileOpenCounter::~FileOpenCounter() {
    if (descriptor >= 0) {
        close(descriptor);
    }
}

int FileOpenCounter::opens() {
    if (descriptor < 0) {
        return -1;
    }
    // Events without a name (the watch is on the file itself) are all one size.
    alignas(inotify_event) std::array<char, 64 * sizeof(inotify_event)> buffer{};
    while (true) {
        const ssize_t got = read(descriptor, buffer.data(), buffer.size());
        if (got <= 0) {
            return count;
        }
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof(event));
            if ((event.mask & IN_OPEN) != 0U) {
                ++count;
            }
            at += sizeof(inotify_event) + event.len;
        }
    }
}

} // namespace zalvo
