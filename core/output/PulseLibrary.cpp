#include "output/PulseLibrary.h"

#include "base/Log.h"
#include "base/SharedLibrary.h"

namespace zalvo {

const PulseLibrary* PulseLibrary::get() {
    return SharedLibrary::tableOnce<PulseLibrary>(
        "libpulse.so.0", "libpulse", Log::Category::Output, "", [](SharedLibrary& library, PulseLibrary& functions) {
            bool bound = true;
            const auto bind = [&](auto& function, const char* name) { bound = library.bind(function, name) && bound; };
#define ZALVO_PULSE_BIND(name) bind(functions.name, "pa_" #name);
            ZALVO_PULSE_FUNCTIONS(ZALVO_PULSE_BIND)
#undef ZALVO_PULSE_BIND
            return bound;
        });
}

} // namespace zalvo
