#include "decode/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zalvo {

bool FileStream::open(const std::string& utf8Path) {
    file.reset();
    // A name with a NUL in it would reach the file system cut short, naming another file.
    if (utf8Path.empty() || utf8Path.find('\0') != std::string::npos) {
        return false;
    }
    // Opening a FIFO for reading waits for a writer unless asked not to; a device or a directory never
    // ends. Only what fstat calls a regular file is read, and nothing is read before it says so.
    const int descriptor = ::open(utf8Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        return false;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(descriptor);
        return false;
    }
    file.reset(fdopen(descriptor, "rb"));
    if (!file) {
        ::close(descriptor);
        return false;
    }
    size = status.st_size;
    return true;
}

int FileStream::descriptor() const {
    return file ? fileno(file.get()) : -1;
}

std::int64_t FileStream::read(void* data, std::int64_t count) {
    if (!file || count < 0) {
        return -1;
    }
    return static_cast<std::int64_t>(std::fread(data, 1, static_cast<std::size_t>(count), file.get()));
}

std::int64_t FileStream::seek(std::int64_t position) {
    if (!file || fseeko(file.get(), static_cast<off_t>(position), SEEK_SET) != 0) {
        return -1;
    }
    return position;
}

std::int64_t FileStream::tell() {
    return file ? static_cast<std::int64_t>(ftello(file.get())) : -1;
}

} // namespace zalvo
