#include "pulse_mic.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <pulse/pulseaudio.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orbel {
namespace {

// One recording stream, as much of it as the answer needs.
struct Stream {
    std::uint32_t index = PA_INVALID_INDEX;
    std::uint32_t source = PA_INVALID_INDEX;
    bool recording = false; // a client's, not corked, not a level meter
    std::string app;
};

bool isTrue(const char* value) {
    return value && (std::strcmp(value, "true") == 0 || std::strcmp(value, "1") == 0);
}

// Volume controls and panel applets draw their level meters from peak-detect streams.
// PulseAudio shows one by its "peaks" resampler; PipeWire's server tags it stream.monitor.
bool isLevelMeter(const pa_source_output_info& info) {
    return isTrue(pa_proplist_gets(info.proplist, "stream.monitor")) ||
           (info.resample_method && std::strcmp(info.resample_method, "peaks") == 0);
}

// Filter chains (echo-cancel, noise suppression) hold the microphone through a stream no client
// owns; the application behind such a filter records from the filter's own source instead.
Stream streamOf(const pa_source_output_info& info) {
    Stream s;
    s.index = info.index;
    s.source = info.source;
    s.recording = info.client != PA_INVALID_INDEX && info.corked == 0 && !isLevelMeter(info);
    for (const char* key : {PA_PROP_APPLICATION_NAME, PA_PROP_APPLICATION_PROCESS_BINARY}) {
        const char* value = pa_proplist_gets(info.proplist, key);
        if (value && *value) {
            s.app = value;
            break;
        }
    }
    return s;
}

} // namespace

// Everything below except open(), the public readers and the destructor runs on libpulse's
// mainloop thread, with the mainloop lock held.
struct PulseMic::Impl {
    std::string server;
    Retry retry;
    double delaySec = 0;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* ctx = nullptr;
    pa_time_event* retryEvent = nullptr;

    // One refresh lists the sources (to know the sinks' monitors) and then the recording
    // streams; events that come in meanwhile ask for one more refresh after it.
    bool refreshing = false;
    bool again = false;
    int listsPending = 0;
    bool listFailed = false;
    std::unordered_set<std::uint32_t> monitors;
    std::vector<Stream> streams;
    // When each stream was first seen, so the named recorder stays the oldest one.
    std::unordered_map<std::uint32_t, std::uint64_t> firstSeen;
    std::uint64_t nextSerial = 0;

    // The answer, written here and read by the tick.
    mutable std::mutex answerLock;
    bool answerInUse = false;
    std::string answerRecorder;
    std::size_t answerStreams = 0;
    std::atomic<bool> ready{false};
    // The tick's own copy of the recorder behind its last inUse(); read by recorder().
    std::string tickRecorder;

    pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop); }

    void connect();
    void dropContext();
    void scheduleRetry();
    void onState();
    void onEvent(pa_subscription_event_type_t type, std::uint32_t index);
    void refresh();
    void listDone(int eol);
    void judge();
    void publish(bool inUse, std::string recorder, std::size_t count);
    void shutDown();

    static void stateCb(pa_context*, void* self) { static_cast<Impl*>(self)->onState(); }
    static void subscribeCb(pa_context*, pa_subscription_event_type_t type, std::uint32_t index, void* self) {
        static_cast<Impl*>(self)->onEvent(type, index);
    }
    static void sourceCb(pa_context*, const pa_source_info* info, int eol, void* self);
    static void outputCb(pa_context*, const pa_source_output_info* info, int eol, void* self);
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

// The server is gone: nothing it said still holds, and a new server starts its indexes afresh.
void PulseMic::Impl::scheduleRetry() {
    publish(false, {}, 0);
    ready = false;
    refreshing = false;
    again = false;
    firstSeen.clear();
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
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT);
        if (pa_operation* op = pa_context_subscribe(ctx, mask, nullptr, nullptr)) pa_operation_unref(op);
        refresh();
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

// Any change of a recording stream (new, gone, corked, moved, renamed) can change the answer;
// of the sources only their coming and going can, since a source never turns into a monitor.
// Listing again is simpler than patching the last lists, and rare enough to be cheap.
void PulseMic::Impl::onEvent(pa_subscription_event_type_t type, std::uint32_t index) {
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && kind == PA_SUBSCRIPTION_EVENT_CHANGE) return;
    // PipeWire reuses indexes: a new stream under an old index is a new stream.
    if (facility == PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT && kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        firstSeen.erase(index);
    }
    refresh();
}

void PulseMic::Impl::refresh() {
    if (refreshing) {
        again = true;
        return;
    }
    monitors.clear();
    streams.clear();
    pa_operation* sources = pa_context_get_source_info_list(ctx, &Impl::sourceCb, this);
    pa_operation* outputs = pa_context_get_source_output_info_list(ctx, &Impl::outputCb, this);
    // Both fail only together, when the context is going down; its state callback follows.
    refreshing = sources && outputs;
    listsPending = 2;
    listFailed = false;
    again = false;
    if (sources) pa_operation_unref(sources);
    if (outputs) pa_operation_unref(outputs);
}

void PulseMic::Impl::sourceCb(pa_context*, const pa_source_info* info, int eol, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (eol != 0) {
        impl->listDone(eol);
    } else if (info && info->monitor_of_sink != PA_INVALID_INDEX) {
        impl->monitors.insert(info->index);
    }
}

void PulseMic::Impl::outputCb(pa_context*, const pa_source_output_info* info, int eol, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (eol != 0) {
        impl->listDone(eol);
    } else if (info) {
        impl->streams.push_back(streamOf(*info));
    }
}

// A failed list leaves the streams unknown, which reads as "not in use" until the next event.
void PulseMic::Impl::listDone(int eol) {
    listFailed = listFailed || eol < 0;
    if (--listsPending > 0) return;
    if (listFailed) streams.clear();
    judge();
    refreshing = false;
    if (again) refresh();
}

void PulseMic::Impl::judge() {
    std::unordered_map<std::uint32_t, std::uint64_t> seen;
    const Stream* oldest = nullptr;
    std::uint64_t oldestSerial = 0;
    for (const Stream& s : streams) {
        const auto known = firstSeen.find(s.index);
        const std::uint64_t serial = known != firstSeen.end() ? known->second : nextSerial++;
        seen.emplace(s.index, serial);
        if (!s.recording || monitors.contains(s.source)) continue;
        if (!oldest || serial < oldestSerial) {
            oldest = &s;
            oldestSerial = serial;
        }
    }
    firstSeen = std::move(seen);
    publish(oldest != nullptr, oldest ? oldest->app : std::string(), streams.size());
    ready = true;
}

void PulseMic::Impl::publish(bool inUse, std::string recorder, std::size_t count) {
    const std::lock_guard<std::mutex> hold(answerLock);
    answerInUse = inUse;
    answerRecorder = std::move(recorder);
    answerStreams = count;
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

// The answer and its recorder are taken together, so recorder() names the stream that made
// this very answer yes even when the next refresh lands in between.
bool PulseMic::inUse() {
    const std::lock_guard<std::mutex> hold(impl_->answerLock);
    impl_->tickRecorder = impl_->answerInUse ? impl_->answerRecorder : std::string();
    return impl_->answerInUse;
}

std::string PulseMic::recorder() {
    return impl_->tickRecorder;
}

bool PulseMic::connected() const {
    return impl_->ready.load(std::memory_order_relaxed);
}

std::size_t PulseMic::streamsSeen() const {
    const std::lock_guard<std::mutex> hold(impl_->answerLock);
    return impl_->answerStreams;
}

} // namespace orbel
