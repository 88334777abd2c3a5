#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace zalvo {

// Where the player's modules lie, the shared libraries it loads on first need: the folder named by
// ZALVO_MODULE_DIR when set, else beside the running program or in the library folder it installs to.
class ModuleFolders final {
public:
    ModuleFolders() = delete;

    // The module file in each of those folders that holds it, in the order they are searched.
    static std::vector<std::filesystem::path> find(std::string_view file);
};

} // namespace zalvo
