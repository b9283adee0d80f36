// One record stream opened the way a kind of application opens it, for the microphone tests.
// Prints "ready" once the server has the stream in the asked state, then keeps it until killed.
//
//   pulse_stream_client MODE APP_NAME [SOURCE]
//     record  an ordinary recording
//     meter   a level meter as volume controls open one: peak detection at 25 Hz, one float a
//             fragment, not movable, under a volume control's application id
//     corked  a recording that is connected and then paused with a cork
//
// The server comes from $PULSE_SERVER; SOURCE defaults to the default source.
#include <cstdio>
#include <cstring>
#include <pulse/pulseaudio.h>
#include <string>

namespace {

struct Client {
    std::string mode;
    std::string app;
    const char* source = nullptr;
    pa_mainloop_api* api = nullptr;
    pa_stream* stream = nullptr;
};

void say(const char* line) {
    std::puts(line);
    std::fflush(stdout);
}

void fail(Client& c, const char* what) {
    std::fprintf(stderr, "pulse_stream_client: %s\n", what);
    c.api->quit(c.api, 1);
}

void readCb(pa_stream* s, std::size_t, void*) {
    const void* data = nullptr;
    std::size_t len = 0;
    while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &len) == 0 && len > 0) {
        pa_stream_drop(s);
    }
}

void corkedCb(pa_stream*, int success, void* self) {
    if (success) {
        say("ready");
    } else {
        fail(*static_cast<Client*>(self), "cork refused");
    }
}

void streamStateCb(pa_stream* s, void* self) {
    auto& c = *static_cast<Client*>(self);
    const pa_stream_state_t st = pa_stream_get_state(s);
    if (st == PA_STREAM_FAILED || st == PA_STREAM_TERMINATED) fail(c, "stream ended");
    if (st != PA_STREAM_READY) return;
    if (c.mode == "corked") {
        if (pa_operation* op = pa_stream_cork(s, 1, &corkedCb, &c)) pa_operation_unref(op);
    } else {
        say("ready");
    }
}

void openStream(pa_context* ctx, Client& c) {
    const bool meter = c.mode == "meter";
    const pa_sample_spec meterSpec{PA_SAMPLE_FLOAT32NE, 25, 1};
    const pa_sample_spec plainSpec{PA_SAMPLE_S16LE, 44100, 2};
    c.stream = pa_stream_new(ctx, meter ? "Peak detect" : "recording", meter ? &meterSpec : &plainSpec, nullptr);
    if (!c.stream) return fail(c, "no stream");
    pa_stream_set_state_callback(c.stream, &streamStateCb, &c);
    pa_stream_set_read_callback(c.stream, &readCb, &c);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = meter ? sizeof(float) : static_cast<std::uint32_t>(-1);
    const auto flags =
        meter ? static_cast<pa_stream_flags_t>(PA_STREAM_DONT_MOVE | PA_STREAM_PEAK_DETECT | PA_STREAM_ADJUST_LATENCY)
              : PA_STREAM_NOFLAGS;
    if (pa_stream_connect_record(c.stream, c.source, &attr, flags) < 0) fail(c, "connect_record failed");
}

void contextStateCb(pa_context* ctx, void* self) {
    auto& c = *static_cast<Client*>(self);
    switch (pa_context_get_state(ctx)) {
    case PA_CONTEXT_READY:
        openStream(ctx, c);
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        fail(c, "no server");
        break;
    default:
        break;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: pulse_stream_client record|meter|corked APP_NAME [SOURCE]\n", stderr);
        return 2;
    }
    Client c{argv[1], argv[2], argc > 3 ? argv[3] : nullptr};
    pa_mainloop* loop = pa_mainloop_new();
    c.api = pa_mainloop_get_api(loop);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, c.app.c_str());
    if (c.mode == "meter") pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.PulseAudio.pavucontrol");
    pa_context* ctx = pa_context_new_with_proplist(c.api, nullptr, props);
    pa_proplist_free(props);
    pa_context_set_state_callback(ctx, &contextStateCb, &c);
    int result = 1;
    if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) pa_mainloop_run(loop, &result);
    if (c.stream) pa_stream_unref(c.stream);
    pa_context_unref(ctx);
    pa_mainloop_free(loop);
    return result;
}
