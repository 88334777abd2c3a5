#include "FileStream.h"

#include <sys/stat.h>

bool FileStream::open(const std::string& utf8Path) {
    file.reset(std::fopen(utf8Path.c_str(), "rb"));
    struct stat status {};
    if (!file || fstat(fileno(file.get()), &status) != 0) {
        file.reset();
        return false;
    }
    size = status.st_size;
    return true;
}

sf::Int64 FileStream::read(void* data, sf::Int64 count) {
    if (!file || count < 0) {
        return -1;
    }
    return static_cast<sf::Int64>(std::fread(data, 1, static_cast<std::size_t>(count), file.get()));
}

sf::Int64 FileStream::seek(sf::Int64 position) {
    if (!file || fseeko(file.get(), static_cast<off_t>(position), SEEK_SET) != 0) {
        return -1;
    }
    return position;
}

sf::Int64 FileStream::tell() {
    return file ? static_cast<sf::Int64>(ftello(file.get())) : -1;
}
