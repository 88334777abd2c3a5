#pragma once

#include "base/DeferredLog.h"

#include <cstdint>
#include <functional>
#include <string>

struct pa_context;
struct pa_mainloop_api;
struct pa_threaded_mainloop;
struct pa_time_event;
struct timeval;

namespace zalvo {

// A connection to the sound server (PulseAudio, or PipeWire's server for its clients) run on libpulse's
// own thread. Once a server has answered, the connection is made again whenever it goes away, until one
// answers again. Lock it (it is a lockable) around every use of the context and of the loop's API; the
// handlers run on the loop's thread with it locked, so what they report goes through messages(), which
// writes it on a thread of its own.
class PulseConnection {
public:
    using Handler = std::function<void()>;
    using TimerCallback = void (*)(pa_mainloop_api* api, pa_time_event* event, const timeval* time, void* data);

    // `onReady` when the server answers and whenever it has to be asked again for a stream,
    // `onLost` when the server goes away, before its context is closed.
    PulseConnection(Handler onReady, Handler onLost);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Whether a server answers now, without starting one.
    static bool serverAnswers();

    // Starts the loop and waits, up to a bound, for a server to answer. Call once, unlocked.
    bool open();
    // Closes the connection for good; locked.
    void close();

    void lock() const;
    void unlock() const;

    // Locked, as all below.
    pa_context* context() const { return serverContext; }
    pa_mainloop_api* api() const;
    bool ready() const;
    // Has `callback` called once in `usec` microseconds, moving `timer` if it is still pending.
    void schedule(pa_time_event*& timer, std::uint64_t usec, TimerCallback callback, void* data);
    // Calls `onReady` again soon if the server is still there, else looks for it again.
    void retrySoon();
    // Why the server's last call failed, as libpulse words it.
    std::string lastError() const;

    // Any thread, locked or not.
    DeferredLog& messages() const { return heldMessages; }

private:
    void openContext();
    void closeContext();
    void onContextState();

    static void contextStateThunk(pa_context* context, void* self);
    static void retryThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* time, void* self);
    static void timeoutThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* time, void* self);

    Handler onReady;
    Handler onLost;
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* serverContext = nullptr;
    pa_time_event* retryTimer = nullptr;
    bool everConnected = false;
    bool lost = false;
    bool timedOut = false;
    mutable DeferredLog heldMessages{Log::Category::Output};
};

} // namespace zalvo
