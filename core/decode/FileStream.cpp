#include "decode/FileStream.h"

#include "decode/FolderScope.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zalvo {

namespace {

std::int64_t readAt(int file, char* data, std::int64_t count, std::int64_t at) {
    ssize_t got = -1;
    do {
        got = pread(file, data, static_cast<std::size_t>(count), static_cast<off_t>(at));
    } while (got < 0 && errno == EINTR);
    return got;
}

} // namespace

FileStream::~FileStream() {
    close();
}

void FileStream::close() {
    if (file >= 0) {
        ::close(file);
    }
    file = -1;
    size = -1;
    position = 0;
    buffered = 0;
}

bool FileStream::open(const std::string& utf8Path) {
    close();
    // A name with a NUL in it would reach the file system cut short, naming another file.
    if (utf8Path.empty() || utf8Path.find('\0') != std::string::npos) {
        return false;
    }
    // Opening a FIFO for reading waits for a writer unless asked not to; a device or a directory never
    // ends. Only what fstat calls a regular file is read, and nothing is read before it says so. The
    // flag stays: a regular file's reads never block, so it changes nothing for what is kept.
    const int opened = FolderScope::open(utf8Path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0) {
        return false;
    }
    struct stat status {};
    if (fstat(opened, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(opened);
        return false;
    }
    file = opened;
    size = status.st_size;
    return true;
}

bool FileStream::fill() {
    if (!buffer) {
        buffer = std::make_unique_for_overwrite<std::array<char, static_cast<std::size_t>(bufferSize)>>();
    }
    const std::int64_t got = readAt(file, buffer->data(), bufferSize, position);
    bufferStart = position;
    buffered = std::max<std::int64_t>(got, 0);
    return buffered > 0;
}

std::int64_t FileStream::read(void* data, std::int64_t count) {
    if (file < 0 || count < 0) {
        return -1;
    }
    auto* out = static_cast<char*>(data);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t inBuffer = position - bufferStart;
        if (inBuffer >= 0 && inBuffer < buffered) {
            const std::int64_t taken = std::min(count - done, buffered - inBuffer);
            std::memcpy(out + done, buffer->data() + inBuffer, static_cast<std::size_t>(taken));
            done += taken;
            position += taken;
            // A buffer the file could not fill ends where the file did.
            if (buffered < bufferSize && position == bufferStart + buffered) {
                break;
            }
        } else if (count - done >= bufferSize) {
            const std::int64_t got = readAt(file, out + done, count - done, position);
            if (got <= 0) {
                break;
            }
            done += got;
            position += got;
        } else if (!fill()) {
            break;
        }
    }
    return done;
}

std::int64_t FileStream::seek(std::int64_t to) {
    if (file < 0 || to < 0) {
        return -1;
    }
    position = to;
    return position;
}

} // namespace zalvo
