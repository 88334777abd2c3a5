#pragma once

#include <pulse/pulseaudio.h>

// Every libpulse function the outputs call, without its `pa_` prefix.
#define ZALVO_PULSE_FUNCTIONS(F)                                                                                       \
    F(channel_map_init_extend)                                                                                         \
    F(context_connect)                                                                                                 \
    F(context_disconnect)                                                                                              \
    F(context_errno)                                                                                                   \
    F(context_get_state)                                                                                               \
    F(context_new)                                                                                                     \
    F(context_set_sink_input_volume)                                                                                   \
    F(context_set_state_callback)                                                                                      \
    F(context_unref)                                                                                                   \
    F(cvolume_set)                                                                                                     \
    F(gettimeofday)                                                                                                    \
    F(mainloop_dispatch)                                                                                               \
    F(mainloop_free)                                                                                                   \
    F(mainloop_get_api)                                                                                                \
    F(mainloop_new)                                                                                                    \
    F(mainloop_poll)                                                                                                   \
    F(mainloop_prepare)                                                                                                \
    F(operation_unref)                                                                                                 \
    F(proplist_free)                                                                                                   \
    F(proplist_new)                                                                                                    \
    F(proplist_sets)                                                                                                   \
    F(sample_spec_valid)                                                                                               \
    F(stream_connect_playback)                                                                                         \
    F(stream_cork)                                                                                                     \
    F(stream_disconnect)                                                                                               \
    F(stream_drain)                                                                                                    \
    F(stream_get_index)                                                                                                \
    F(stream_get_state)                                                                                                \
    F(stream_get_time)                                                                                                 \
    F(stream_new_with_proplist)                                                                                        \
    F(stream_set_state_callback)                                                                                       \
    F(stream_set_write_callback)                                                                                       \
    F(stream_unref)                                                                                                    \
    F(stream_update_timing_info)                                                                                       \
    F(stream_writable_size)                                                                                            \
    F(stream_write)                                                                                                    \
    F(strerror)                                                                                                        \
    F(sw_volume_from_linear)                                                                                           \
    F(threaded_mainloop_free)                                                                                          \
    F(threaded_mainloop_get_api)                                                                                       \
    F(threaded_mainloop_lock)                                                                                          \
    F(threaded_mainloop_new)                                                                                           \
    F(threaded_mainloop_signal)                                                                                        \
    F(threaded_mainloop_start)                                                                                         \
    F(threaded_mainloop_stop)                                                                                          \
    F(threaded_mainloop_unlock)                                                                                        \
    F(threaded_mainloop_wait)                                                                                          \
    F(timeval_add)                                                                                                     \
    F(usec_to_bytes)

namespace zalvo {

// libpulse, opened the first time the player looks for a sound server: a start that plays nothing maps
// neither it nor what it links, libsndfile's codecs among them. `pa().stream_write(...)` is libpulse's
// pa_stream_write(), looked up once by name.
class PulseLibrary final {
public:
    // The library with every function bound, or null where it does not load (said once).
    static const PulseLibrary* get();

// NOLINTNEXTLINE(bugprone-macro-parentheses): the argument is a member's name, declared here.
#define ZALVO_PULSE_MEMBER(name) decltype(&::pa_##name) name = nullptr;
    ZALVO_PULSE_FUNCTIONS(ZALVO_PULSE_MEMBER)
#undef ZALVO_PULSE_MEMBER
};

// Only called where the library has loaded: by a connection whose loop exists, or past a check of get().
inline const PulseLibrary& pa() {
    return *PulseLibrary::get();
}

} // namespace zalvo
