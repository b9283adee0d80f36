#pragma once

#include "sensing/sources.h"

#include <cstddef>
#include <memory>
#include <string>

namespace orbel {

// Whether an application records from a microphone, judged from the recording streams
// (source-outputs) of the sound server: PulseAudio, or PipeWire's PulseAudio server. A stream
// counts when it belongs to a client, is not corked, is not a level meter and does not record a
// sink's monitor, whichever source it records from. A source's own RUNNING state is no guide:
// level meters and echo-cancel or noise-suppression filters hold a microphone open all day.
//
// One context on libpulse's own thread follows the server through subscription events, so the
// tick only reads a cached answer. With no server, or while it restarts, the answer is "not in
// use", and the context reconnects with a growing delay until the server is back.
class PulseMic final : public MicSource {
public:
    struct Retry {
        double firstSec = 0.25;
        double maxSec = 4;
    };

    // server: a libpulse server string; empty = libpulse's usual lookup ($PULSE_SERVER, the
    // user's runtime directory). Never starts a server. Null only when libpulse cannot start
    // its thread.
    static std::unique_ptr<PulseMic> open(const std::string& server, Retry retry);
    static std::unique_ptr<PulseMic> open(const std::string& server) { return open(server, Retry{}); }
    ~PulseMic() override;

    bool inUse() override;
    // The application.name of the oldest counting stream when inUse() last answered yes (its
    // program name when it gives none); empty when it answered no.
    std::string recorder() override;

    // Whether the context is connected, subscribed and has had its first answer; for tests and
    // diagnostics.
    bool connected() const;
    // How many recording streams the latest answer was judged from, counted or not; for tests
    // and diagnostics.
    std::size_t streamsSeen() const;

private:
    struct Impl;
    explicit PulseMic(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
