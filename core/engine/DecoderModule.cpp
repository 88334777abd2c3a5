#include "DecoderModule.h"

#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* moduleFile = "libzalvo_ffmpeg.so";

std::vector<fs::path> moduleFolders() {
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

ModuleDecoderOpen loadModule() {
    for (const fs::path& folder : moduleFolders()) {
        // The module stays loaded for the process's life: decoders it made may outlive any owner.
        if (void* library = dlopen((folder / moduleFile).c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* entry = dlsym(library, moduleDecoderOpenSymbol)) {
                return reinterpret_cast<ModuleDecoderOpen>(entry);
            }
            dlclose(library);
        }
    }
    return nullptr;
}

} // namespace

std::unique_ptr<ModuleDecoder> DecoderModule::open(int descriptor) {
    static const ModuleDecoderOpen entry = loadModule();
    if (entry == nullptr) {
        return nullptr;
    }
    const int own = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        return nullptr;
    }
    return std::unique_ptr<ModuleDecoder>(entry(own));
}
