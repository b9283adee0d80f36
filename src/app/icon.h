#pragma once

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QRectF>

namespace orbel {

// The tray icon: a ring with a dot, drawn on demand at any size, one colour, marked as a mask.
QIcon orbelTemplateIcon();

// The one colour the tray icon is drawn in.
QColor trayInk();

// Draws the glyph centred in rect with the painter's current settings replaced by solid black.
void drawOrbelGlyph(QPainter& painter, const QRectF& rect);

} // namespace orbel
