#pragma once

#include "core/day_history.h"
#include "storage/override_log.h"

#include <QRectF>
#include <string>
#include <string_view>
#include <vector>

namespace orbel {

// The history window's chart covers this many days, today the last.
inline constexpr int chartDays = 14;

// The chart's days: the `count` days up to and including `today`, oldest first. A day without a
// row stands as a row of zeros with its date.
std::vector<DayRecord> chartDaysOf(const DayHistory& history, std::string_view today, int count = chartDays);

// A duration in whole minutes, cut toward zero: "0 min", "40 min", "2 h", "5 h 12 min".
std::string durationText(double sec);

// A day's figures in words, one sentence to a line: the focus and its part past the block, the
// whole breaks and the highest stage, the overrides, the pauses.
std::string dayFigures(const DayRecord& day);

// One of the day's overrides: "10:32  15min  the reason". hhmm is its local time.
std::string overrideLine(std::string_view hhmm, const LoggedOverride& entry);

// The vertical scale: the top of the chart and the step between grid lines, in minutes. The top
// is a whole number of steps, at least one hour, above the longest day's focus.
struct ChartScale {
    double topMin = 60;
    double stepMin = 60;
};
ChartScale chartScale(const std::vector<DayRecord>& days);

// Where the chart's parts go in a widget of `size`, for text `lineHeight` high and axis labels
// `labelWidth` wide, with `count` days. Everything follows the font, so the chart scales with
// the screen and the user's font size.
struct ChartLayout {
    QRectF legend;       // one line of swatches at the top
    QRectF plot;         // the bars' area; its bottom is zero
    double column = 0;   // width of one day
    double dateTop = 0;  // the two lines under each bar: weekday, day of the month
    double marksTop = 0; // two lines of marks: whole breaks, then overrides
    double bottom = 0;   // the end of the marks
};
ChartLayout chartLayout(QSizeF size, double lineHeight, double labelWidth, int count = chartDays);

// The bar of day `index` and its part past the block (empty when there is none), for a plot of
// that layout and scale. The overtime part is the top of the bar and never taller than it.
struct DayBar {
    QRectF focus;
    QRectF over;
};
DayBar dayBar(const ChartLayout& layout, const ChartScale& scale, int index, const DayRecord& day);

} // namespace orbel
