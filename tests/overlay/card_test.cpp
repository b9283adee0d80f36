// The break card reads: its text is 28 pixels high, three wrapped lines fit its frame, and the
// text keeps 4.5:1 contrast over a white and over a black screen at every stage that shows it.
#include "fake_effect.h"
#include "overlay/layout.h"
#include "overlay/overlay.h"
#include "overlay/views.h"
#include "widget_helpers.h"

#include <QFontInfo>
#include <QLabel>
#include <cmath>
#include <gtest/gtest.h>

namespace orbel {
namespace {

const QString longest = QStringLiteral("You worked 119 min past your 120 min block. Step away for 30 min.");
const QString note =
    QStringLiteral("Clears in 29:59 if you stay away\nTo override, run orbel-lite --override and give a reason.");

QLabel& cardOf(const Overlay& overlay) {
    return *overlay.wins.at(0)->findChild<QLabel*>(QStringLiteral("card"));
}

// Rows of the image that hold any light pixel, first to last.
int inkHeight(const QImage& image) {
    int first = -1;
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (std::any_of(line, line + image.width(), [](QRgb p) { return qGray(p) > 128; })) {
            first = first < 0 ? y : first;
            last = y;
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

TEST(Card, TextIs28PixelsAndItsLinesFitTheFrame) {
    Overlay overlay{std::make_unique<FakeEffect>(std::make_shared<FakeDesktop>())};
    overlay.screenList = [] { return QList<QScreen*>{QGuiApplication::screens().at(0)}; };
    overlay.ensure();
    QLabel& card = cardOf(overlay);
    EXPECT_EQ(QFontInfo(card.font()).pixelSize(), 28);

    // From the top of a capital to the bottom of a descender: about one font size.
    QLabel probe(QStringLiteral("Hg"));
    probe.setFont(card.font());
    QPalette palette = probe.palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    probe.setPalette(palette);
    probe.setAutoFillBackground(true);
    probe.resize(200, 80);
    const int ink = inkHeight(probe.grab().toImage());
    EXPECT_GE(ink, 22);
    EXPECT_LE(ink, 30);

    // The reason fits the card's first 120 pixels, and the whole card with the lines under it
    // its frame, wrapped as the card wraps it.
    for (const int width : {1440, 1024, 800}) {
        SCOPED_TRACE(testing::Message() << "screen " << width << " wide");
        const QRect frame = cardFrame(QSize(width, 900)).translated(0, 0);
        const int flags = Qt::AlignHCenter | Qt::TextWordWrap;
        const QFontMetrics& fm = card.fontMetrics();
        EXPECT_LE(fm.boundingRect(frame, flags, wrapCardText(longest, fm, frame.width())).height(), 120);
        EXPECT_LE(fm.boundingRect(frame, flags, wrapCardText(longest + "\n" + note, fm, frame.width())).height(),
                  frame.height());
    }
}

// At the widths screens come in, the card's lines are broken so that none holds a word alone,
// none is wider than the card (the label does not break them again), and the reason's two
// sentences fall on lines of their own where it takes two lines.
TEST(Card, NoWordAloneOnALineFrom1280To3840Pixels) {
    Overlay overlay{std::make_unique<FakeEffect>(std::make_shared<FakeDesktop>())};
    overlay.screenList = [] { return QList<QScreen*>{QGuiApplication::screens().at(0)}; };
    overlay.ensure();
    const QFontMetrics fm = cardOf(overlay).fontMetrics();
    const QString reasons[] = {QStringLiteral("You worked 6 min past your 50 min block. Step away for 5 min."),
                               longest};
    for (const int screen : {1280, 1366, 1440, 1536, 1600, 1680, 1920, 2048, 2560, 2880, 3440, 3840}) {
        const int width = cardFrame(QSize(screen, 1080)).width();
        for (const QString& reason : reasons) {
            SCOPED_TRACE(testing::Message() << screen << " px: " << reason.toStdString());
            const QString text = wrapCardText(reason + "\n" + note, fm, width);
            const QStringList lines = text.split('\n');
            for (const QString& line : lines) {
                EXPECT_GE(line.count(' '), 1) << "a word alone: " << line.toStdString();
                EXPECT_LE(fm.horizontalAdvance(line), width) << line.toStdString();
            }
            const QRect wrapped = fm.boundingRect(QRect(0, 0, width, 2000), Qt::AlignHCenter | Qt::TextWordWrap, text);
            EXPECT_EQ(wrapped.height(), fm.boundingRect(QRect(0, 0, width, 2000), Qt::AlignHCenter, text).height());
            const QStringList reasonLines = wrapCardText(reason, fm, width).split('\n');
            if (reasonLines.size() == 2) {
                EXPECT_TRUE(reasonLines[0].endsWith("block.")) << reasonLines[0].toStdString();
            }
        }
    }
}

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Relative luminance of a premultiplied pixel of a window of the given opacity laid over an
// opaque backdrop grey, as a compositor blends it.
double luminanceOver(QRgb p, double opacity, int backdrop) {
    const double rest = 255 - opacity * qAlpha(p);
    const auto over = [&](int c) {
        return linear(std::min(255, static_cast<int>(opacity * c + rest * backdrop / 255)));
    };
    return 0.2126 * over(qRed(p)) + 0.7152 * over(qGreen(p)) + 0.0722 * over(qBlue(p));
}

// The lightest luminance in area.
double lightest(const QImage& image, QRect area, double opacity, int backdrop) {
    double out = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            out = std::max(out, luminanceOver(image.pixel(x, y), opacity, backdrop));
        }
    }
    return out;
}

// The text's glyphs against the lightest background around them: the same window drawn again
// with the text made invisible, so nothing else changes.
TEST(Card, TextKeepsContrastOverWhiteAndBlack) {
    const struct {
        std::int64_t stage;
        double level;
    } ticks[] = {{3, 2.01}, {3, 2.5}, {3, 3}, {4, 3.6}, {5, 5}};
    // The view fades its content, or the compositor blurs and the whole window fades.
    for (const Backdrop backdrop : {Backdrop::DarkenOnly, Backdrop::CompositorBlur}) {
        auto desktop = std::make_shared<FakeDesktop>();
        desktop->backdrop = backdrop;
        Overlay overlay{std::make_unique<FakeEffect>(desktop)};
        overlay.screenList = [] { return QList<QScreen*>{QGuiApplication::screens().at(0)}; };
        for (const auto& t : ticks) {
            overlay.show(tick(t.stage, t.level, longest.toUtf8().constData()));
            settle();
            QWidget& win = *overlay.wins.at(0);
            QLabel& card = cardOf(overlay);
            const QRect area = cardTextArea(card);
            ASSERT_FALSE(area.isEmpty());
            const QImage withText = rendered(win);
            const QPalette shown = card.palette();
            QPalette hidden = shown;
            hidden.setColor(QPalette::WindowText, Qt::transparent);
            card.setPalette(hidden);
            const QImage without = rendered(win);
            card.setPalette(shown);
            for (const int grey : {255, 0}) {
                SCOPED_TRACE(testing::Message()
                             << static_cast<int>(backdrop) << " level " << t.level << " over grey " << grey);
                const double text = lightest(withText, area, win.windowOpacity(), grey);
                const double background = lightest(without, area, win.windowOpacity(), grey);
                EXPECT_GE((text + 0.05) / (background + 0.05), 4.5);
            }
        }
    }
}

} // namespace
} // namespace orbel
