#pragma once

#include <SFML/System/InputStream.hpp>

#include <cstdio>
#include <memory>
#include <string>

// A file read through the C library's buffer, its size taken once at open. libsndfile asks a stream
// its size many times while it opens a file; measuring it each time by seeking to the end would drop
// the buffer and cost system calls on every track of a playlist. Only regular files open.
class FileStream final : public sf::InputStream {
public:
    // False when the file does not open or is not a regular file (a FIFO, a device, a directory);
    // never blocks on what it refuses.
    bool open(const std::string& utf8Path);
    // The open file's descriptor, or -1.
    int descriptor() const;

    sf::Int64 read(void* data, sf::Int64 size) override;
    sf::Int64 seek(sf::Int64 position) override;
    sf::Int64 tell() override;
    sf::Int64 getSize() override { return size; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file;
    sf::Int64 size = -1;
};
