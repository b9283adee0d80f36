#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QString>
#include <span>

class QWidget;

namespace orbel {

// What one overlay window shows at a tick, as far as its picture depends on it: two pictures
// with the same key look the same, so the second need not be drawn.
struct PictureKey {
    QSize size;
    int scale = 1;
    double blur = -1;
    double tint = -1;
    QString card;
    bool copyShown = false;
    bool blurBehind = false; // the compositor blurs behind the surface
    QRegion holes;

    bool operator==(const PictureKey&) const = default;
};

// The window among windows that draws the output at rect (layout coordinates): the one built
// for the screen now at that place, else the one built over that place. Null when none fits,
// as for a moment after an output came, before the screens were counted again.
QWidget* windowFor(std::span<QWidget* const> windows, QRect rect);

// Where an output at rect (layout coordinates) must stay uncovered, in the output's own
// coordinates: the agent's own windows (kept, their frames in layout coordinates) cut to it.
QRegion holesFor(QRect rect, std::span<const QRect> kept);

// The key of what window shows now on an output of this size and scale, with these holes.
PictureKey keyOf(const QWidget& window, QSize size, int scale, const QRegion& holes);

// Paints window's view tree (the window is never shown itself) into image, which covers the
// output, at the window's opacity (where the compositor blurs, the blur's strength fades the
// whole window), and leaves the holes fully transparent. image is premultiplied ARGB; its
// device pixel ratio is the output's scale.
void paintPicture(QWidget& window, QImage& image, const QRegion& holes);

} // namespace orbel
