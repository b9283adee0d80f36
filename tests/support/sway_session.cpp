#include "sway_session.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbel::test {
namespace {

namespace fs = std::filesystem;

constexpr double startSec = 30; // sway starts in about a second; this is for a loaded CI machine
constexpr const char* userName = "orbeltest";

std::optional<TestUser> lookUp(const char* name) {
    const passwd* pw = ::getpwnam(name);
    if (!pw) return std::nullopt;
    return TestUser{pw->pw_name, pw->pw_uid, pw->pw_gid};
}

// The focused node of sway's tree, depth first.
const nlohmann::json* focusedNode(const nlohmann::json& node) {
    if (node.value("focused", false)) return &node;
    for (const char* key : {"nodes", "floating_nodes"}) {
        if (!node.contains(key)) continue;
        for (const nlohmann::json& child : node[key]) {
            if (const nlohmann::json* f = focusedNode(child)) return f;
        }
    }
    return nullptr;
}

// The first node of sway's tree with this name, depth first.
const nlohmann::json* namedNode(const nlohmann::json& node, const std::string& name) {
    if (node.contains("name") && node["name"] == name) return &node;
    for (const char* key : {"nodes", "floating_nodes"}) {
        if (!node.contains(key)) continue;
        for (const nlohmann::json& child : node[key]) {
            if (const nlohmann::json* n = namedNode(child, name)) return n;
        }
    }
    return nullptr;
}

} // namespace

// Tests run side by side (ctest -j) may all find the user missing; useradd then fails for
// all but one, and every one of them finds the user afterwards.
std::optional<TestUser> testUser() {
    if (::geteuid() != 0) {
        const passwd* pw = ::getpwuid(::geteuid());
        if (!pw) return std::nullopt;
        return TestUser{pw->pw_name, pw->pw_uid, pw->pw_gid};
    }
    std::optional<TestUser> user = lookUp(userName);
    for (int attempt = 0; !user && attempt < 20; ++attempt) {
        run({"useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent", "--shell", "/usr/sbin/nologin",
             userName},
            {}, 30);
        user = lookUp(userName);
        if (!user) sleepSeconds(0.2);
    }
    return user;
}

SwaySession::SwaySession(const Options& opts) {
    if (!start(opts)) sway_.stop();
}

SwaySession::~SwaySession() {
    sway_.stop();
}

bool SwaySession::start(const Options& opts) {
    user_ = testUser();
    if (!user_) {
        error_ = "no unprivileged user to run sway as";
        return false;
    }
    // The user must reach the scratch directory and own the runtime directory.
    ::chmod(dir().c_str(), 0755);
    runtime_ = dir_.sub("run");
    home_ = dir_.sub("home");
    const std::string work = dir_.sub("work");
    for (const std::string& d : {runtime_, home_, work}) {
        if (::chown(d.c_str(), user_->uid, user_->gid) != 0) {
            error_ = "cannot hand " + d + " to " + user_->name;
            return false;
        }
    }
    // sway names the socket and XWayland's display itself; it tells them through a script it
    // runs once started, written whole before the file appears.
    const std::string ready = work + "/session";
    const std::string tell = dir() + "/tell.sh";
    std::ofstream(tell) << "#!/bin/sh\nprintf '%s %s\\n' \"$WAYLAND_DISPLAY\" \"$DISPLAY\" > " << ready << ".new && mv "
                        << ready << ".new " << ready << "\n";
    ::chmod(tell.c_str(), 0755);
    {
        std::ofstream cfg(dir() + "/config");
        cfg << "xwayland enable\n"
            << "output HEADLESS-1 resolution " << opts.width << "x" << opts.height << "\n"
            << "default_border none\n";
        for (const std::string& line : opts.config)
            cfg << line << "\n";
        cfg << "exec " << tell << "\n";
    }
    ::chmod((dir() + "/config").c_str(), 0644);
    // The helpers run as the test user, who may not reach the build tree (a checkout under
    // root's home): they run from copies in the scratch directory.
    window_ = userCopy(WL_WINDOW);
    click_ = userCopy(WL_CLICK);
    Child::Options o;
    o.argv = {"sway", "-c", dir() + "/config"};
    o.env = {{"XDG_RUNTIME_DIR", runtime_},
             {"HOME", home_},
             {"WLR_BACKENDS", "headless"},
             {"WLR_LIBINPUT_NO_DEVICES", "1"},
             {"WLR_RENDERER", "pixman"},
             {"WAYLAND_DISPLAY", ""},
             {"DISPLAY", ""},
             {"DBUS_SESSION_BUS_ADDRESS", ""}};
    sway_ = Child(o, {std::pair{user_->uid, user_->gid}, dir() + "/sway.log"});
    if (!waitUntil([&] { return fs::exists(ready) || !sway_.running(); }, startSec) || !fs::exists(ready)) {
        error_ = "sway did not start; see " + dir() + "/sway.log";
        return false;
    }
    std::ifstream(ready) >> wayland_ >> xDisplay_;
    if (wayland_.empty()) error_ = "sway did not say its socket";
    return ok();
}

EnvOverrides SwaySession::env() const {
    return {{"XDG_RUNTIME_DIR", runtime_},    {"WAYLAND_DISPLAY", wayland_},
            {"DISPLAY", xDisplay_},           {"HOME", home_},
            {"DBUS_SESSION_BUS_ADDRESS", ""}, {"PULSE_SERVER", ""},
            {"XDG_CURRENT_DESKTOP", "sway"},  {"QT_QPA_PLATFORM", ""}};
}

Child SwaySession::spawn(const std::vector<std::string>& argv, const EnvOverrides& extra) const {
    Child::Options o;
    o.argv = argv;
    o.env = env();
    o.env.insert(o.env.end(), extra.begin(), extra.end());
    return Child(o,
                 {std::pair{user_->uid, user_->gid}, dir() + "/" + fs::path(argv.at(0)).filename().string() + ".log"});
}

std::string SwaySession::userCopy(const std::string& program) const {
    const std::string copy = dir() + "/" + fs::path(program).filename().string();
    std::error_code ec;
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing, ec);
    ::chmod(copy.c_str(), 0755);
    return ec ? std::string() : copy;
}

bool SwaySession::giveToUser(const std::string& path) const {
    bool ok = ::chown(path.c_str(), user_->uid, user_->gid) == 0;
    if (fs::is_directory(path)) {
        for (const auto& entry : fs::recursive_directory_iterator(path))
            ok = ::chown(entry.path().c_str(), user_->uid, user_->gid) == 0 && ok;
    }
    return ok;
}

int SwaySession::runTool(const std::vector<std::string>& argv, std::string* out) const {
    Child::Options o;
    o.argv = argv;
    o.env = env();
    for (const auto& entry : fs::directory_iterator(runtime_)) {
        if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) o.env.emplace_back("SWAYSOCK", entry.path());
    }
    o.captureFd = 1;
    Child c(o, {std::pair{user_->uid, user_->gid}, dir() + "/tools.log"}); // stderr; stdout is captured
    std::string text;
    const double deadline = nowSeconds() + startSec;
    while (auto line = c.readLine(deadline - nowSeconds()))
        text += *line + "\n";
    if (out) *out = text;
    if (!waitUntil([&] { return !c.running(); }, deadline - nowSeconds())) return -1;
    return c.exitStatus();
}

bool SwaySession::command(const std::string& cmd) const {
    return runTool({"swaymsg", cmd}) == 0;
}

std::string SwaySession::focusedAppId() const {
    std::string out;
    if (runTool({"swaymsg", "-r", "-t", "get_tree"}, &out) != 0) return {};
    const nlohmann::json tree = nlohmann::json::parse(out, nullptr, false);
    const nlohmann::json* node = tree.is_discarded() ? nullptr : focusedNode(tree);
    if (!node || !node->contains("app_id") || !(*node)["app_id"].is_string()) return {};
    return (*node)["app_id"].get<std::string>();
}

std::optional<SwaySession::Box> SwaySession::windowBox(const std::string& title) const {
    std::string out;
    if (runTool({"swaymsg", "-r", "-t", "get_tree"}, &out) != 0) return std::nullopt;
    const nlohmann::json tree = nlohmann::json::parse(out, nullptr, false);
    const nlohmann::json* node = tree.is_discarded() ? nullptr : namedNode(tree, title);
    if (!node || !node->contains("rect")) return std::nullopt;
    const nlohmann::json& r = (*node)["rect"];
    return Box{r["x"].get<int>(), r["y"].get<int>(), r["width"].get<int>(), r["height"].get<int>()};
}

Child SwaySession::openWindow(const std::string& appId, unsigned rgb, bool inhibit) const {
    Child::Options o;
    o.argv = {window_, appId, std::to_string(rgb)};
    if (inhibit) o.argv.emplace_back("inhibit");
    o.env = env();
    Child w(o, {std::pair{user_->uid, user_->gid}, windowLog(appId)});
    if (!waitUntil([&] { return focusedAppId() == appId; }, startSec)) w.stop();
    return w;
}

int SwaySession::count(const std::string& appId, const std::string& word) const {
    std::ifstream log(windowLog(appId));
    int n = 0;
    for (std::string line; std::getline(log, line);)
        n += line == word ? 1 : 0;
    return n;
}

bool SwaySession::type(const std::string& text, bool settle) const {
    if (settle) return runTool({"wtype", "-s", "300", text}) == 0;
    return runTool({"wtype", text}) == 0;
}

bool SwaySession::click(int x, int y) const {
    std::string out;
    if (runTool({"swaymsg", "-r", "-t", "get_outputs"}, &out) != 0) return false;
    const nlohmann::json outputs = nlohmann::json::parse(out, nullptr, false);
    int width = 0;
    int height = 0;
    for (const nlohmann::json& o : outputs.is_array() ? outputs : nlohmann::json::array()) {
        width = std::max(width, o["rect"]["x"].get<int>() + o["rect"]["width"].get<int>());
        height = std::max(height, o["rect"]["y"].get<int>() + o["rect"]["height"].get<int>());
    }
    return runTool({click_, std::to_string(x), std::to_string(y), std::to_string(width), std::to_string(height)}) == 0;
}

bool SwaySession::addOutput(int width, int height) const {
    std::string out;
    if (runTool({"swaymsg", "-r", "-t", "get_outputs"}, &out) != 0) return false;
    const nlohmann::json before = nlohmann::json::parse(out, nullptr, false);
    const std::string name = "HEADLESS-" + std::to_string(before.is_array() ? before.size() + 1 : 2);
    return command("create_output") &&
           command("output " + name + " resolution " + std::to_string(width) + "x" + std::to_string(height));
}

bool SwaySession::screenshot(const std::string& path) const {
    // grim runs as the test user; it writes where that user may, and the file is moved after.
    const std::string tmp = dir() + "/work/shot.png";
    if (runTool({"grim", tmp}) != 0) return false;
    std::error_code ec;
    fs::rename(tmp, path, ec);
    return !ec;
}

} // namespace orbel::test
