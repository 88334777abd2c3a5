#include "base/SharedLibrary.h"

#include <dlfcn.h>

namespace zalvo {

SharedLibrary::SharedLibrary(const char* soname) : soname(soname), handle(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
    if (handle == nullptr) {
        why = dlerror();
    }
}

void* SharedLibrary::lookUp(const char* name) {
    if (handle == nullptr) {
        return nullptr;
    }
    void* found = dlsym(handle, name);
    if (found == nullptr) {
        why = std::string(soname) + " has no " + name;
    }
    return found;
}

} // namespace zalvo
