#pragma once

#include <QImage>
#include <QPixmap>

namespace orbel {

// How far a screen copy is blurred: one sample per 16 logical pixels, so text of any usual
// size is unreadable while large shapes and colours still show through.
int blurFactor(qreal devicePixelRatio);

// A blurred copy of image at the same size: scaled down by factor with area averaging, then
// back up with bilinear filtering, which Qt does in a few milliseconds for a whole screen.
QImage blurred(const QImage& image, int factor);

// Blurs a small picture in place with five passes of a [1 2 1] kernel across and down (close
// to a Gaussian of 1.6 pixels), edges repeated: scaled up eight times, no line of text stays
// readable and no trace of the eight-pixel grid shows.
void soften(QImage& image);

// True for a null image or one whose pixels are all black. A screen grab comes back like this
// where the server cannot read other clients' windows (XWayland, for one).
bool isBlank(const QImage& image);

// The backdrop an overlay window paints from a grab of its screen: the blurred grab with the
// grab's device pixel ratio, or a null pixmap when the grab is blank or failed.
QPixmap backdropFrom(const QPixmap& grab);

} // namespace orbel
