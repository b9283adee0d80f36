#pragma once

#include "core/day_history.h"

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace orbel {

class HistoryChart;

// The "History…" window: the chart of the last days, the selected day's figures in words
// (today's when it opens), and today's overrides with their reasons. It only shows what App
// gives it. A dialog, so that Escape and Enter close it; Tab goes from the chart to the list
// and the Close button.
class HistoryWindow final : public QDialog {
    Q_OBJECT
public:
    HistoryWindow();

    // The chart's days, oldest first, today the last.
    void setDays(std::vector<DayRecord> days);
    // Today's overrides as lines, oldest first.
    void setOverrides(const std::vector<std::string>& lines);

    HistoryChart* chart = nullptr;
    QLabel* heading = nullptr;
    QLabel* figures = nullptr;
    QLabel* overridesHeading = nullptr;
    QListWidget* overrides = nullptr;
    QPushButton* closeButton = nullptr;

private:
    void showSelected(int index);
};

} // namespace orbel
