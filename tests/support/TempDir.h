#pragma once

#include <filesystem>
#include <string>

namespace zalvo {

// A fresh directory for one test, removed with everything in it when the test ends.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::filesystem::path file(const std::string& name) const { return root / name; }

private:
    std::filesystem::path root;
};

} // namespace zalvo
