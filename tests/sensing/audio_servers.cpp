#include "audio_servers.h"

#include "servers.h"

#include <cctype>
#include <filesystem>
#include <sstream>

namespace orbel::test {
namespace {

constexpr double startSec = 30; // PipeWire and WirePlumber take a few seconds on a loaded machine

class PulseAudioServer final : public PulseProtocolServer {
public:
    const char* kind() const override { return "pulseaudio"; }
    bool ok() const override { return pa_.ok(); }
    std::string server() const override { return pa_.server(); }
    EnvOverrides env() const override { return pa_.env(); }
    void stop() override { pa_.stop(); }
    bool start() override { return pa_.start(); }
    bool addSource(const std::string& name) const override {
        return pactl({"load-module", "module-null-source", "source_name=" + name});
    }

private:
    SoundServer pa_;
};

// Each program is a direct child of the test, so all of them die with it even when it is killed.
class PipeWireServer final : public PulseProtocolServer {
public:
    PipeWireServer() {
        bus_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, true});
        const auto address = bus_.readLine(startSec);
        busAddress_ = address ? *address : "";
        ok_ = !busAddress_.empty() && start();
    }
    const char* kind() const override { return "pipewire"; }
    bool ok() const override { return ok_; }
    std::string server() const override { return "unix:" + runtime_ + "/pulse/native"; }
    EnvOverrides env() const override {
        return {{"XDG_RUNTIME_DIR", runtime_},
                {"HOME", home_},
                {"PULSE_SERVER", server()},
                {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
                {"DISPLAY", ""},
                {"PIPEWIRE_REMOTE", ""}};
    }
    void stop() override {
        pulse_.stop();
        session_.stop();
        pipewire_.stop();
    }
    bool start() override;
    // A virtual source is how PipeWire's server makes a source that is no sink's monitor.
    bool addSource(const std::string& name) const override {
        return pactl({"load-module", "module-null-sink", "sink_name=" + name, "media.class=Audio/Source/Virtual"});
    }

private:
    bool defaultSourceIsMic() const {
        std::string out;
        return run({"pactl", "get-default-source"}, env(), startSec, &out) == 0 && out == "mic\n";
    }

    TempDir dir_;
    std::string runtime_ = dir_.sub("run");
    std::string home_ = dir_.sub("home");
    Child bus_;
    std::string busAddress_;
    Child pipewire_;
    Child session_;
    Child pulse_;
    bool ok_ = false;
};

// WirePlumber and the PulseAudio server need the PipeWire socket; the default source needs
// WirePlumber's metadata, so it is set until it holds.
bool PipeWireServer::start() {
    pipewire_ = Child({{"pipewire"}, env(), -1, true});
    if (!waitUntil([&] { return std::filesystem::exists(runtime_ + "/pipewire-0"); }, startSec)) return false;
    session_ = Child({{"wireplumber"}, env(), -1, true});
    pulse_ = Child({{"pipewire-pulse"}, env(), -1, true});
    if (!waitUntil([&] { return run({"pactl", "info"}, env(), 5) == 0; }, startSec)) return false;
    if (!addSource("mic")) return false;
    return waitUntil([&] { return pactl({"set-default-source", "mic"}) && defaultSourceIsMic(); }, startSec);
}

} // namespace

bool PulseProtocolServer::pactl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env(), startSec) == 0;
}

bool PulseProtocolServer::streamsSettled(std::size_t count, std::size_t corked) const {
    std::string out;
    if (run({"pactl", "list", "source-outputs"}, env(), startSec, &out) != 0) return false;
    std::size_t listed = 0;
    std::size_t linked = 0;
    std::size_t corkedNow = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto text = line.find_first_not_of(" \t");
        if (text == std::string::npos) continue;
        line.erase(0, text);
        listed += line.rfind("Source Output #", 0) == 0;
        linked += line.rfind("Source: ", 0) == 0 && std::isdigit(static_cast<unsigned char>(line[8])) &&
                  line != "Source: 4294967295";
        corkedNow += line == "Corked: yes";
    }
    return listed == count && linked == count && corkedNow == corked;
}

Child PulseProtocolServer::record(const std::string& source) const {
    std::vector<std::string> argv{"parecord"};
    if (!source.empty()) argv.push_back("--device=" + source);
    argv.emplace_back("/dev/null");
    return Child({argv, env(), -1, true});
}

Child PulseProtocolServer::client(const std::string& mode, const std::string& app, const std::string& source) const {
    std::vector<std::string> argv{PULSE_STREAM_CLIENT, mode, app};
    if (!source.empty()) argv.push_back(source);
    Child c({argv, env(), 1, false});
    const auto line = c.readLine(startSec);
    return line && *line == "ready" ? std::move(c) : Child();
}

std::unique_ptr<PulseProtocolServer> startPulseAudio() {
    return std::make_unique<PulseAudioServer>();
}

std::unique_ptr<PulseProtocolServer> startPipeWire() {
    return std::make_unique<PipeWireServer>();
}

} // namespace orbel::test
