#include "gnome_shell_session.h"

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace orbel::test {
namespace {

namespace fs = std::filesystem;

constexpr double startSec = 60; // the shell starts in about two seconds; this is for a loaded CI machine
constexpr const char* unsafeUuid = "orbel-test-unsafe@orbellite.org";
constexpr const char* shellService = "org.gnome.Shell";

// The test-only extension: Eval and the screenshot interface refuse to work until the shell is
// in unsafe mode, and GNOME 43 has no switch for it.
void writeUnsafeExtension(const fs::path& extensions) {
    const fs::path dir = extensions / unsafeUuid;
    fs::create_directories(dir);
    std::ofstream(dir / "metadata.json") << R"({"uuid": ")" << unsafeUuid
                                         << R"(", "name": "Unsafe mode for tests", "description": "Lets tests look inside.",)"
                                         << R"( "shell-version": ["43"]})";
    std::ofstream(dir / "extension.js")
        << "function init() {\n"
           "    return {enable() { global.context.unsafe_mode = true; }, disable() {}};\n"
           "}\n";
}

// The JSON text of an Eval answer as gdbus prints it: (true, 'TEXT') with TEXT in GVariant's
// quoting, which takes double quotes when the text holds a single quote and no double quote.
std::optional<std::string> evalAnswer(const std::string& printed) {
    const std::string ok = "(true, ";
    if (printed.rfind(ok, 0) != 0 || printed.size() <= ok.size()) return std::nullopt;
    const char quote = printed[ok.size()];
    std::string text;
    for (std::size_t i = ok.size() + 1; i < printed.size(); ++i) {
        const char c = printed[i];
        if (c == quote) return text;
        if (c == '\\' && i + 1 < printed.size()) {
            const char e = printed[++i];
            text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else {
            text += c;
        }
    }
    return std::nullopt;
}

} // namespace

GnomeShellSession::GnomeShellSession(const std::vector<std::string>& extensions) {
    if (!start(extensions)) {
        shell_.stop();
        sessionBus_.stop();
        systemBus_.stop();
    }
}

GnomeShellSession::~GnomeShellSession() {
    shell_.stop();
    sessionBus_.stop();
    systemBus_.stop();
}

bool GnomeShellSession::start(const std::vector<std::string>& extensions) {
    const fs::path installed = fs::path(home_) / ".local/share/gnome-shell/extensions";
    fs::create_directories(installed);
    writeUnsafeExtension(installed);
    std::string enabled = std::string("'") + unsafeUuid + "'";
    for (const std::string& e : extensions) {
        const std::string uuid = fs::path(e).filename().string();
        fs::create_directory_symlink(e, installed / uuid);
        enabled += ", '" + uuid + "'";
    }
    const fs::path keyfile = fs::path(home_) / ".config/glib-2.0/settings/keyfile";
    fs::create_directories(keyfile.parent_path());
    std::ofstream(keyfile) << "[org/gnome/shell]\nenabled-extensions=[" << enabled
                           << "]\ndisable-extension-version-validation=true\n";

    systemBus_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, 1, true});
    sessionBus_ = Child({{"dbus-daemon", "--session", "--nofork", "--print-address=1"}, env(), 1, true});
    const auto system = systemBus_.readLine(startSec);
    const auto session = sessionBus_.readLine(startSec);
    if (!system || system->empty() || !session || session->empty()) {
        error_ = "no bus";
        return false;
    }
    bus_ = *session;

    Child::Options o;
    o.argv = {"gnome-shell", "--headless", "--wayland", "--virtual-monitor", "1280x800",
              "--wayland-display=gnome-test"};
    o.env = env();
    o.env.emplace_back("DBUS_SYSTEM_BUS_ADDRESS", *system);
    o.env.emplace_back("WAYLAND_DISPLAY", "");
    o.env.emplace_back("DISPLAY", "");
    shell_ = Child(o, {std::nullopt, log()});
    const std::regex display("Using public X11 display (:[0-9]+)");
    const bool up = waitUntil(
        [&] {
            std::ifstream in(log());
            std::stringstream text;
            text << in.rdbuf();
            const std::string all = text.str();
            std::smatch m;
            if (std::regex_search(all, m, display)) xDisplay_ = m[1];
            return all.find("GNOME Shell started") != std::string::npos || !shell_.running();
        },
        startSec);
    if (!up || !shell_.running()) {
        error_ = "gnome-shell did not start; see " + log();
        return false;
    }
    // It starts in the overview; the test's own extension may come a moment after the start.
    const bool ready = waitUntil(
        [&] { return evalNumber("Main.overview.hide(); Main.messageTray.bannerBlocked = true; 1").has_value(); },
        startSec);
    if (!ready) error_ = "the shell does not answer Eval; see " + log();
    return ok();
}

EnvOverrides GnomeShellSession::env() const {
    std::string xauthority;
    for (const auto& entry : fs::directory_iterator(runtime_)) {
        if (entry.path().filename().string().rfind(".mutter-Xwaylandauth", 0) == 0) xauthority = entry.path();
    }
    return {{"XDG_RUNTIME_DIR", runtime_},
            {"HOME", home_},
            {"XDG_CONFIG_HOME", home_ + "/.config"},
            {"XDG_DATA_HOME", home_ + "/.local/share"},
            {"GSETTINGS_BACKEND", "keyfile"},
            {"DBUS_SESSION_BUS_ADDRESS", bus_},
            {"WAYLAND_DISPLAY", "gnome-test"},
            {"DISPLAY", xDisplay_},
            {"XAUTHORITY", xauthority},
            {"XDG_CURRENT_DESKTOP", "GNOME"},
            {"XDG_SESSION_TYPE", "wayland"},
            {"QT_QPA_PLATFORM", ""}};
}

std::optional<std::string> GnomeShellSession::eval(const std::string& js) const {
    std::string out;
    if (run({"gdbus", "call", "--session", "-d", shellService, "-o", "/org/gnome/Shell", "-m", "org.gnome.Shell.Eval",
             js},
            env(), 20, &out) != 0)
        return std::nullopt;
    return evalAnswer(out);
}

std::optional<double> GnomeShellSession::evalNumber(const std::string& js) const {
    const auto answer = eval(js);
    if (!answer) return std::nullopt;
    if (*answer == "true") return 1;
    if (*answer == "false") return 0;
    try {
        std::size_t used = 0;
        const double value = std::stod(*answer, &used);
        return used == answer->size() ? std::optional(value) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool GnomeShellSession::screenshot(const std::string& path) const {
    fs::remove(path);
    return run({"gdbus", "call", "--session", "-d", "org.gnome.Shell.Screenshot", "-o", "/org/gnome/Shell/Screenshot",
                "-m", "org.gnome.Shell.Screenshot.Screenshot", "false", "false", path},
               env(), 20) == 0 &&
           fs::exists(path);
}

bool GnomeShellSession::pointer(int x, int y, bool click) const {
    std::ostringstream js;
    js << "const {Clutter, GLib} = imports.gi;"
          "if (!global.orbelTestPointer) global.orbelTestPointer = Clutter.get_default_backend().get_default_seat()"
          "    .create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);"
          "const p = global.orbelTestPointer; const t = GLib.get_monotonic_time();"
          "p.notify_absolute_motion(t, "
       << x << ", " << y << ");";
    if (click) {
        js << "p.notify_button(t + 1000, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);"
              "p.notify_button(t + 2000, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED);";
    }
    js << "1";
    return evalNumber(js.str()) == 1;
}

Child GnomeShellSession::openWindow(const std::string& appId, unsigned rgb) const {
    Child::Options o;
    o.argv = {WL_WINDOW, appId, std::to_string(rgb)};
    o.env = env();
    Child w(o, {std::nullopt, windowLog(appId)});
    const std::string focused = "global.display.focus_window?.get_wm_class() === '" + appId + "'";
    if (!waitUntil([&] { return evalNumber(focused) == 1; }, startSec)) w.stop();
    return w;
}

int GnomeShellSession::count(const std::string& appId, const std::string& word) const {
    std::ifstream log(windowLog(appId));
    int n = 0;
    for (std::string line; std::getline(log, line);)
        n += line == word ? 1 : 0;
    return n;
}

} // namespace orbel::test
