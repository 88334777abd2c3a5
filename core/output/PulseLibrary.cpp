#include "output/PulseLibrary.h"

#include "base/Log.h"
#include "base/SharedLibrary.h"

#include <optional>

namespace zalvo {

namespace {

std::optional<PulseLibrary> load() {
    SharedLibrary library("libpulse.so.0");
    PulseLibrary functions;
    bool bound = true;
    const auto bind = [&](auto& function, const char* name) { bound = library.bind(function, name) && bound; };
#define ZALVO_PULSE_BIND(name) bind(functions.name, "pa_" #name);
    ZALVO_PULSE_FUNCTIONS(ZALVO_PULSE_BIND)
#undef ZALVO_PULSE_BIND
    if (bound) {
        return functions;
    }
    Log::warning(Log::Category::Output, "libpulse does not load (" + library.failure() + ")");
    return std::nullopt;
}

} // namespace

const PulseLibrary* PulseLibrary::get() {
    static const std::optional<PulseLibrary> loaded = load();
    return loaded ? &*loaded : nullptr;
}

} // namespace zalvo
