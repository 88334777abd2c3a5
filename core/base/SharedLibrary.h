#pragma once

#include <string>

namespace zalvo {

// A library of the system, opened by its soname the first time the player needs it and kept for the
// process's life: what a bare start never uses, it never maps. Its functions are looked up by name.
class SharedLibrary final {
public:
    explicit SharedLibrary(const char* soname);

    // Sets `function` to the library's function of that name; false where the library did not open or
    // lacks it, the reason kept.
    template <typename Function> bool bind(Function& function, const char* name) {
        function = reinterpret_cast<Function>(lookUp(name));
        return function != nullptr;
    }
    // Why the library did not open or a lookup failed; empty when all went well.
    const std::string& failure() const { return why; }

private:
    void* lookUp(const char* name);

    const char* soname;
    void* handle = nullptr;
    std::string why;
};

} // namespace zalvo
