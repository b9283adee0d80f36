#pragma once

#include "app/history_texts.h"
#include "core/day_history.h"

#include <QColor>
#include <QWidget>
#include <vector>

class QPainter;

namespace orbel {

// The chart's colours for a palette: the theme's text and grid, and bar and mark colours picked
// to stand out on a light or a dark window alike.
struct ChartColours {
    QColor focus;
    QColor over; // the warning colour of the time past the block
    QColor breaks;
    QColor overrides;
    QColor text;
    QColor grid;
    QColor selection;
};
ChartColours chartColours(const QPalette& palette);

// Bars of focus per day, the part past the block in the warning colour, whole breaks and
// overrides marked beneath. Drawn with QPainter: fourteen bars and two rows of marks are a page of
// code, while Qt Charts would add a GPL-licensed library (with OpenGL widgets) to an MIT program
// and is a module Qt has since deprecated. One day is selected; the arrow keys, Home, End or a click choose
// another, so the chart reads with the keyboard alone.
class HistoryChart final : public QWidget {
    Q_OBJECT
public:
    explicit HistoryChart(QWidget* parent = nullptr);

    // Shows these days, oldest first. The selection stays on its date while that is shown,
    // else it goes to the last day.
    void setDays(std::vector<DayRecord> days);
    const std::vector<DayRecord>& days() const { return days_; }
    int selected() const { return selected_; }
    void select(int index);

    // Where the parts go at the widget's present size and font.
    ChartLayout currentLayout() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void selectedChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void drawLegend(QPainter& p, const ChartLayout& l, const ChartColours& c) const;
    void drawGrid(QPainter& p, const ChartLayout& l, const ChartScale& s, const ChartColours& c) const;
    void drawDay(QPainter& p, const ChartLayout& l, const ChartScale& s, const ChartColours& c, int i) const;
    void drawMark(QPainter& p, QPointF centre, bool diamond, const QColor& colour, std::int64_t n) const;

    std::vector<DayRecord> days_;
    int selected_ = -1;
};

} // namespace orbel
