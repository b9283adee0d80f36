#include "overlay/gnome/shell_look.h"

#include <algorithm>
#include <cmath>

namespace orbel {
namespace {

constexpr int steps = 255;

int step(double opacity) {
    const double clamped = std::isnan(opacity) ? 0.0 : std::clamp(opacity, 0.0, 1.0);
    return static_cast<int>(std::lround(clamped * steps));
}

} // namespace

ShellLook shellLook(double blur, double tint, double scrim, const QString& card) {
    return {step(blur), step(tint), step(scrim), card};
}

QVariantMap lookChanges(const std::optional<ShellLook>& sent, const ShellLook& wanted) {
    QVariantMap changes;
    const auto opacity = [&](const char* key, int ShellLook::*field) {
        if (!sent || (*sent).*field != wanted.*field) changes.insert(QLatin1String(key), static_cast<double>(wanted.*field) / steps);
    };
    opacity("blur", &ShellLook::blur);
    opacity("tint", &ShellLook::tint);
    opacity("scrim", &ShellLook::scrim);
    if (!sent || sent->card != wanted.card) changes.insert(QStringLiteral("card"), wanted.card);
    return changes;
}

} // namespace orbel
