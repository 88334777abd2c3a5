#include "base/ModuleFolders.h"

#include <cstdlib>
#include <system_error>

namespace zalvo {

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> folders() {
    if (const char* forced = std::getenv("ZALVO_MODULE_DIR")) {
        return {fs::path(forced)};
    }
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    const fs::path folder = program.parent_path();
    return {folder, folder.parent_path() / ZALVO_MODULE_LIBDIR / "zalvo"};
}

} // namespace

std::vector<fs::path> ModuleFolders::find(std::string_view file) {
    std::vector<fs::path> found;
    for (const fs::path& folder : folders()) {
        fs::path module = folder / file;
        std::error_code error;
        if (fs::exists(module, error)) {
            found.push_back(std::move(module));
        }
    }
    return found;
}

} // namespace zalvo
