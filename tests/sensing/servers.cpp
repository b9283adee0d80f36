#include "servers.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <atomic>
#include <random>
#include <sstream>

namespace orbel::test {
namespace {

constexpr double startSec = 15; // servers start in well under a second; this is for a loaded CI machine

// xprop prints "not found." or "no such atom" while the window manager has not set it up.
bool hasWmCheck(const XServer& x) {
    std::string out;
    if (run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, x.env(), 5, &out) != 0) return false;
    return out.find("window id") != std::string::npos;
}

} // namespace

XServer::XServer(bool highNumber) {
    if (!highNumber) {
        start("");
        return;
    }
    std::mt19937 pick(std::random_device{}());
    for (int attempt = 0; attempt < 20 && !ok(); ++attempt) {
        start(":" + std::to_string(std::uniform_int_distribution<int>(400, 899)(pick)));
    }
}

bool XServer::start(const std::string& number) {
    std::vector<std::string> argv{"Xvfb"};
    if (!number.empty()) argv.push_back(number);
    for (const char* a : {"-displayfd", "3", "-screen", "0", "1440x900x24", "-nolisten", "tcp", "-noreset"}) {
        argv.emplace_back(a);
    }
    server_ = Child({argv, {}, 3, true});
    const auto line = server_.readLine(startSec);
    display_ = line && !line->empty() ? ":" + *line : "";
    return ok();
}

bool XServer::restart() {
    const std::string number = display_;
    server_.stop();
    display_.clear();
    return start(number);
}

WindowManager::WindowManager(const XServer& x) {
    EnvOverrides env = x.env();
    wm_ = Child({{"openbox", "--sm-disable"}, env, -1, true});
    ok_ = waitUntil([&] { return hasWmCheck(x); }, startSec);
}

XClient::XClient(const XServer& x, const std::string& instance, const std::string& cls, bool activate) {
    term_ = Child({{"xterm", "-name", instance, "-class", cls, "-e", "sleep", "600"}, x.env(), -1, true});
    waitUntil(
        [&] {
            std::string out;
            if (run({"xdotool", "search", "--onlyvisible", "--classname", "^" + instance + "$"}, x.env(), 5, &out) !=
                0) {
                return false;
            }
            window_ = out.substr(0, out.find('\n'));
            return !window_.empty();
        },
        startSec);
    if (activate && !this->activate(x)) window_.clear();
}

bool XClient::activate(const XServer& x) const {
    return !window_.empty() && xdotool(x, {"windowactivate", "--sync", window_});
}

bool xdotool(const XServer& x, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, x.env(), startSec) == 0;
}

SoundServer::SoundServer() {
    ok_ = start();
}

EnvOverrides SoundServer::env() const {
    return {{"XDG_RUNTIME_DIR", runtime_},
            {"HOME", home_},
            {"PULSE_SERVER", server()},
            {"DISPLAY", ""},
            {"DBUS_SESSION_BUS_ADDRESS", ""}};
}

bool SoundServer::start() {
    daemon_ = Child({{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                      "--load=module-native-protocol-unix", "--load=module-null-source source_name=mic",
                      "--load=module-suspend-on-idle"},
                     env(),
                     -1,
                     true});
    if (!waitUntil([&] { return run({"pactl", "info"}, env(), 5) == 0; }, startSec)) return false;
    return pactl({"set-default-source", "mic"});
}

bool SoundServer::pactl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env(), startSec) == 0;
}

std::string SoundServer::sourceState(const std::string& name) const {
    std::string out;
    if (run({"pactl", "list", "short", "sources"}, env(), startSec, &out) != 0) return {};
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        // index, name, driver, sample format, state; tab-separated
        std::vector<std::string> fields;
        std::istringstream cols(line);
        for (std::string f; std::getline(cols, f, '\t');)
            fields.push_back(f);
        if (fields.size() >= 5 && fields[1] == name) return fields[4];
    }
    return {};
}

Child SoundServer::record(const std::string& source) const {
    std::vector<std::string> argv{"parecord"};
    if (!source.empty()) argv.push_back("--device=" + source);
    argv.emplace_back("/dev/null");
    return Child({argv, env(), -1, true});
}

FakeMutterBus::FakeMutterBus(const std::string& mode) {
    daemon_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, true});
    const auto bus = daemon_.readLine(startSec);
    if (!bus || bus->empty()) return;
    fake_ = Child({{FAKE_MUTTER_IDLE, mode}, {{"DBUS_SESSION_BUS_ADDRESS", *bus}}, 1, true});
    // The fake prints the address once its names are on the bus.
    const auto ready = fake_.readLine(startSec);
    if (ready && *ready == *bus) address_ = *bus;
}

bool FakeMutterBus::control(const char* method, const std::vector<std::string>& args) const {
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("orbel-test-control-%1").arg(serial++);
    bool ok = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), name);
        QDBusMessage msg = QDBusMessage::createMethodCall("org.orbel.FakeIdleMonitor", "/Control",
                                                          "org.orbel.FakeIdleMonitor", method);
        for (const std::string& a : args)
            msg << QString::fromStdString(a);
        ok = bus.call(msg, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    }
    QDBusConnection::disconnectFromBus(name);
    return ok;
}

bool FakeMutterBus::setIdleMs(unsigned long long ms) const {
    return control("SetIdletime", {std::to_string(ms)});
}

bool FakeMutterBus::setHanging(bool hang) const {
    return control("SetHanging", {hang ? "1" : "0"});
}

FakeCompositor::FakeCompositor(const std::string& mode) {
    Child::Options opts{{FAKE_IDLE_COMPOSITOR, mode}, {{"XDG_RUNTIME_DIR", runtime_}}, 1, false, true};
    comp_ = Child(opts);
    const auto line = comp_.readLine(startSec);
    if (line && line->rfind("ready ", 0) == 0) name_ = line->substr(6);
}

std::optional<unsigned> FakeCompositor::nextNotification(double timeoutSec) {
    const double deadline = nowSeconds() + timeoutSec;
    while (notes_.empty()) {
        const auto line = comp_.readLine(deadline - nowSeconds());
        if (!line) return std::nullopt;
        if (line->rfind("notification ", 0) == 0) notes_.push_back(static_cast<unsigned>(std::stoul(line->substr(13))));
    }
    const unsigned t = notes_.front();
    notes_.erase(notes_.begin());
    return t;
}

bool FakeCompositor::send(const std::string& event) {
    if (!comp_.writeLine(event)) return false;
    while (const auto line = comp_.readLine(startSec)) {
        if (*line == "ok") return true;
        if (line->rfind("notification ", 0) == 0) notes_.push_back(static_cast<unsigned>(std::stoul(line->substr(13))));
    }
    return false;
}

} // namespace orbel::test
