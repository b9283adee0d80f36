#include "app/autostart.h"

#include "app/app_id.h"
#include "app/autostart_entry.h"
#include "storage/locations.h"
#include "storage/posix_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace orbel {
namespace {

namespace fs = std::filesystem;

// The keys of an entry's [Desktop Entry] group, values as written.
struct Entry {
    bool desktopEntry = false;
    std::map<std::string, std::string> keys;

    std::string get(const std::string& key) const {
        const auto it = keys.find(key);
        return it == keys.end() ? std::string() : it->second;
    }
};

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

Entry parseEntry(const std::string& text) {
    Entry e;
    bool inGroup = false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == "[Desktop Entry]";
            e.desktopEntry = e.desktopEntry || inGroup;
            continue;
        }
        const auto eq = line.find('=');
        if (inGroup && eq != std::string::npos) e.keys.emplace(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return e;
}

// Desktops read "1" and "0" as booleans too.
bool isTrue(const std::string& v) {
    return v == "true" || v == "1";
}
bool isFalse(const std::string& v) {
    return v == "false" || v == "0";
}

// Hidden=true deletes the entry; GNOME's start-up settings switch it off with their own key.
bool enabled(const Entry& e) {
    return !isTrue(e.get("Hidden")) && !isFalse(e.get("X-GNOME-Autostart-enabled"));
}

// Ours: a desktop entry that runs orbel-lite, wherever it lives. Desktops' own start-up settings
// copy our entry and edit it, and those copies stay ours. One without Exec could be anyone's.
bool ours(const Entry& e) {
    if (!e.desktopEntry) return false;
    const auto exec = e.keys.find("Exec");
    return exec != e.keys.end() && fs::path(desktopExecProgram(exec->second)).filename() == "orbel-lite";
}

enum class Found { missing, read, failed };

struct FileText {
    Found found = Found::missing;
    std::string text;
    std::string error;
};

// An entry is a few hundred bytes; anything larger, or anything but a regular file (a FIFO would
// hang the read), is no entry of ours and is not read.
constexpr std::size_t maxEntryBytes = std::size_t{64} * 1024;

FileText readFile(const fs::path& path) {
    FileText f;
    int error = 0;
    std::optional<std::string> text = readBounded(path, maxEntryBytes, &error);
    if (text) {
        f.found = Found::read;
        f.text = std::move(*text);
    } else if (error == ENOENT) {
        f.found = Found::missing;
    } else {
        f.found = Found::failed;
        f.error = error == EFBIG    ? "larger than an autostart entry can be"
                  : error == EINVAL ? "not a regular file"
                                    : std::strerror(error);
    }
    return f;
}

AutostartReport failed(std::string text) {
    return {false, false, "orbel-lite: " + std::move(text)};
}

AutostartReport report(bool on, const std::string& why) {
    return {true, on, std::string(on ? "autostart: on (" : "autostart: off (") + why + ")"};
}

// The first system-wide entry that exists, as the desktop will pick it.
std::optional<std::pair<fs::path, FileText>> systemEntry(const AutostartPlaces& places) {
    for (const auto& path : places.systemEntries) {
        FileText f = readFile(path);
        if (f.found != Found::missing) return std::make_pair(path, std::move(f));
    }
    return std::nullopt;
}

// Replaces path in one step, so an interrupted write never leaves half an entry, and a symbolic
// link in its place is replaced rather than written through.
std::string writeAtomically(const fs::path& path, const std::string& text) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) return "cannot create " + path.parent_path().string() + ": " + ec.message();
    std::string tmp = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return "cannot write " + path.string() + ": " + std::strerror(errno);
    bool ok = fchmod(fd, 0644) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && fsync(fd) == 0;
    const int err = errno;
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return {};
    const std::string why = std::strerror(ok ? errno : err);
    unlink(tmp.c_str());
    return "cannot write " + path.string() + ": " + why;
}

bool hasControlCharacter(const std::string& s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    }
    return false;
}

// The string escape of desktop entry values; only a backslash can occur in a path that passed
// hasControlCharacter.
std::string escapeString(const std::string& s) {
    std::string out;
    for (const char c : s)
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

void replaceAll(std::string& s, std::string_view what, const std::string& with) {
    for (auto at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size()))
        s.replace(at, what.size(), with);
}

std::string entryText(const fs::path& exe, bool hidden) {
    std::string text = autostartEntryTemplate;
    replaceAll(text, "{exec}", desktopExecValue(exe.string()));
    replaceAll(text, "{tryexec}", escapeString(exe.string()));
    if (!text.empty() && text.back() != '\n') text += '\n';
    return hidden ? text + "Hidden=true\n" : text;
}

// The entry's text with the keys of its [Desktop Entry] group given new values, every other line
// as it was; a key the group lacks is added at the group's end.
std::string withKeys(const std::string& text, std::map<std::string, std::string> keys) {
    std::string out;
    bool inGroup = false;
    const auto addMissing = [&] {
        for (const auto& [key, value] : keys)
            out.append(key).append("=").append(value).append("\n");
        keys.clear();
    };
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::string bare = trim(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
        if (!bare.empty() && bare[0] == '[') {
            if (inGroup) addMissing();
            inGroup = bare == "[Desktop Entry]";
        } else if (const auto eq = bare.find('='); inGroup && eq != std::string::npos && bare[0] != '#') {
            if (const auto it = keys.find(trim(bare.substr(0, eq))); it != keys.end()) {
                line = it->first + "=" + it->second + (line.back() == '\r' ? "\r" : "");
                keys.erase(it);
            }
        }
        out += line + "\n";
    }
    if (inGroup) addMissing();
    return out;
}

std::string writeEntry(const AutostartPlaces& places, bool hidden) {
    const std::string exe = places.exe.string();
    if (!places.exe.is_absolute() || hasControlCharacter(exe)) {
        return "cannot write an autostart entry that starts \"" + exe +
               "\": not an absolute path without control characters";
    }
    return writeAtomically(places.userEntry, entryText(places.exe, hidden));
}

} // namespace

AutostartPlaces autostartPlaces(const fs::path& exe) {
    AutostartPlaces places;
    const std::string name = std::string(appId) + ".desktop";
    places.userEntry = configHome() / "autostart" / name;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::istringstream in(dirs != nullptr && dirs[0] != '\0' ? dirs : "/etc/xdg");
    for (std::string dir; std::getline(in, dir, ':');) {
        // The XDG base directory rules ignore relative entries.
        if (!dir.empty() && dir[0] == '/') places.systemEntries.push_back(fs::path(dir) / "autostart" / name);
    }
    places.exe = exe;
    return places;
}

AutostartReport autostartState(const AutostartPlaces& places) {
    const std::string user = places.userEntry.string();
    const FileText f = readFile(places.userEntry);
    if (f.found == Found::failed) return failed("cannot read " + user + ": " + f.error);
    if (f.found == Found::read) {
        const Entry e = parseEntry(f.text);
        if (!ours(e)) {
            return failed(user + " is not an Orbel Lite autostart entry, yet it takes the place of ours at login; " +
                          "move it away and try again");
        }
        return enabled(e) ? report(true, user) : report(false, user + " turns it off");
    }
    const auto sys = systemEntry(places);
    if (!sys) return report(false, "no autostart entry; \"orbel-lite --autostart on\" adds one");
    const std::string path = sys->first.string();
    if (sys->second.found == Found::failed) return failed("cannot read " + path + ": " + sys->second.error);
    return enabled(parseEntry(sys->second.text)) ? report(true, path) : report(false, path + " is turned off");
}

AutostartReport setAutostart(const AutostartPlaces& places, bool on) {
    AutostartReport before = autostartState(places);
    if (!before.ok || before.on == on) return before;
    std::string error;
    const FileText user = readFile(places.userEntry);
    const auto sys = systemEntry(places);
    const bool systemOn = sys && sys->second.found == Found::read && enabled(parseEntry(sys->second.text));
    if (on && systemOn && user.found == Found::read && user.text == entryText(places.exe, true)) {
        // Exactly the entry "off" wrote to hide the system-wide one, untouched since: it goes, so
        // that the installed entry (and what later versions change in it) starts the agent again.
        if (::unlink(places.userEntry.c_str()) != 0 && errno != ENOENT) {
            return failed("cannot remove " + places.userEntry.string() + ": " + std::strerror(errno));
        }
    } else if (user.found == Found::read) {
        // The user's own copy of our entry (their Exec arguments, a start-up delay) keeps all
        // but the switches: Hidden, and GNOME's own where it turned the entry off.
        std::map<std::string, std::string> keys{{"Hidden", on ? "false" : "true"}};
        if (on && isFalse(parseEntry(user.text).get("X-GNOME-Autostart-enabled"))) {
            keys["X-GNOME-Autostart-enabled"] = "true";
        }
        error = writeAtomically(places.userEntry, withKeys(user.text, keys));
    } else {
        // Off hides an enabled system-wide entry; on writes an entry where none would start us.
        error = writeEntry(places, !on);
    }
    if (!error.empty()) return failed(error);
    AutostartReport after = autostartState(places);
    if (after.ok && after.on != on) return failed("the change did not take: " + after.text);
    return after;
}

std::string desktopExecValue(const std::string& program) {
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = program.find_first_of(reserved) != std::string::npos;
    std::string arg = quote ? "\"" : "";
    for (const char c : program) {
        if (c == '%') arg += '%'; // a literal percent sign is doubled, never a field code
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
    }
    if (quote) arg += '"';
    return escapeString(arg);
}

std::string desktopExecProgram(const std::string& exec) {
    std::string s;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c != '\\' || i + 1 == exec.size()) {
            s += c;
            continue;
        }
        const char n = exec[++i];
        s += n == 's' ? ' ' : n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n;
    }
    std::string program;
    std::size_t i = s.find_first_not_of(" \t");
    const bool quoted = i != std::string::npos && s[i] == '"';
    for (i += quoted ? 1 : 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted ? c == '"' : (c == ' ' || c == '\t')) break;
        if ((quoted && c == '\\') || (c == '%' && i + 1 < s.size() && s[i + 1] == '%')) ++i;
        if (i < s.size()) program += s[i];
    }
    return program;
}

int runAutostartSwitch(int argc, char** argv) {
    int at = 0;
    while (at < argc && std::strcmp(argv[at], "--autostart") != 0)
        ++at;
    const char* value = at + 1 < argc ? argv[at + 1] : nullptr;
    if (value != nullptr && std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0) {
        std::fprintf(stderr, "orbel-lite: --autostart takes \"on\" or \"off\", not \"%s\"\n", value);
        return 2;
    }
#ifdef __APPLE__
    std::fputs("orbel-lite: --autostart manages XDG autostart entries; on macOS use Login Items\n", stderr);
    return 1;
#endif
    // Entries we write start this very executable, wherever it was started from.
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec && argc > 0) exe = fs::absolute(argv[0], ec);
    const AutostartPlaces places = autostartPlaces(exe);
    const AutostartReport r =
        value == nullptr ? autostartState(places) : setAutostart(places, std::strcmp(value, "on") == 0);
    std::fprintf(r.ok ? stdout : stderr, "%s\n", r.text.c_str());
    return r.ok ? 0 : 1;
}

} // namespace orbel
