#include "pulse_mic.h"

#include <algorithm>
#include <atomic>
#include <pulse/pulseaudio.h>

namespace orbel {

// Everything below except open(), inUse(), connected() and the destructor runs on libpulse's
// mainloop thread, with the mainloop lock held.
struct PulseMic::Impl {
    std::string server;
    Retry retry;
    double delaySec = 0;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* ctx = nullptr;
    pa_time_event* retryEvent = nullptr;
    std::atomic<bool> running{false};
    std::atomic<bool> ready{false};

    pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop); }

    void connect();
    void dropContext();
    void scheduleRetry();
    void onState();
    void queryDefaultSource();
    void shutDown();

    static void stateCb(pa_context*, void* self) { static_cast<Impl*>(self)->onState(); }
    static void subscribeCb(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self) {
        // A change of any source or of the server (which carries the default source's name)
        // can change the answer; asking again is cheaper than telling the events apart.
        static_cast<Impl*>(self)->queryDefaultSource();
    }
    static void sourceCb(pa_context*, const pa_source_info* info, int eol, void* self);
    static void retryCb(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);
};

void PulseMic::Impl::connect() {
    ctx = pa_context_new(api(), "Orbel Lite");
    if (!ctx) {
        scheduleRetry();
        return;
    }
    pa_context_set_state_callback(ctx, &Impl::stateCb, this);
    pa_context_set_subscribe_callback(ctx, &Impl::subscribeCb, this);
    // No autospawn: reading the microphone must never start a sound server.
    if (pa_context_connect(ctx, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        scheduleRetry();
    }
}

void PulseMic::Impl::dropContext() {
    if (!ctx) return;
    pa_context_set_state_callback(ctx, nullptr, nullptr);
    pa_context_set_subscribe_callback(ctx, nullptr, nullptr);
    pa_context_disconnect(ctx);
    pa_context_unref(ctx);
    ctx = nullptr;
}

void PulseMic::Impl::scheduleRetry() {
    running = false;
    ready = false;
    delaySec = delaySec == 0 ? retry.firstSec : std::min(delaySec * 2, retry.maxSec);
    timeval when{};
    pa_gettimeofday(&when);
    pa_timeval_add(&when, static_cast<pa_usec_t>(delaySec * PA_USEC_PER_SEC));
    if (retryEvent) {
        api()->time_restart(retryEvent, &when);
    } else {
        retryEvent = api()->time_new(api(), &when, &Impl::retryCb, this);
    }
}

void PulseMic::Impl::retryCb(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    // The failed context is released here rather than inside its own state callback.
    auto* impl = static_cast<Impl*>(self);
    impl->dropContext();
    impl->connect();
}

void PulseMic::Impl::onState() {
    switch (pa_context_get_state(ctx)) {
    case PA_CONTEXT_READY: {
        delaySec = 0;
        const auto mask =
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
        if (pa_operation* op = pa_context_subscribe(ctx, mask, nullptr, nullptr)) pa_operation_unref(op);
        queryDefaultSource();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        scheduleRetry();
        break;
    default:
        break;
    }
}

void PulseMic::Impl::queryDefaultSource() {
    // Replies come back in request order, so the last one to arrive is the latest state.
    pa_operation* op = pa_context_get_source_info_by_name(ctx, "@DEFAULT_SOURCE@", &Impl::sourceCb, this);
    if (op) pa_operation_unref(op);
}

void PulseMic::Impl::sourceCb(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (eol < 0) {
        impl->running = false; // no default source at all
    } else if (info) {
        impl->running = info->state == PA_SOURCE_RUNNING;
    } else {
        return;
    }
    impl->ready = true;
}

void PulseMic::Impl::shutDown() {
    if (!loop) return;
    pa_threaded_mainloop_lock(loop);
    if (retryEvent) api()->time_free(retryEvent);
    retryEvent = nullptr;
    dropContext();
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
    loop = nullptr;
}

PulseMic::PulseMic(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PulseMic::~PulseMic() {
    impl_->shutDown();
}

std::unique_ptr<PulseMic> PulseMic::open(const std::string& server, Retry retry) {
    auto impl = std::make_unique<Impl>();
    impl->server = server;
    impl->retry = retry;
    impl->loop = pa_threaded_mainloop_new();
    if (!impl->loop) return nullptr;
    if (pa_threaded_mainloop_start(impl->loop) < 0) {
        pa_threaded_mainloop_free(impl->loop);
        return nullptr;
    }
    pa_threaded_mainloop_lock(impl->loop);
    impl->connect();
    pa_threaded_mainloop_unlock(impl->loop);
    return std::unique_ptr<PulseMic>(new PulseMic(std::move(impl)));
}

bool PulseMic::inUse() {
    return impl_->running.load(std::memory_order_relaxed);
}

bool PulseMic::connected() const {
    return impl_->ready.load(std::memory_order_relaxed);
}

} // namespace orbel
