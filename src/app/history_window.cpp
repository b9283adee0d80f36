#include "app/history_window.h"

#include "app/history_chart.h"
#include "app/history_texts.h"

#include <QDate>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace orbel {

namespace {

// Text that came from files is shown as it stands, never as markup.
QLabel* plainLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

HistoryWindow::HistoryWindow() : QDialog(nullptr) {
    setWindowTitle(QStringLiteral("Orbel Lite history"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setSizeGripEnabled(true);

    chart = new HistoryChart(this);
    heading = plainLabel(this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    figures = plainLabel(this);
    figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    overridesHeading = plainLabel(this);
    overridesHeading->setFont(bold);
    overrides = new QListWidget(this);
    overrides->setAccessibleName(QStringLiteral("Today's overrides"));
    overrides->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    overridesHeading->setBuddy(overrides);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    closeButton = buttons->button(QDialogButtonBox::Close);
    closeButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chart, 3);
    layout->addWidget(heading);
    layout->addWidget(figures);
    layout->addWidget(overridesHeading);
    layout->addWidget(overrides, 1);
    layout->addWidget(buttons);
    setTabOrder(chart, overrides);
    setTabOrder(overrides, closeButton);

    connect(chart, &HistoryChart::selectedChanged, this, &HistoryWindow::showSelected);
    setOverrides({});
    chart->setFocus();
}

void HistoryWindow::setDays(std::vector<DayRecord> days) {
    chart->setDays(std::move(days));
    showSelected(chart->selected());
}

void HistoryWindow::setOverrides(const std::vector<std::string>& lines) {
    overridesHeading->setText(lines.empty() ? QStringLiteral("No overrides today.")
                                            : QStringLiteral("Today's overrides:"));
    overrides->clear();
    for (const std::string& line : lines)
        overrides->addItem(QString::fromStdString(line));
    overrides->setVisible(!lines.empty());
}

void HistoryWindow::showSelected(int index) {
    const auto& days = chart->days();
    if (index < 0 || index >= int(days.size())) return;
    const DayRecord& day = days[index];
    const QDate date = QDate::fromString(QString::fromStdString(day.date), QStringLiteral("yyyy-MM-dd"));
    const QString when = QLocale().toString(date, QLocale::LongFormat);
    heading->setText(index == int(days.size()) - 1 ? QStringLiteral("Today, ") + when : when);
    figures->setText(QString::fromStdString(dayFigures(day)));
    chart->setAccessibleDescription(heading->text() + QLatin1Char('\n') + figures->text());
}

} // namespace orbel
