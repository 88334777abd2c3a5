#include "tags/TagModule.h"

#include "base/Log.h"
#include "base/ModuleFolders.h"
#include "decode/DecoderModule.h"
#include "decode/FileStream.h"
#include "tags/TagModuleHost.h"

#include <dlfcn.h>
#include <filesystem>
#include <utility>

namespace zalvo {

namespace {

constexpr const char* moduleFile = "libzalvo_taglib.so";

// The module asks for the files TagLib finds no tags in that may hold some only FFmpeg reads.
bool containerTags(const std::string* path, ModuleTags* tags) {
    FileStream file;
    if (!file.open(*path)) {
        return false;
    }
    std::optional<ModuleTags> found = DecoderModule::tags(file.descriptor());
    if (!found) {
        return false;
    }
    *tags = std::move(*found);
    return true;
}

struct Entries {
    TagModuleRead read = nullptr;
    TagModuleCover cover = nullptr;
};

Entries loadModule() {
    static const TagModuleHost host{containerTags};
    std::string failure = "it is not installed";
    for (const std::filesystem::path& file : ModuleFolders::find(moduleFile)) {
        // Kept for the process's life: TagLib is mapped once, whatever reads tags after.
        void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            // Installed but unusable: TagLib itself missing.
            failure = dlerror();
            continue;
        }
        void* setHost = dlsym(library, tagModuleSetHostSymbol);
        void* read = dlsym(library, tagModuleReadSymbol);
        void* cover = dlsym(library, tagModuleCoverSymbol);
        if (setHost != nullptr && read != nullptr && cover != nullptr) {
            reinterpret_cast<TagModuleSetHost>(setHost)(&host);
            return {reinterpret_cast<TagModuleRead>(read), reinterpret_cast<TagModuleCover>(cover)};
        }
        failure = file.string() + " is built for another version of the player";
        dlclose(library);
    }
    Log::warning(Log::Category::Tags,
                 "The TagLib module does not load (" + failure + "): tracks show no tags and no embedded cover");
    return {};
}

const Entries& entries() {
    static const Entries loaded = loadModule();
    return loaded;
}

} // namespace

bool TagModule::available() {
    return entries().read != nullptr;
}

TrackTags TagModule::read(const std::string& path) {
    TrackTags tags;
    if (entries().read != nullptr) {
        entries().read(&path, &tags);
    }
    return tags;
}

std::optional<std::string> TagModule::cover(const std::string& path, std::size_t limit) {
    std::string picture;
    if (entries().cover == nullptr || !entries().cover(&path, limit, &picture)) {
        return std::nullopt;
    }
    return picture;
}

} // namespace zalvo
