#include "app/icon.h"

#include "core/whole_number.h"

#include <QIconEngine>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace orbel {

TrayState trayState(const Out& out) {
    if (out.paused) return {TrayState::Kind::paused, 0, 0};
    if (out.stage > 0) return {TrayState::Kind::breakNow, 0, 0};
    if (out.granted) return {TrayState::Kind::override, 0, 0};
    return {TrayState::Kind::counting, wholeNumber(out.minsLeft), wholeNumber(out.workMin)};
}

QColor trayLight() {
    return {0xff, 0xff, 0xff};
}

QColor trayDark() {
    return {0x1a, 0x1a, 0x1a};
}

void drawOrbelGlyph(QPainter& painter, const QRectF& rect) {
    const double s = std::min(rect.width(), rect.height());
    const QPointF c = rect.center();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    // Ring: a circle of diameter 0.72 s stroked with a 0.1 s line.
    painter.setPen(QPen(Qt::black, 0.1 * s));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(c, 0.36 * s, 0.36 * s);

    // Dot: a filled disc of diameter 0.2 s.
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(c, 0.1 * s, 0.1 * s);
    painter.restore();
}

namespace {

// The ring's radii in pixels. It lies just inside the disc's edge, leaving a thin dark rim that
// sets a light ring off a light panel; below 20 pixels it moves out to the edge and thins, so
// that the minutes get the room to be read.
struct Radii {
    double outer = 0;
    double inner = 0;
};

Radii radii(int side) {
    if (side < 20) return {side / 2.0, side / 2.0 - 1.25};
    return {0.45 * side, 0.35 * side};
}

constexpr double dotRadius = 0.13;
// The emptied part of the ring: dim beside the lit part, yet 4.9:1 against a black panel, so the
// ring's outline never breaks there.
constexpr QColor track{0x7a, 0x7a, 0x7a};

QPainterPath ring(QPointF c, double outer, double inner, double startDeg, double spanDeg) {
    QPainterPath p;
    const QRectF o(c.x() - outer, c.y() - outer, 2 * outer, 2 * outer);
    const QRectF i(c.x() - inner, c.y() - inner, 2 * inner, 2 * inner);
    if (spanDeg >= 360) {
        p.addEllipse(o);
        p.addEllipse(i);
        return p; // odd-even fill: the band between the two circles
    }
    p.arcMoveTo(o, startDeg);
    p.arcTo(o, startDeg, -spanDeg);
    p.arcTo(i, startDeg - spanDeg, spanDeg);
    p.closeSubpath();
    return p;
}

// Digits and the hour mark as strokes on a two-column, three-row grid, seven-segment style:
// square ends read crisply at 16 pixels.
using Stroke = std::vector<QPoint>;
const std::vector<Stroke>& strokesOf(char ch) {
    static const std::array<std::vector<Stroke>, 11> table{{
        {{{0, 0}, {1, 0}, {1, 2}, {0, 2}, {0, 0}}},                   // 0
        {{{1, 0}, {1, 2}}},                                           // 1
        {{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 2}, {1, 2}}},           // 2
        {{{0, 0}, {1, 0}, {1, 2}, {0, 2}}, {{0, 1}, {1, 1}}},         // 3
        {{{0, 0}, {0, 1}, {1, 1}}, {{1, 0}, {1, 2}}},                 // 4
        {{{1, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 2}, {0, 2}}},           // 5
        {{{1, 0}, {0, 0}, {0, 2}, {1, 2}, {1, 1}, {0, 1}}},           // 6
        {{{0, 0}, {1, 0}, {1, 2}}},                                   // 7
        {{{0, 0}, {1, 0}, {1, 2}, {0, 2}, {0, 0}}, {{0, 1}, {1, 1}}}, // 8
        {{{1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 2}, {0, 2}}},           // 9
        {{{0, 0}, {0, 2}}, {{0, 1}, {1, 1}, {1, 2}}},                 // h
    }};
    return table[ch == 'h' ? 10 : static_cast<std::size_t>(ch - '0')];
}

std::string minutesText(std::int64_t minutes) {
    if (minutes < 0) return "0";
    if (minutes < 100) return std::to_string(minutes);
    if (minutes < 600) return std::to_string(minutes / 60) + "h";
    return {}; // a block of ten hours or more: the ring alone
}

// The widest pixel-aligned digits whose box stays clear of the ring: a stroke of whole pixels,
// counters of whole pixels, and the box's corners half a pixel inside the ring.
struct DigitBox {
    int stroke = 1;
    int width = 3;
    int height = 5;
};

DigitBox digitBox(int side, std::size_t glyphs) {
    const int stroke = std::max(1, side / 16);
    const double room = radii(side).inner - 0.5 - 0.5 * stroke;
    DigitBox best{stroke, 2 * stroke + 1, 3 * stroke + 2};
    for (int counter = 1; counter <= side; ++counter) {
        const DigitBox b{stroke, 2 * stroke + counter, 3 * stroke + 2 * counter};
        const double w = static_cast<double>(glyphs) * b.width + static_cast<double>(glyphs - 1) * stroke;
        if (std::hypot(w / 2, b.height / 2.0) > room) break;
        best = b;
    }
    return best;
}

void drawMinutes(QPainter& p, int side, const std::string& text) {
    // One digit is drawn as large as two, so the size does not jump at 9 minutes.
    const DigitBox b = digitBox(side, std::max<std::size_t>(text.size(), 2));
    const int total = static_cast<int>(text.size()) * (b.width + b.stroke) - b.stroke;
    int left = (side - total) / 2;
    const int top = (side - b.height) / 2;
    QPen pen(trayLight(), b.stroke, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double half = b.stroke / 2.0;
    const double dx = b.width - b.stroke;
    const double dy = (b.height - b.stroke) / 2.0;
    for (const char ch : text) {
        for (const Stroke& s : strokesOf(ch)) {
            QPolygonF line;
            for (const QPoint g : s)
                line << QPointF(left + half + g.x() * dx, top + half + g.y() * dy);
            p.drawPolyline(line);
        }
        left += b.width + b.stroke;
    }
}

void drawPauseBars(QPainter& p, int side) {
    const int bar = std::max(1, static_cast<int>(std::lround(0.11 * side)));
    const int height = static_cast<int>(std::lround(0.36 * side));
    const int gap = std::max(1, static_cast<int>(std::lround(0.09 * side)));
    const int left = (side - 2 * bar - gap) / 2;
    const int top = (side - height) / 2;
    p.fillRect(left, top, bar, height, trayLight());
    p.fillRect(left + bar + gap, top, bar, height, trayLight());
}

// The ring broken into eight dashes: the count goes on, the blur is held off.
QPainterPath dashedRing(QPointF c, double outer, double inner) {
    QPainterPath p;
    for (int i = 0; i < 8; ++i)
        p.addPath(ring(c, outer, inner, 90 - 7.5 - 45.0 * i, 30));
    return p;
}

void paintState(QPainter& p, const TrayState& state, int side) {
    const QPointF c(side / 2.0, side / 2.0);
    const double s = side;
    const auto [outer, inner] = radii(side);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const bool inverted = state.kind == TrayState::Kind::breakNow;
    p.setBrush(inverted ? trayLight() : trayDark());
    p.drawEllipse(c, s / 2, s / 2);
    const QColor mark = inverted ? trayDark() : trayLight();

    switch (state.kind) {
    case TrayState::Kind::counting: {
        const double block = static_cast<double>(std::max<std::int64_t>(state.blockMinutes, 1));
        const double left = std::clamp(static_cast<double>(state.minutes) / block, 0.0, 1.0);
        p.fillPath(ring(c, outer, inner, 0, 360), track);
        if (left > 0) p.fillPath(ring(c, outer, inner, 90, 360 * left), mark);
        const std::string text = minutesText(state.minutes);
        if (text.empty()) {
            p.setBrush(mark);
            p.drawEllipse(c, dotRadius * s, dotRadius * s);
        } else {
            drawMinutes(p, side, text);
        }
        break;
    }
    case TrayState::Kind::paused:
        p.fillPath(ring(c, outer, inner, 0, 360), mark);
        drawPauseBars(p, side);
        break;
    case TrayState::Kind::breakNow:
        p.fillPath(ring(c, outer, inner, 0, 360), mark);
        p.setBrush(mark);
        p.drawEllipse(c, dotRadius * s, dotRadius * s);
        break;
    case TrayState::Kind::override:
        p.fillPath(ring(c, outer, inner, 0, 360), track);
        p.fillPath(dashedRing(c, outer, inner), mark);
        p.setBrush(mark);
        p.drawEllipse(c, dotRadius * s, dotRadius * s);
        break;
    }
}

// Draws the state's picture afresh at whatever size the tray asks for, so it stays sharp at
// every panel height and screen scale.
class StateEngine final : public QIconEngine {
public:
    explicit StateEngine(TrayState state) : state_(state) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State st) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, st));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        const int side = std::min(size.width(), size.height());
        if (side > 0) {
            QPainter p(&pm);
            p.drawImage((size.width() - side) / 2, (size.height() - side) / 2, trayImage(state_, side));
        }
        return pm;
    }

    // On a scaled screen the tray asks for logical size times scale; draw at device pixels.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State st, qreal scale) override {
        QPixmap pm = pixmap((QSizeF(size) * scale).toSize(), mode, st);
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new StateEngine(state_); }
    QString key() const override { return QStringLiteral("orbel-tray-state"); }

private:
    TrayState state_;
};

} // namespace

QImage trayImage(const TrayState& state, int side) {
    QImage img(std::max(side, 1), std::max(side, 1), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    paintState(p, state, img.width());
    return img;
}

QIcon trayIcon(const TrayState& state) {
    return QIcon(new StateEngine(state));
}

QString traySymbolicName(TrayState::Kind kind) {
    static const std::array<const char*, 4> names{"counting", "break", "paused", "override"};
    return QStringLiteral("orbel-lite-%1-symbolic").arg(QLatin1String(names[static_cast<std::size_t>(kind)]));
}

namespace {

// The symbolic glyph on a 100-unit square: the installed icon's ring (radius 31 to 41) and dot
// (radius 10), in the state's form. One path, filled odd-even.
QPainterPath symbolicShape(TrayState::Kind kind) {
    const QPointF c(50, 50);
    QPainterPath p;
    switch (kind) {
    case TrayState::Kind::counting:
        p = ring(c, 41, 31, 0, 360);
        p.addEllipse(c, 10, 10);
        break;
    case TrayState::Kind::breakNow: // the glyph cut out of a disc
        for (const double r : {48, 41, 31, 10})
            p.addEllipse(c, r, r);
        break;
    case TrayState::Kind::paused:
        p = ring(c, 41, 31, 0, 360);
        p.addRect(36, 33, 10, 34);
        p.addRect(54, 33, 10, 34);
        break;
    case TrayState::Kind::override:
        p = dashedRing(c, 41, 31);
        p.addEllipse(c, 10, 10);
        break;
    }
    return p;
}

QByteArray pathData(const QPainterPath& path) {
    QByteArray d;
    const auto num = [](double v) { return QByteArray::number(v, 'f', 2); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += "M" + num(e.x) + " " + num(e.y);
            break;
        case QPainterPath::LineToElement:
            d += "L" + num(e.x) + " " + num(e.y);
            break;
        case QPainterPath::CurveToElement:
            d += "C" + num(e.x) + " " + num(e.y);
            break;
        case QPainterPath::CurveToDataElement:
            d += " " + num(e.x) + " " + num(e.y);
            break;
        }
    }
    return d;
}

} // namespace

QByteArray traySymbolicSvg(TrayState::Kind kind) {
    // Fills only: hosts recolour symbolic icons by filling every shape with their text colour.
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" viewBox=\"0 0 100 100\">"
           "<path fill=\"#bebebe\" fill-rule=\"evenodd\" d=\"" +
           pathData(symbolicShape(kind)) + "\"/></svg>\n";
}

} // namespace orbel
