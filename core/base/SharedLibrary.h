#pragma once

#include "base/Log.h"

#include <optional>
#include <string>
#include <string_view>

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

    // The table of the library's functions that `bindAll(library, table)` fills, made the first time it
    // is asked for and kept for the process's life. Null where the library or one of them is missing: the
    // log is told once that `name` does not load, and why, followed by what the player does without it.
    template <typename Table, typename BindAll>
    static const Table* tableOnce(const char* soname, std::string_view name, Log::Category category,
                                  std::string_view without, BindAll bindAll) {
        static const std::optional<Table> loaded = [&]() -> std::optional<Table> {
            SharedLibrary library(soname);
            Table table{};
            if (bindAll(library, table)) {
                return table;
            }
            Log::warning(category,
                         std::string(name) + " does not load (" + library.failure() + ")" + std::string(without));
            return std::nullopt;
        }();
        return loaded ? &*loaded : nullptr;
    }

private:
    void* lookUp(const char* name);

    const char* soname;
    void* handle = nullptr;
    std::string why;
};

} // namespace zalvo
