#include "gnome_shell/shell_protocol.h"

#include "gnome_shell/shell_names.h"

#include <optional>

namespace orbel {
namespace {

// Only the type the interface declares counts: a number sent as text or as a signed value is
// not a revision this agent can trust.
std::optional<unsigned> revision(const QVariantMap& properties, const QString& key) {
    const auto it = properties.find(key);
    if (it == properties.end() || it->metaType() != QMetaType::fromType<uint>()) return std::nullopt;
    return it->toUInt();
}

} // namespace

ShellFit judgeShell(const QVariantMap& properties) {
    const auto version = revision(properties, QStringLiteral("Version"));
    const auto compatible = revision(properties, QStringLiteral("Compatible"));
    if (!version || !compatible || *compatible > *version) return ShellFit::Unreadable;
    if (*version < shellRevision) return ShellFit::TooOld;
    if (*compatible > shellRevision) return ShellFit::TooNew;
    return ShellFit::Usable;
}

std::string shellAdvice(ShellFit fit) {
    const std::string enable = std::string("gnome-extensions enable ") + shellUuid;
    switch (fit) {
    case ShellFit::Usable:
        return {};
    case ShellFit::Missing:
        return "Orbel Lite's GNOME Shell extension is not enabled: turn it on with `" + enable +
               "` or in the Extensions application (log out and back in first if Orbel Lite was just installed).";
    case ShellFit::TooOld:
        return "GNOME Shell still runs an older Orbel Lite extension: log out and back in to load the installed one.";
    case ShellFit::TooNew:
        return "GNOME Shell runs a newer Orbel Lite extension than this agent understands: update Orbel Lite.";
    case ShellFit::Unreadable:
        break;
    }
    return "Orbel Lite's GNOME Shell extension does not answer as expected: reinstall Orbel Lite, then log out and "
           "back in.";
}

} // namespace orbel
