#include "overlay/layout.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace orbel {

bool overlayShown(const Out& out) {
    return out.stage > 0;
}

QString cardText(const Out& out, const QString& note) {
    if (out.stage < cardStage) return {};
    const QString reason = QString::fromStdString(out.reason);
    return note.isEmpty() || reason.isEmpty() ? reason : reason + QLatin1Char('\n') + note;
}

namespace {

// One line of the text broken at its spaces, by the fewest lines, then no lone words, then the
// most even lines with a preference for breaks after a full stop: a search over all break points,
// which a card's dozen words keep small.
QStringList wrapLine(const QString& line, const QFontMetrics& metrics, int width) {
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const auto n = words.size();
    if (n < 2) return {line};
    constexpr double lineCost = 1e12;
    constexpr double loneCost = 1e13; // a lone word costs more than one more line
    const double w = width;
    const double stopBonus = 0.25 * w * w;
    std::vector<double> best(static_cast<std::size_t>(n) + 1, 0);
    std::vector<qsizetype> next(static_cast<std::size_t>(n) + 1, n);
    for (qsizetype i = n - 1; i >= 0; --i) {
        best[static_cast<std::size_t>(i)] = std::numeric_limits<double>::infinity();
        for (qsizetype j = i + 1; j <= n; ++j) {
            const double used = metrics.horizontalAdvance(words.mid(i, j - i).join(QLatin1Char(' ')));
            if (used > w && j > i + 1) break;
            double cost = lineCost + (w - used) * (w - used) + best[static_cast<std::size_t>(j)];
            if (j == i + 1) cost += loneCost;
            if (j < n && words[j - 1].endsWith(QLatin1Char('.'))) cost -= stopBonus;
            if (cost < best[static_cast<std::size_t>(i)]) {
                best[static_cast<std::size_t>(i)] = cost;
                next[static_cast<std::size_t>(i)] = j;
            }
        }
    }
    QStringList out;
    for (qsizetype i = 0; i < n; i = next[static_cast<std::size_t>(i)])
        out << words.mid(i, next[static_cast<std::size_t>(i)] - i).join(QLatin1Char(' '));
    return out;
}

} // namespace

QString wrapCardText(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n')))
        lines << wrapLine(line, metrics, width);
    return lines.join(QLatin1Char('\n'));
}

QRect cardFrame(QSize screen) {
    const double w = screen.width();
    const double h = screen.height();
    constexpr int reasonHeight = 120;
    constexpr int noteHeight = 120;
    // Edges are rounded, not the width, so the card stays centred on odd widths.
    const int left = static_cast<int>(std::lround(0.2 * w));
    const int right = static_cast<int>(std::lround(0.8 * w));
    const int bottom = static_cast<int>(std::lround(h - 0.42 * h));
    return {left, bottom - reasonHeight, right - left, reasonHeight + noteHeight};
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
