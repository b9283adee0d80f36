#include "overlay/blur.h"

#include <QColor>
#include <QPainter>
#include <gtest/gtest.h>

namespace orbel {
namespace {

QImage filled(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Left half black, right half white: the sharpest edge a screen can show.
QImage edge(QSize size) {
    QImage image = filled(size, Qt::white);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), Qt::black);
    return image;
}

int grey(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y));
}

TEST(Blur, SharpEdgeBecomesAWideRamp) {
    const QImage out = blurred(edge({1440, 900}), blurFactor(1));
    ASSERT_EQ(out.size(), QSize(1440, 900));
    int between = 0;
    for (int x = 0; x < out.width(); ++x) {
        const int g = grey(out, x, 450);
        between += g > 10 && g < 245 ? 1 : 0;
    }
    // The unblurred edge has no pixel between the two plateaus; the blurred one spreads over
    // about one blur step either side.
    EXPECT_GE(between, 12);
    EXPECT_LE(between, 4 * blurFactor(1));
    EXPECT_LE(grey(out, 100, 450), 2);
    EXPECT_GE(grey(out, 1340, 450), 253);
}

TEST(Blur, FlatColoursAndSizesSurvive) {
    struct Case {
        QSize size;
        QColor colour;
        int factor;
    };
    const Case cases[] = {
        {{1440, 900}, QColor(200, 120, 40), 16},
        {{7, 5}, QColor(10, 250, 90), 16}, // smaller than one blur step
        {{1, 1}, QColor(255, 255, 255), 32},
        {{300, 200}, QColor(0, 0, 255), 0}, // a factor of 0 must not divide by zero
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height());
        const QImage out = blurred(filled(c.size, c.colour), c.factor);
        ASSERT_EQ(out.size(), c.size);
        const QColor mid = out.pixelColor(c.size.width() / 2, c.size.height() / 2);
        EXPECT_NEAR(mid.red(), c.colour.red(), 1);
        EXPECT_NEAR(mid.green(), c.colour.green(), 1);
        EXPECT_NEAR(mid.blue(), c.colour.blue(), 1);
    }
}

TEST(Blur, KeepsTheDevicePixelRatio) {
    QImage image = edge({400, 200});
    image.setDevicePixelRatio(2);
    EXPECT_EQ(blurred(image, blurFactor(2)).devicePixelRatio(), 2);
    EXPECT_EQ(blurFactor(2), 32);
    EXPECT_EQ(blurFactor(0), 16);
}

TEST(Blur, BlankImages) {
    QImage oneWhite = filled({50, 50}, Qt::black);
    oneWhite.setPixel(49, 49, qRgb(255, 255, 255));
    QImage clearBlack({20, 20}, QImage::Format_ARGB32_Premultiplied);
    clearBlack.fill(Qt::transparent);
    struct Case {
        const char* name;
        QImage image;
        bool blank;
    };
    const Case cases[] = {
        {"null", QImage(), true},
        {"black", filled({64, 48}, Qt::black), true},
        {"transparent", clearBlack, true},
        {"one white pixel", oneWhite, false},
        {"dark grey", filled({64, 48}, QColor(1, 1, 1)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isBlank(c.image), c.blank);
    }
}

// The live picture's small image: flat colours stay, a sharp edge spreads over a few pixels
// either side and no further, and an image of one pixel survives.
TEST(Blur, SoftenSpreadsEdgesAndKeepsFlatColours) {
    QImage flat = filled({30, 20}, QColor(200, 120, 40));
    soften(flat);
    EXPECT_EQ(flat.pixelColor(0, 0), QColor(200, 120, 40));
    EXPECT_EQ(flat.pixelColor(29, 19), QColor(200, 120, 40));

    QImage sharp = edge({40, 10});
    soften(sharp);
    EXPECT_EQ(grey(sharp, 0, 5), 0);
    EXPECT_EQ(grey(sharp, 39, 5), 255);
    EXPECT_GT(grey(sharp, 18, 5), 10); // dark side of the edge at 20
    EXPECT_LT(grey(sharp, 21, 5), 245);
    EXPECT_EQ(grey(sharp, 12, 5), 0); // five passes reach five pixels at most
    EXPECT_EQ(grey(sharp, 26, 5), 255);

    QImage one = filled({1, 1}, Qt::white);
    soften(one);
    EXPECT_EQ(one.pixelColor(0, 0), QColor(Qt::white));
    QImage none;
    soften(none);
    EXPECT_TRUE(none.isNull());
}

TEST(Blur, BackdropFromAGrab) {
    EXPECT_TRUE(backdropFrom(QPixmap()).isNull());
    EXPECT_TRUE(backdropFrom(QPixmap::fromImage(filled({320, 200}, Qt::black))).isNull());
    const QPixmap white = backdropFrom(QPixmap::fromImage(filled({320, 200}, Qt::white)));
    ASSERT_FALSE(white.isNull());
    EXPECT_EQ(white.size(), QSize(320, 200));
    EXPECT_EQ(white.toImage().pixelColor(160, 100), QColor(Qt::white));
}

} // namespace
} // namespace orbel
