#pragma once

#include "child_process.h"

#include <memory>
#include <string>
#include <vector>

namespace orbel::test {

// A private server that speaks the PulseAudio protocol, with a source "mic" (no sink's monitor)
// as its default source. The microphone tests run the same cases on each kind.
class PulseProtocolServer {
public:
    virtual ~PulseProtocolServer() = default;
    virtual const char* kind() const = 0;
    virtual bool ok() const = 0;
    virtual std::string server() const = 0;
    virtual EnvOverrides env() const = 0;
    virtual void stop() = 0;
    // Starts the stopped server again on the same socket, "mic" the default again.
    virtual bool start() = 0;
    // Adds a source of its own (a second microphone) under this name.
    virtual bool addSource(const std::string& name) const = 0;

    bool pactl(const std::vector<std::string>& args) const;
    // Whether the server lists exactly count recording streams, each linked to a source, and
    // corked of them corked. PipeWire lists a new stream before it is linked, and corked until
    // it runs.
    bool streamsSettled(std::size_t count, std::size_t corked) const;
    // parecord from a source ("" = the default) into /dev/null, until the Child is stopped.
    Child record(const std::string& source = {}) const;
    // The test's stream client in a mode ("record", "meter", "corked"), under an application
    // name; returned once the server holds its stream in that mode, or not started at all.
    Child client(const std::string& mode, const std::string& app, const std::string& source = {}) const;
};

// PulseAudio, as the other sensing tests run it.
std::unique_ptr<PulseProtocolServer> startPulseAudio();

// PipeWire with WirePlumber and its PulseAudio server, on a private session bus, in a private
// runtime directory and home.
std::unique_ptr<PulseProtocolServer> startPipeWire();

} // namespace orbel::test
