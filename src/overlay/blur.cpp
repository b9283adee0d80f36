#include "overlay/blur.h"

#include <algorithm>
#include <cmath>

namespace orbel {

int blurFactor(qreal devicePixelRatio) {
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    return std::max(2, static_cast<int>(std::lround(16 * dpr)));
}

namespace {

QImage shrunk(const QImage& image, int factor) {
    const QSize small(std::max(1, image.width() / factor), std::max(1, image.height() / factor));
    return image.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage grown(const QImage& small, const QImage& like) {
    QImage out = small.scaled(like.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.setDevicePixelRatio(like.devicePixelRatio());
    return out;
}

} // namespace

QImage blurred(const QImage& image, int factor) {
    if (image.isNull()) {
        return {};
    }
    return grown(shrunk(image, std::max(1, factor)), image);
}

bool isBlank(const QImage& image) {
    if (image.isNull()) {
        return true;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        const bool allBlack = std::all_of(line, line + rgb.width(), [](QRgb p) { return (p & 0xffffff) == 0; });
        if (!allBlack) {
            return false;
        }
    }
    return true;
}

QPixmap backdropFrom(const QPixmap& grab) {
    if (grab.isNull()) {
        return {};
    }
    const QImage image = grab.toImage();
    const QImage small = shrunk(image, blurFactor(grab.devicePixelRatio()));
    // Checking the shrunk copy costs a few thousand pixels instead of a screenful.
    if (isBlank(small)) {
        return {};
    }
    return QPixmap::fromImage(grown(small, image));
}

} // namespace orbel
