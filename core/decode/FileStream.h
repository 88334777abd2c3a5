#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace zalvo {

// A file read through the C library's buffer, its size taken once at open. libsndfile asks a stream
// its size many times while it opens a file; measuring it each time by seeking to the end would drop
// the buffer and cost system calls on every track of a playlist. Only regular files open.
class FileStream final {
public:
    // False when the file does not open or is not a regular file (a FIFO, a device, a directory);
    // never blocks on what it refuses.
    bool open(const std::string& utf8Path);
    // The open file's descriptor, or -1.
    int descriptor() const;

    // The bytes read, or -1 when no file is open.
    std::int64_t read(void* data, std::int64_t count);
    // The position reached, or -1 when the file cannot go there.
    std::int64_t seek(std::int64_t position);
    std::int64_t tell();
    std::int64_t getSize() const { return size; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file;
    std::int64_t size = -1;
};

} // namespace zalvo
