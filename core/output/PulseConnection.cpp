#include "output/PulseConnection.h"

#include "output/PulseLibrary.h"

#include <chrono>
#include <mutex>
#include <pulse/pulseaudio.h>
#include <utility>

namespace zalvo {

namespace {

// How often a lost server is looked for again, well inside the second it may take to come back.
constexpr pa_usec_t retryUsec = 250'000;
// A server that accepts the connection but never answers must not hang the player's start.
constexpr pa_usec_t connectTimeoutUsec = 2'000'000;

} // namespace

PulseConnection::PulseConnection(Handler onReady, Handler onLost)
    : onReady(std::move(onReady)), onLost(std::move(onLost)),
      mainloop(PulseLibrary::get() != nullptr ? pa().threaded_mainloop_new() : nullptr) {}

PulseConnection::~PulseConnection() {
    if (mainloop == nullptr) {
        return;
    }
    {
        const std::scoped_lock lock(*this);
        close();
    }
    pa().threaded_mainloop_stop(mainloop);
    pa().threaded_mainloop_free(mainloop);
}

bool PulseConnection::serverAnswers() {
    if (PulseLibrary::get() == nullptr) {
        return false;
    }
    pa_mainloop* loop = pa().mainloop_new();
    if (loop == nullptr) {
        return false;
    }
    pa_context* probe = pa().context_new(pa().mainloop_get_api(loop), "Zalvo");
    bool answered = false;
    if (probe != nullptr && pa().context_connect(probe, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(connectTimeoutUsec);
        while (PA_CONTEXT_IS_GOOD(pa().context_get_state(probe)) && !answered &&
               std::chrono::steady_clock::now() < deadline) {
            // Bounded waits, so that a server that never answers cannot hold the caller.
            if (pa().mainloop_prepare(loop, static_cast<int>(retryUsec)) < 0 || pa().mainloop_poll(loop) < 0 ||
                pa().mainloop_dispatch(loop) < 0) {
                break;
            }
            answered = pa().context_get_state(probe) == PA_CONTEXT_READY;
        }
        pa().context_disconnect(probe);
    }
    if (probe != nullptr) {
        pa().context_unref(probe);
    }
    pa().mainloop_free(loop);
    return answered;
}

bool PulseConnection::open() {
    if (mainloop == nullptr || pa().threaded_mainloop_start(mainloop) < 0) {
        return false;
    }
    const std::scoped_lock lock(*this);
    openContext();
    pa_time_event* timeout = nullptr;
    schedule(timeout, connectTimeoutUsec, &PulseConnection::timeoutThunk, this);
    while (serverContext != nullptr && !timedOut && pa().context_get_state(serverContext) != PA_CONTEXT_READY &&
           PA_CONTEXT_IS_GOOD(pa().context_get_state(serverContext))) {
        // The state callback and the timeout both end up waking us through the loop's signal.
        pa().threaded_mainloop_wait(mainloop);
    }
    api()->time_free(timeout);
    if (!ready()) {
        closeContext();
        return false;
    }
    return true;
}

void PulseConnection::close() {
    if (retryTimer != nullptr) {
        api()->time_free(retryTimer);
        retryTimer = nullptr;
    }
    closeContext();
}

// Without a loop there is nothing to guard.
void PulseConnection::lock() const {
    if (mainloop != nullptr) {
        pa().threaded_mainloop_lock(mainloop);
    }
}

void PulseConnection::unlock() const {
    if (mainloop != nullptr) {
        pa().threaded_mainloop_unlock(mainloop);
    }
}

pa_mainloop_api* PulseConnection::api() const {
    return pa().threaded_mainloop_get_api(mainloop);
}

bool PulseConnection::ready() const {
    return serverContext != nullptr && pa().context_get_state(serverContext) == PA_CONTEXT_READY;
}

void PulseConnection::openContext() {
    serverContext = pa().context_new(api(), "Zalvo");
    if (serverContext != nullptr) {
        pa().context_set_state_callback(serverContext, &PulseConnection::contextStateThunk, this);
        if (pa().context_connect(serverContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            return;
        }
        closeContext();
    }
    if (everConnected) {
        retrySoon();
    }
}

void PulseConnection::closeContext() {
    if (serverContext == nullptr) {
        return;
    }
    pa().context_set_state_callback(serverContext, nullptr, nullptr);
    if (PA_CONTEXT_IS_GOOD(pa().context_get_state(serverContext))) {
        pa().context_disconnect(serverContext);
    }
    pa().context_unref(serverContext);
    serverContext = nullptr;
}

void PulseConnection::onContextState() {
    const pa_context_state_t state = pa().context_get_state(serverContext);
    if (state == PA_CONTEXT_READY) {
        if (lost) {
            heldMessages.debug("The sound server answers again");
        }
        everConnected = true;
        lost = false;
        onReady();
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        if (everConnected && !lost) {
            heldMessages.warning("The sound server went away (" + lastError() + "): looking for it again");
        }
        lost = everConnected;
        onLost();
        closeContext();
        if (everConnected) {
            retrySoon();
        }
    }
    pa().threaded_mainloop_signal(mainloop, 0);
}

std::string PulseConnection::lastError() const {
    return serverContext != nullptr ? pa().strerror(pa().context_errno(serverContext)) : "no connection";
}

// Arms the loop's timers: not const, though the connection's own fields stay as they are.
// NOLINTNEXTLINE(readability-make-member-function-const)
void PulseConnection::schedule(pa_time_event*& timer, std::uint64_t usec, TimerCallback callback, void* data) {
    timeval when{};
    pa().gettimeofday(&when);
    pa().timeval_add(&when, usec);
    pa_mainloop_api* loopApi = api();
    if (timer != nullptr) {
        loopApi->time_restart(timer, &when);
    } else {
        timer = loopApi->time_new(loopApi, &when, callback, data);
    }
}

void PulseConnection::retrySoon() {
    schedule(retryTimer, retryUsec, &PulseConnection::retryThunk, this);
}

void PulseConnection::contextStateThunk(pa_context* /*context*/, void* self) {
    static_cast<PulseConnection*>(self)->onContextState();
}

void PulseConnection::retryThunk(pa_mainloop_api* api, pa_time_event* event, const timeval* /*time*/, void* self) {
    auto* connection = static_cast<PulseConnection*>(self);
    api->time_free(event);
    connection->retryTimer = nullptr;
    if (connection->ready()) {
        connection->onReady();
    } else {
        connection->closeContext();
        connection->openContext();
    }
}

void PulseConnection::timeoutThunk(pa_mainloop_api* /*api*/, pa_time_event* /*event*/, const timeval* /*time*/,
                                   void* self) {
    auto* connection = static_cast<PulseConnection*>(self);
    connection->timedOut = true;
    pa().threaded_mainloop_signal(connection->mainloop, 0);
}

} // namespace zalvo
