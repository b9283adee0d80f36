#include "overlay/blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

namespace {

// (a + 2b + c) / 4 for each of the four 8-bit channels at once: two channels at a time in the
// lanes of 0x00ff00ff, where the sums (at most 1020) cannot spill into the next lane.
inline QRgb smooth3(QRgb a, QRgb b, QRgb c) {
    constexpr std::uint32_t lanes = 0x00ff00ff;
    const std::uint32_t low = (a & lanes) + 2 * (b & lanes) + (c & lanes) + 0x00020002;
    const std::uint32_t high = ((a >> 8) & lanes) + 2 * ((b >> 8) & lanes) + ((c >> 8) & lanes) + 0x00020002;
    return ((low >> 2) & lanes) | (((high >> 2) & lanes) << 8);
}

// One [1 2 1] pass along a line of n pixels, step apart, the ends repeated.
void smoothLine(QRgb* first, int n, std::ptrdiff_t step) {
    QRgb before = first[0];
    QRgb here = first[0];
    for (int i = 0; i < n; ++i) {
        const QRgb after = first[std::min(i + 1, n - 1) * step];
        first[i * step] = smooth3(before, here, after);
        before = here;
        here = after;
    }
}

} // namespace

void soften(QImage& image) {
    if (image.isNull()) {
        return;
    }
    if (image.depth() != 32) {
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const int w = image.width();
    const int h = image.height();
    const std::ptrdiff_t stride = image.bytesPerLine() / 4;
    auto* pixels = reinterpret_cast<QRgb*>(image.bits());
    for (int pass = 0; pass < 5; ++pass) {
        for (int y = 0; y < h; ++y) {
            smoothLine(pixels + y * stride, w, 1);
        }
        for (int x = 0; x < w; ++x) {
            smoothLine(pixels + x, h, stride);
        }
    }
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
