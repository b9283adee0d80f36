#include "overlay/layout.h"

#include <algorithm>
#include <cmath>

namespace orbel {

bool overlayShown(const Out& out) {
    return out.stage > 0;
}

QString cardText(const Out& out) {
    return out.stage >= cardStage ? QString::fromStdString(out.reason) : QString();
}

QRect cardFrame(QSize screen) {
    const double w = screen.width();
    const double h = screen.height();
    constexpr int cardHeight = 120;
    // Edges are rounded, not the width, so the card stays centred on odd widths.
    const int left = static_cast<int>(std::lround(0.2 * w));
    const int right = static_cast<int>(std::lround(0.8 * w));
    const int bottom = static_cast<int>(std::lround(h - 0.42 * h));
    return {left, bottom - cardHeight, right - left, cardHeight};
}

double scrimAlpha(double blur, double tint, bool fadesWindow) {
    // White darkened by this share is grey 102: 5:1 against the white text even where the text
    // itself is faded by the blur a little: a margin over 4.5:1 for antialiased edges too.
    constexpr double darkening = 0.6;
    if (!(blur > 0) || !(tint < 1)) {
        return 0; // nothing of the card shows, or the tint alone is black
    }
    // The view draws the tint at its opacity times the view's fade, the scrim over it, and the
    // window may be faded as a whole: black of the two adds up to 1 - (1 - tint)(1 - scrim).
    const double fade = fadesWindow ? 1.0 : blur;
    const double window = fadesWindow ? blur : 1.0;
    const double inside = darkening / window;
    if (inside >= 1) {
        return 1;
    }
    return std::clamp(1 - (1 - inside) / (1 - std::max(tint, 0.0) * fade), 0.0, 1.0);
}

int bandWidth(QSize screen, double level) {
    const int shorter = std::max(0, std::min(screen.width(), screen.height()));
    const double lvl = std::isnan(level) ? 0.0 : std::clamp(level, 0.0, 5.0);
    const auto wanted = static_cast<int>(std::lround(shorter * 0.04 * lvl));
    return std::min(std::max(8, wanted), shorter / 2);
}

QRegion solidRegion(QSize screen, double level, std::int64_t stage) {
    const QRect whole(QPoint(0, 0), screen);
    if (stage >= cardStage) {
        return {whole};
    }
    const int band = bandWidth(screen, level);
    return QRegion(whole).subtracted(QRegion(whole.adjusted(band, band, -band, -band)));
}

} // namespace orbel
