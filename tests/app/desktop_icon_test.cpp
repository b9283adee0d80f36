#include "app/icon.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace orbel {
namespace {

// The glyph drawn by the tray code, or an SVG file, at side x side pixels on transparency.
QImage render(int side, const char* svgFile = nullptr) {
    QImage img(side, side, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    if (svgFile == nullptr) {
        drawOrbelGlyph(p, QRectF(0, 0, side, side));
        return img;
    }
    QSvgRenderer svg(QString::fromUtf8(svgFile));
    EXPECT_TRUE(svg.isValid()) << svgFile;
    svg.render(&p);
    return img;
}

double luminance(QColor c) {
    auto lin = [](double v) {
        v /= 255;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
}

// The installed icons are the tray glyph: at every size the theme may ask for, they cover the
// pixels that drawOrbelGlyph covers, up to antialiasing at the edges, in one colour.
TEST(DesktopIcons, CoverTheSamePixelsAsTheTrayGlyphInOneColour) {
    struct Case {
        const char* file;
        bool readableOnLightAndDark;
    };
    const Case cases[] = {
        {ORBEL_DATA_DIR "/icons/orbel-lite.svg", true},
        {ORBEL_DATA_DIR "/icons/orbel-lite-symbolic.svg", false}, // the desktop recolours it
    };
    for (const auto& c : cases) {
        for (const int side : {16, 24, 48, 128}) {
            SCOPED_TRACE(testing::Message() << c.file << " at " << side);
            const QImage svg = render(side, c.file);
            const QImage glyph = render(side);
            int worst = 0;
            QRgb ink = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const QRgb a = svg.pixel(x, y);
                    worst = std::max(worst, std::abs(qAlpha(a) - qAlpha(glyph.pixel(x, y))));
                    if (qAlpha(a) < 255) continue;
                    if (ink == 0) ink = a;
                    EXPECT_EQ(a, ink) << "at " << x << "," << y;
                }
            }
            EXPECT_LE(worst, 80) << "the icon's shape departs from the glyph";
            ASSERT_NE(ink, 0u) << "no solid ink at all";
            if (c.readableOnLightAndDark) {
                const double l = luminance(QColor(ink));
                EXPECT_GE(1.05 / (l + 0.05), 3.0) << "on a light menu";
                EXPECT_GE((l + 0.05) / 0.05, 3.0) << "on a dark menu";
            }
        }
    }
}

// Symbolic recolouring fills every shape with the panel's colour, so a stroked ring would come
// out as a solid disc. The tray's symbolic pictures of the states are fills only too, and tell
// the states apart.
TEST(DesktopIcons, SymbolicIconIsMadeOfFillsOnly) {
    QFile f(QStringLiteral(ORBEL_DATA_DIR "/icons/orbel-lite-symbolic.svg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("stroke"));

    using Kind = TrayState::Kind;
    std::vector<QImage> seen;
    for (const Kind kind : {Kind::counting, Kind::breakNow, Kind::paused, Kind::override}) {
        const QByteArray svg = traySymbolicSvg(kind);
        EXPECT_FALSE(svg.contains("stroke"));
        EXPECT_TRUE(traySymbolicName(kind).endsWith("-symbolic"));
        QSvgRenderer renderer(svg);
        ASSERT_TRUE(renderer.isValid());
        QImage img(24, 24, QImage::Format_ARGB32);
        img.fill(Qt::transparent);
        QPainter p(&img);
        renderer.render(&p);
        p.end();
        for (const QImage& other : seen)
            EXPECT_NE(img, other) << static_cast<int>(kind);
        seen.push_back(img);
    }
}

} // namespace
} // namespace orbel
