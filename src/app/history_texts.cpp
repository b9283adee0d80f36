#include "app/history_texts.h"

#include "core/whole_number.h"

#include <algorithm>
#include <cmath>

namespace orbel {

namespace {

std::string counted(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::vector<DayRecord> chartDaysOf(const DayHistory& history, std::string_view today, int count) {
    std::vector<DayRecord> days;
    for (int back = count - 1; back >= 0; --back) {
        const std::string date = shiftDate(today, -back).value_or(std::string());
        if (date.empty()) continue;
        const DayRecord* row = history.find(date);
        days.push_back(row ? *row : DayRecord{.date = date});
    }
    return days;
}

std::string durationText(double sec) {
    const std::int64_t minutes = std::max<std::int64_t>(wholeNumber(sec / 60), 0);
    if (minutes < 60) return std::to_string(minutes) + " min";
    const std::string hours = std::to_string(minutes / 60) + " h";
    return minutes % 60 == 0 ? hours : hours + " " + std::to_string(minutes % 60) + " min";
}

std::string dayFigures(const DayRecord& d) {
    std::string text = durationText(d.focusSec) + " of focus";
    text += wholeNumber(d.overSec / 60) > 0 ? ", " + durationText(d.overSec) + " of it past the block.\n" : ".\n";
    text += d.breaks > 0 ? counted(d.breaks, "whole break", "whole breaks") : std::string("No whole break");
    text += d.topStage > 0 ? "; the blur reached stage " + std::to_string(d.topStage) + ".\n"
                           : "; the blur never showed.\n";
    text += d.overrides > 0 ? counted(d.overrides, "override", "overrides") + ".\n" : std::string("No override.\n");
    const bool byHand = wholeNumber(d.pausedSec / 60) > 0;
    const bool byCall = wholeNumber(d.callSec / 60) > 0;
    if (byHand && byCall) {
        text += "Paused " + durationText(d.pausedSec) + " by hand and " + durationText(d.callSec) + " by calls.";
    } else if (byHand) {
        text += "Paused " + durationText(d.pausedSec) + " by hand.";
    } else if (byCall) {
        text += "Paused " + durationText(d.callSec) + " by calls.";
    } else {
        text += "Not paused.";
    }
    return text;
}

std::string overrideLine(std::string_view hhmm, const LoggedOverride& entry) {
    return std::string(hhmm) + "  " + entry.length + "  " + entry.reason;
}

ChartScale chartScale(const std::vector<DayRecord>& days) {
    double most = 0;
    for (const DayRecord& d : days)
        most = std::max(most, d.focusSec / 60);
    // Hours as grid steps up to eight hours, two-hour steps above, so the grid keeps a few lines.
    ChartScale scale;
    scale.stepMin = most > 8 * 60 ? 120 : 60;
    const double steps = std::max(1.0, std::ceil(std::min(most, 24.0 * 60 * 365) / scale.stepMin));
    scale.topMin = steps * scale.stepMin;
    return scale;
}

ChartLayout chartLayout(QSizeF size, double lineHeight, double labelWidth, int count) {
    ChartLayout l;
    const double pad = lineHeight / 2;
    l.legend = QRectF(pad, pad, size.width() - 2 * pad, lineHeight * 1.2);
    const double below = lineHeight * 5; // two date lines and two lines of marks under the plot
    const double top = l.legend.bottom() + lineHeight;
    const double left = pad + labelWidth + pad;
    l.plot = QRectF(left, top, std::max(0.0, size.width() - left - pad),
                    std::max(lineHeight, size.height() - top - below - pad));
    l.column = count > 0 ? l.plot.width() / count : 0;
    l.dateTop = l.plot.bottom() + lineHeight * 0.3;
    l.marksTop = l.dateTop + lineHeight * 2.2;
    l.bottom = l.marksTop + lineHeight * 2.4;
    return l;
}

DayBar dayBar(const ChartLayout& layout, const ChartScale& scale, int index, const DayRecord& day) {
    const double width = layout.column * 0.6;
    const double x = layout.plot.left() + layout.column * index + (layout.column - width) / 2;
    const auto height = [&](double sec) {
        return std::clamp(sec / 60 / scale.topMin, 0.0, 1.0) * layout.plot.height();
    };
    const double focus = height(day.focusSec);
    const double over = std::min(height(day.overSec), focus);
    DayBar bar;
    bar.focus = QRectF(x, layout.plot.bottom() - focus, width, focus);
    if (over > 0) bar.over = QRectF(x, layout.plot.bottom() - focus, width, over);
    return bar;
}

} // namespace orbel
