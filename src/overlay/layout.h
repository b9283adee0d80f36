#pragma once

#include "core/out.h"

#include <QFontMetrics>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>
#include <cstdint>

namespace orbel {

// From this stage on the card shows the break text and the screen is fully covered.
inline constexpr std::int64_t cardStage = 3;

// Whether a tick result puts the overlay on screen. A stage below 0 never comes from the
// engine; it is treated like 0 rather than as a break.
bool overlayShown(const Out& out);

// The text the card shows for a tick result: from stage 3 on the reason, and below it the
// lines of note when there are any; else nothing.
QString cardText(const Out& out, const QString& note = {});

// The card's text broken into lines no wider than width, each line of the text on its own:
// as few lines as will do, as even as they can be, preferring breaks after a full stop, and
// never a word alone on a line where its neighbour could join it. A word wider than width
// keeps a line of its own.
QString wrapCardText(const QString& text, const QFontMetrics& metrics, int width);

// The card label's frame in window coordinates (origin top left): the middle 60 % of the
// width; its first 120 pixels end 42 % of the height above the bottom, and it reaches another
// 120 pixels below that for the lines under the reason.
QRect cardFrame(QSize screen);

// The opacity of the extra black drawn over the tint behind the card's text, so that the white
// text keeps at least 4.5:1 contrast even over a white screen. blur and tint are the blur
// view's and the tint's opacities; fadesWindow says the blur fades the whole window rather
// than the view's content. 0 where the tint alone darkens enough.
double scrimAlpha(double blur, double tint, bool fadesWindow);

// Width of the blurred frame along the screen's edges that stands in for the translucent
// overlay below stage 3 when no compositor can blend windows: 4 % of the shorter side per
// level, at least 8 pixels, at most half the shorter side.
int bandWidth(QSize screen, double level);

// The part of a window drawn opaquely without a compositor: a frame of bandWidth() along the
// edges below stage 3, so the middle of the screen stays live and readable; the whole window
// from stage 3 on, when the card is up and the blur is full.
QRegion solidRegion(QSize screen, double level, std::int64_t stage);

} // namespace orbel
