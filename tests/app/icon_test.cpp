#include "app/icon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

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

using Kind = TrayState::Kind;

std::string bytesOf(const QImage& img) {
    return {reinterpret_cast<const char*>(img.constBits()), static_cast<std::size_t>(img.sizeInBytes())};
}

double luminance(QRgb c) {
    auto lin = [](int v) {
        const double x = v / 255.0;
        return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Every state, and every minute count a block can show, is a picture of its own at the sizes
// trays use; the same state always gives the same picture.
TEST(TrayIcon, EachStateAndEachMinuteCountIsADistinctPicture) {
    std::vector<TrayState> states{{Kind::breakNow, 0, 0}, {Kind::paused, 0, 0}, {Kind::override, 0, 0}};
    for (std::int64_t m = 0; m <= 99; ++m)
        states.push_back({Kind::counting, m, 99});
    states.push_back({Kind::counting, 150, 180}); // "2h"
    for (const int side : {16, 22, 24}) {
        std::set<std::string> seen;
        for (const TrayState& st : states) {
            const QImage img = trayImage(st, side);
            ASSERT_EQ(img.size(), QSize(side, side));
            EXPECT_TRUE(seen.insert(bytesOf(img)).second)
                << "kind " << static_cast<int>(st.kind) << ", " << st.minutes << " min at " << side << " px";
            EXPECT_EQ(bytesOf(img), bytesOf(trayImage(st, side)));
        }
    }
    // A tray that asks for a size gets the picture drawn at that size.
    const QImage asked =
        trayIcon(states[3]).pixmap(QSize(22, 22), 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(bytesOf(asked), bytesOf(trayImage(states[3], 22)));
}

// The icon's outline reads on a white and on a black panel alike: in every direction from the
// centre, the outer part of the badge holds a pixel of at least 3:1 against the panel. The
// marks read against the disc they sit on.
TEST(TrayIcon, OutlineHoldsThreeToOneOnWhiteAndBlackPanels) {
    EXPECT_GE(contrast(trayLight().rgb(), trayDark().rgb()), 7.0);
    const TrayState states[] = {{Kind::counting, 0, 50}, {Kind::counting, 23, 50}, {Kind::counting, 50, 50},
                                {Kind::breakNow, 0, 0},  {Kind::paused, 0, 0},     {Kind::override, 0, 0}};
    for (const QRgb panel : {qRgb(255, 255, 255), qRgb(0, 0, 0)}) {
        for (const TrayState& st : states) {
            for (const int side : {16, 22, 24}) {
                QImage shown(side, side, QImage::Format_RGB32);
                shown.fill(panel);
                QPainter(&shown).drawImage(0, 0, trayImage(st, side));
                const double c = side / 2.0;
                for (int deg = 0; deg < 360; deg += 5) {
                    double best = 1;
                    for (double r = 0.3 * side; r < 0.5 * side; r += 0.25) {
                        const int x = static_cast<int>(c + r * std::cos(deg * M_PI / 180));
                        const int y = static_cast<int>(c - r * std::sin(deg * M_PI / 180));
                        best = std::max(best, contrast(shown.pixel(x, y), panel));
                    }
                    EXPECT_GE(best, 3.0) << "kind " << static_cast<int>(st.kind) << " " << st.minutes << " min, "
                                         << side << " px, panel " << qGray(panel) << ", at " << deg << " degrees";
                }
            }
        }
    }
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
