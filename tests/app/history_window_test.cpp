// The history window drawn on Qt's offscreen platform after a fortnight played through the
// engine: the bars measured in the picture, in a light and a dark theme and at twice the scale.
#include "app/history_chart.h"
#include "app/history_texts.h"
#include "app/history_window.h"
#include "core/machine.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <cstdlib>
#include <gtest/gtest.h>

namespace orbel {
namespace {

// One working day from 09:00: at the desk for `deskMin` minutes, stepping away for a break once
// the blur reaches `breakAtStage`, buying `grants` overrides on overruns, with a call at 11:00
// and a manual pause at 14:00.
struct DayScript {
    int deskMin;
    std::int64_t breakAtStage;
    int grants;
    int callMin;
    int pauseMin;
};

std::string dateAt(double t) {
    return shiftDate("1970-01-01", long(t / 86400)).value_or("");
}

struct Fortnight {
    DayHistory history;
    std::vector<std::string> lastDayOverrides;
    std::string today;
};

// Thursday 26 November to Wednesday 9 December 2026, oldest first; the first weekend at home,
// an hour and a half on the second Saturday. Fed as the agent feeds it: each tick's result under
// the engine's own day name, and each override the engine grants.
Fortnight playFortnight() {
    const DayScript days[] = {
        {420, 2, 0, 30, 0}, {480, 4, 1, 0, 0},  {0, 0, 0, 0, 0},    {0, 0, 0, 0, 0},     {450, 1, 0, 45, 60},
        {510, 5, 2, 0, 0},  {300, 3, 0, 0, 0},  {460, 3, 1, 60, 0}, {400, 1, 0, 0, 30},  {90, 2, 0, 0, 0},
        {0, 0, 0, 0, 0},    {540, 5, 1, 30, 0}, {480, 2, 0, 20, 0}, {470, 4, 2, 40, 45},
    };
    Fortnight f;
    Machine m{Config{.adaptive = false}};
    m.cycle = {50, 5};
    double midnight = 1795651200; // 2026-11-26T00:00:00Z
    for (const DayScript& d : days) {
        f.today = dateAt(midnight);
        double now = midnight + 9 * 3600;
        double awaySince = -1;
        int grantsLeft = d.grants;
        for (int s = 0; s < d.deskMin * 60; ++s, now += 1) {
            const bool call = s >= 2 * 3600 && s < 2 * 3600 + d.callMin * 60;
            if (s == 5 * 3600 && d.pauseMin > 0) m.cfg.pausedUntil = now + d.pauseMin * 60;
            if (awaySince >= 0 && now - awaySince > 6 * 60) awaySince = -1;
            const Out out = m.tick(now, awaySince >= 0 ? now - awaySince : 0.5, call, f.today);
            f.history.count(m.day, out);
            if (out.stage >= 3 && grantsLeft > 0 && now - m.stageSince >= 30 &&
                !m.grant("the release has to go out today", now)) {
                f.history.countOverride(m.day);
                --grantsLeft;
            } else if (out.stage >= d.breakAtStage && awaySince < 0 && out.stage > 0) {
                awaySince = now;
            }
        }
        midnight += 86400;
    }
    f.lastDayOverrides = {overrideLine("11:42", {0, "15min", "the release has to go out today"}),
                          overrideLine("15:07", {0, "15min", "customer call ran long"})};
    return f;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

QPalette darkPalette() {
    QPalette p;
    for (auto [role, colour] : {std::pair{QPalette::Window, "#2a2a2e"},
                                {QPalette::WindowText, "#e8e8ea"},
                                {QPalette::Base, "#1f1f22"},
                                {QPalette::Text, "#e8e8ea"},
                                {QPalette::Button, "#35353a"},
                                {QPalette::ButtonText, "#e8e8ea"},
                                {QPalette::Highlight, "#3d7bd9"}})
        p.setColor(role, QColor(QString::fromLatin1(colour)));
    return p;
}

// Measures each day's bar in the picture: from the zero line up the bar's middle, the pixels in
// the focus colour and in the warning colour; and looks for each day's marks under the dates.
void checkPicture(const QImage& picture, const HistoryWindow& w, const ChartColours& c, double scale) {
    const HistoryChart& chart = *w.chart;
    const ChartLayout l = chart.currentLayout();
    const ChartScale s = chartScale(chart.days());
    const QPoint origin = chart.mapTo(&w, QPoint(0, 0));
    const auto px = [&](double x, double y) {
        return picture.pixelColor(int((origin.x() + x) * scale), int((origin.y() + y) * scale));
    };
    const auto found = [&](QRectF area, const QColor& colour) {
        for (double y = area.top(); y < area.bottom(); y += 0.5)
            for (double x = area.left(); x < area.right(); x += 0.5)
                if (near(px(x, y), colour)) return true;
        return false;
    };
    for (int i = 0; i < int(chart.days().size()); ++i) {
        const DayRecord& day = chart.days()[i];
        SCOPED_TRACE(day.date);
        const double x = l.plot.left() + l.column * (i + 0.5);
        // Edges and the seam between the two parts are blended: a few pixels of neither colour.
        int focus = 0;
        int over = 0;
        int neither = 0;
        for (int y = int(l.plot.bottom() * scale) - 1; y > int(l.plot.top() * scale) && neither <= 2 * scale; --y) {
            const QColor p = picture.pixelColor(int((origin.x() + x) * scale), int(origin.y() * scale) + y);
            if (near(p, c.focus))
                ++focus;
            else if (near(p, c.over))
                ++over;
            else
                ++neither;
        }
        const double perMin = l.plot.height() * scale / s.topMin;
        EXPECT_NEAR(focus + over, day.focusSec / 60 * perMin, 2.5 * scale);
        EXPECT_NEAR(over, day.overSec / 60 * perMin, 2.5 * scale);
        const QRectF column(l.plot.left() + l.column * i, l.marksTop, l.column, (l.bottom - l.marksTop) / 2);
        EXPECT_EQ(found(column, c.breaks), day.breaks > 0);
        EXPECT_EQ(found(column.translated(0, column.height()), c.overrides), day.overrides > 0);
    }
}

TEST(HistoryWindow, FortnightDrawnInLightAndDarkThemesAndReadWithTheKeyboard) {
    const Fortnight f = playFortnight();
    HistoryWindow w;
    w.resize(760, 620);
    w.setDays(chartDaysOf(f.history, f.today));
    w.setOverrides(f.lastDayOverrides);
    w.show();
    QApplication::processEvents();
    ASSERT_EQ(w.chart->days().size(), 14u);
    ASSERT_GT(w.chart->days()[1].overSec, 0) << "the script has overtime";
    EXPECT_EQ(w.chart->days()[2].focusSec, 0) << "a weekend day without a row stands as zeros";

    const char* keep = std::getenv("ORBEL_HISTORY_PICTURE_DIR"); // the README's pictures
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        w.setPalette(dark ? darkPalette() : QApplication::palette());
        QApplication::processEvents();
        const double scale = dark ? 2 : 1; // the dark one as on a screen scaled to 200 %
        QImage picture(w.size() * scale, QImage::Format_ARGB32);
        picture.setDevicePixelRatio(scale);
        w.render(&picture);
        checkPicture(picture, w, chartColours(w.palette()), scale);
        const QColor background = picture.pixelColor(2, 2);
        EXPECT_EQ(background.lightnessF() < 0.5, dark);
        if (keep)
            picture.save(QString::fromLocal8Bit(keep) + (dark ? "/history-window-dark.png" : "/history-window.png"));
    }

    // Today first; Left goes to the day before, End back to today.
    EXPECT_TRUE(w.heading->text().startsWith("Today, "));
    EXPECT_EQ(w.figures->text().toStdString(), dayFigures(w.chart->days().back()));
    EXPECT_EQ(w.overrides->count(), 2);
    for (const auto& [key, index] : {std::pair{Qt::Key_Left, 12}, {Qt::Key_End, 13}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(w.chart, &press);
        EXPECT_EQ(w.chart->selected(), index);
        EXPECT_EQ(w.figures->text().toStdString(), dayFigures(w.chart->days()[index]));
    }
}

} // namespace
} // namespace orbel
