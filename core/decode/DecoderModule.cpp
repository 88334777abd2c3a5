#include "decode/DecoderModule.h"

#include "base/Log.h"
#include "base/ModuleFolders.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace zalvo {

namespace {

constexpr const char* moduleFile = "libzalvo_ffmpeg.so";

struct Entries {
    ModuleDecoderOpen open = nullptr;
    ModuleDecoderOutline outline = nullptr;
    ModuleDecoderTags tags = nullptr;
    ModuleStreamOpen stream = nullptr;
    ModuleFetch fetch = nullptr;
};

// FFmpeg's account of a file is for whoever looks into a failure, never a warning of its own.
void toDebugLog(std::string_view message) {
    Log::debug(Log::Category::Engine, std::string("FFmpeg: ").append(message));
}

Entries loadModule() {
    for (const std::filesystem::path& file : ModuleFolders::find(moduleFile)) {
        // The module stays loaded for the process's life: decoders it made may outlive any owner.
        void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            // Installed but unusable (FFmpeg's libraries missing): said once, as the files it would
            // have played are refused.
            Log::warning(Log::Category::Engine, std::string("The FFmpeg decoder module does not load: ") + dlerror());
            continue;
        }
        void* open = dlsym(library, moduleDecoderOpenSymbol);
        void* outline = dlsym(library, moduleDecoderOutlineSymbol);
        void* tags = dlsym(library, moduleDecoderTagsSymbol);
        void* setLog = dlsym(library, moduleDecoderSetLogSymbol);
        void* stream = dlsym(library, moduleStreamOpenSymbol);
        void* fetch = dlsym(library, moduleFetchSymbol);
        if (open != nullptr && outline != nullptr && tags != nullptr && setLog != nullptr && stream != nullptr &&
            fetch != nullptr) {
            reinterpret_cast<ModuleDecoderSetLog>(setLog)(toDebugLog);
            return {reinterpret_cast<ModuleDecoderOpen>(open), reinterpret_cast<ModuleDecoderOutline>(outline),
                    reinterpret_cast<ModuleDecoderTags>(tags), reinterpret_cast<ModuleStreamOpen>(stream),
                    reinterpret_cast<ModuleFetch>(fetch)};
        }
        dlclose(library);
    }
    return {};
}

const Entries& entries() {
    static const Entries loaded = loadModule();
    return loaded;
}

// The module takes a descriptor of its own, and closes it.
int ownCopy(int descriptor) {
    return fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
}

} // namespace

bool DecoderModule::available() {
    return entries().open != nullptr;
}

std::unique_ptr<ModuleDecoder> DecoderModule::open(int descriptor) {
    if (entries().open == nullptr) {
        return nullptr;
    }
    const int own = ownCopy(descriptor);
    return own < 0 ? nullptr : std::unique_ptr<ModuleDecoder>(entries().open(own));
}

std::optional<TrackOutline> DecoderModule::outline(int descriptor) {
    TrackOutline found;
    const int own = entries().outline == nullptr ? -1 : ownCopy(descriptor);
    if (own < 0 || !entries().outline(own, &found)) {
        return std::nullopt;
    }
    return found;
}

std::optional<ModuleTags> DecoderModule::tags(int descriptor) {
    ModuleTags found;
    const int own = entries().tags == nullptr ? -1 : ownCopy(descriptor);
    if (own < 0 || !entries().tags(own, &found)) {
        return std::nullopt;
    }
    return found;
}

std::unique_ptr<ModuleStream> DecoderModule::open(const StreamRequest& request) {
    if (entries().stream == nullptr) {
        *request.failure = "the FFmpeg decoder module, which plays streams, is not installed";
        return nullptr;
    }
    return std::unique_ptr<ModuleStream>(entries().stream(&request));
}

std::optional<std::string> DecoderModule::fetch(const StreamRequest& request, std::size_t limit) {
    if (entries().fetch == nullptr) {
        *request.failure = "the FFmpeg decoder module, which reads stations, is not installed";
        return std::nullopt;
    }
    std::string body;
    if (!entries().fetch(&request, limit, &body)) {
        return std::nullopt;
    }
    return body;
}

} // namespace zalvo
