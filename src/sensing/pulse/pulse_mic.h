#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>

namespace orbel {

// Whether the default source of the sound server (PulseAudio, or PipeWire's pulse server) is
// RUNNING. One context on libpulse's own thread follows the server through subscription
// events, so the tick only reads a flag. With no server, or while it restarts, the answer is
// "not in use", and the context reconnects with a growing delay until the server is back.
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

    // Whether the context is connected, subscribed and has had its first answer about the
    // default source; for tests and diagnostics.
    bool connected() const;

private:
    struct Impl;
    explicit PulseMic(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orbel
