#include "app/icon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

namespace orbel {
namespace {

// Renders the glyph into a transparent image and reports, for each pixel centre, how far it
// lies from the glyph's centre relative to s, the smaller side of the rectangle.
QImage render(QSize image, QRectF rect) {
    QImage img(image, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(Qt::red); // the glyph must not depend on what the painter held before
    p.setBrush(Qt::green);
    drawOrbelGlyph(p, rect);
    return img;
}

// Checks ink inside the ring band and the dot, and none in the gap between them or outside the
// ring, keeping half a pixel of antialiasing slack at each edge.
void expectGlyph(const QImage& img, QRectF rect) {
    const double s = std::min(rect.width(), rect.height());
    const QPointF c = rect.center();
    int inkInRing = 0;
    int inkInDot = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor px = img.pixelColor(x, y);
            const double d = std::hypot(x + 0.5 - c.x(), y + 0.5 - c.y());
            const bool ringCore = d > 0.31 * s + 0.75 && d < 0.41 * s - 0.75;
            const bool dotCore = d < 0.1 * s - 0.75;
            const bool clear = (d > 0.1 * s + 0.75 && d < 0.31 * s - 0.75) || d > 0.41 * s + 0.75;
            if (ringCore) {
                EXPECT_GT(px.alpha(), 200) << "ring at " << x << "," << y;
                inkInRing += px.alpha() > 200;
            }
            if (dotCore) {
                EXPECT_GT(px.alpha(), 200) << "dot at " << x << "," << y;
                inkInDot += px.alpha() > 200;
            }
            if (clear) {
                EXPECT_EQ(px.alpha(), 0) << "stray ink at " << x << "," << y;
            }
            if (px.alpha() > 0) {
                EXPECT_EQ(px.red(), 0) << "the glyph is black";
                EXPECT_EQ(px.green(), 0);
            }
        }
    }
    EXPECT_GT(inkInRing, 0);
    EXPECT_GT(inkInDot, 0) << "no dot pixel checked at this size";
}

TEST(Glyph, InkOnlyWhereRingAndDotBelong) {
    struct Case {
        QSize image;
        QRectF rect;
    };
    const Case cases[] = {
        {{18, 18}, {0, 0, 18, 18}},
        {{36, 36}, {0, 0, 36, 36}},
        {{64, 64}, {0, 0, 64, 64}},
        {{50, 40}, {12, 15, 30, 18}}, // not square, not at the origin: centred on (27, 24), s = 18
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.width() << "x" << c.rect.height());
        expectGlyph(render(c.image, c.rect), c.rect);
    }
}

TEST(Glyph, NonSquareRectangleGivesTheSquareGlyphCentred) {
    const QImage wide = render({30, 18}, {0, 0, 30, 18});
    const QImage square = render({18, 18}, {0, 0, 18, 18});
    EXPECT_EQ(wide.copy(6, 0, 18, 18), square);
    // Nothing beyond the square's sides.
    for (int y = 0; y < 18; ++y) {
        for (int x : {0, 1, 2, 3, 4, 26, 27, 28, 29})
            EXPECT_EQ(wide.pixelColor(x, y).alpha(), 0);
    }
}

TEST(TrayIcon, DrawnOnDemandAsAMaskInOneGreyReadableOnLightAndDark) {
    const QIcon a = orbelTemplateIcon();
    const QIcon b = orbelTemplateIcon();
    EXPECT_TRUE(a.isMask());
    EXPECT_EQ(a.pixmap(QSize(18, 18)).toImage(), b.pixmap(QSize(18, 18)).toImage());
    for (int side : {16, 22, 24, 48}) {
        const QImage img = a.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(img.size(), QSize(side, side));
        int opaque = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QColor px = img.pixelColor(x, y);
                if (px.alpha() < 250) continue;
                ++opaque;
                EXPECT_EQ(px.rgb() & 0xffffff, trayInk().rgb() & 0xffffff);
            }
        }
        EXPECT_GT(opaque, side) << side;
    }
    // WCAG contrast of the ink against a white and a black panel.
    auto lum = [](double c) {
        c /= 255;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor ink = trayInk();
    const double l = 0.2126 * lum(ink.red()) + 0.7152 * lum(ink.green()) + 0.0722 * lum(ink.blue());
    EXPECT_GE((1.0 + 0.05) / (l + 0.05), 3.0);
    EXPECT_GE((l + 0.05) / (0.0 + 0.05), 3.0);
}

} // namespace
} // namespace orbel

int main(int argc, char** argv) {
    // Test discovery runs this without the test's environment: never look for a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
