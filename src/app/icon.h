#pragma once

#include "core/out.h"

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <cstdint>

namespace orbel {

// What the tray icon tells by itself of one tick: the minutes left of the block, a break that
// is due, a pause (manual or a call), or an override that runs.
struct TrayState {
    enum class Kind { counting, breakNow, paused, override };
    Kind kind = Kind::counting;
    std::int64_t minutes = 0;      // whole minutes left, while counting
    std::int64_t blockMinutes = 0; // whole minutes of the block, which the ring empties over

    bool operator==(const TrayState&) const = default;
};

// The state a tick result shows, by the title's rule: a pause first, then a break, then an
// override, else the minutes left. Only whole minutes count, so it changes once a minute at most
// while counting.
TrayState trayState(const Out& out);

// The icon's two inks. Light marks on a dark disc (a light disc with dark marks for a break):
// whatever the panel's colour, one of the two stands out from it, and the marks always read
// against the disc.
QColor trayLight();
QColor trayDark();

// The picture of a state at side x side pixels, premultiplied ARGB32: the ring-and-dot glyph as
// a badge. Counting: the minutes in place of the dot ("1h" to "9h" from 100 minutes), the ring
// lit for the part of the block left. Break: the glyph dark on a light disc. Paused: a full
// ring around two bars. Override: a broken ring around the dot.
QImage trayImage(const TrayState& state, int side);

// The same picture, drawn afresh at whatever size the tray asks for.
QIcon trayIcon(const TrayState& state);

// For hosts that recolour symbolic icons to their panel's text colour and show the title beside
// the icon: the glyph in the state's form, one colour, fills only, without the minutes. Its
// icon name ends in "-symbolic", as those hosts require.
QString traySymbolicName(TrayState::Kind kind);
QByteArray traySymbolicSvg(TrayState::Kind kind);

// Draws the plain ring-and-dot glyph centred in rect, in solid black whatever the painter held.
void drawOrbelGlyph(QPainter& painter, const QRectF& rect);

} // namespace orbel
