#pragma once

#include <filesystem>

namespace zalvo {

// Counts the times one file is opened, by anyone in any way, from its construction on: the file
// system tells (inotify), so no code under test needs a seam for it.
class FileOpenCounter final {
public:
    explicit FileOpenCounter(const std::filesystem::path& file);
    ~FileOpenCounter();
    FileOpenCounter(const FileOpenCounter&) = delete;
    FileOpenCounter& operator=(const FileOpenCounter&) = delete;

    // The opens so far; -1 when the file could not be watched.
    int opens();

private:
    int descriptor = -1;
    int count = 0;
};

} // namespace zalvo
