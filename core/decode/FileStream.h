#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zalvo {

// A file read through a buffer of its own, its size taken once at open. Opening a playlist outlines
// every track, and the decoders and probes seek about its header in small steps: each seek only moves
// the stream's position, and each read that the buffer misses is one pread there, so the descriptor's
// own offset never moves and costs no system call. Only regular files open.
class FileStream final {
public:
    FileStream() = default;
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // False when the file does not open or is not a regular file (a FIFO, a device, a directory);
    // never blocks on what it refuses.
    bool open(const std::string& utf8Path);
    // The open file's descriptor, or -1.
    int descriptor() const { return file; }

    // The bytes read, or -1 when no file is open.
    std::int64_t read(void* data, std::int64_t count);
    // The position reached, or -1 when the file cannot go there.
    std::int64_t seek(std::int64_t to);
    std::int64_t tell() const { return file < 0 ? -1 : position; }
    std::int64_t getSize() const { return size; }

private:
    void close();
    // One pread into the buffer from the stream's position; false at the end of the file or on an error.
    bool fill();

    int file = -1;
    std::int64_t size = -1;
    std::int64_t position = 0;
    // A WAV or FLAC header and the probes' looks at it fit in one read; a request at least this large
    // goes to the caller's memory directly.
    static constexpr std::int64_t bufferSize = 4096;
    std::unique_ptr<std::array<char, static_cast<std::size_t>(bufferSize)>> buffer;
    // Where in the file the buffer's bytes start, and how many it holds.
    std::int64_t bufferStart = 0;
    std::int64_t buffered = 0;
};

} // namespace zalvo
