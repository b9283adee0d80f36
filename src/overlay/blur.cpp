#include "overlay/blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

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

// One [1 2 1] pass along a line of n pixels, step apart, over each of the four channels.
void smoothLine(QRgb* first, int n, std::ptrdiff_t step, std::vector<QRgb>& scratch) {
    scratch.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        scratch[static_cast<std::size_t>(i)] = first[i * step];
    }
    for (int i = 0; i < n; ++i) {
        const QRgb a = scratch[static_cast<std::size_t>(std::max(i - 1, 0))];
        const QRgb b = scratch[static_cast<std::size_t>(i)];
        const QRgb c = scratch[static_cast<std::size_t>(std::min(i + 1, n - 1))];
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const std::uint32_t sum = ((a >> shift) & 0xff) + 2 * ((b >> shift) & 0xff) + ((c >> shift) & 0xff);
            out |= ((sum + 2) / 4) << shift;
        }
        first[i * step] = out;
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
    std::vector<QRgb> scratch;
    for (int pass = 0; pass < 5; ++pass) {
        for (int y = 0; y < h; ++y) {
            smoothLine(pixels + y * stride, w, 1, scratch);
        }
        for (int x = 0; x < w; ++x) {
            smoothLine(pixels + x, h, stride, scratch);
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
