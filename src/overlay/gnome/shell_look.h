#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

namespace orbel {

// What the overlay shows at one tick, as our GNOME Shell extension draws it: the opacities in
// the 256 steps an actor has, and the card's text.
struct ShellLook {
    int blur = 0;
    int tint = 0;
    int scrim = 0;
    QString card;

    bool operator==(const ShellLook&) const = default;
};

// Opacities from 0 to 1 (anything else clamped) in the actor's steps.
ShellLook shellLook(double blur, double tint, double scrim, const QString& card);

// What to send the extension so that it shows wanted: every value when it shows nothing of
// ours (sent is empty), else only those that changed; an empty map means nothing to send.
QVariantMap lookChanges(const std::optional<ShellLook>& sent, const ShellLook& wanted);

} // namespace orbel
