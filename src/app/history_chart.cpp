#include "app/history_chart.h"

#include <QDate>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace orbel {

namespace {

QColor pick(bool dark, const char* onLight, const char* onDark) {
    return QColor(QString::fromLatin1(dark ? onDark : onLight));
}

double labelWidth(const QFontMetricsF& fm) {
    return fm.horizontalAdvance(QStringLiteral("00 h"));
}

QDate dateOf(const DayRecord& day) {
    return QDate::fromString(QString::fromStdString(day.date), QStringLiteral("yyyy-MM-dd"));
}

} // namespace

ChartColours chartColours(const QPalette& palette) {
    const bool dark = palette.color(QPalette::Window).lightnessF() < 0.5;
    ChartColours c;
    // Darker shades on a light window and lighter ones on a dark window keep each colour at a
    // readable contrast with the background.
    c.focus = pick(dark, "#2f6db5", "#79aef2");
    c.over = pick(dark, "#d0541c", "#ffa05c");
    c.breaks = pick(dark, "#2e8540", "#7ad38b");
    c.overrides = pick(dark, "#b3245b", "#ff8ab8");
    c.text = palette.color(QPalette::WindowText);
    c.grid = c.text;
    c.grid.setAlphaF(0.18f);
    c.selection = palette.color(QPalette::Highlight);
    c.selection.setAlphaF(0.22f);
    return c;
}

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Focus per day"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void HistoryChart::setDays(std::vector<DayRecord> days) {
    const std::string selectedDate = selected_ >= 0 && selected_ < int(days_.size()) ? days_[selected_].date : "";
    const bool wasLast = selected_ == int(days_.size()) - 1;
    days_ = std::move(days);
    int index = int(days_.size()) - 1;
    if (!wasLast) {
        const auto it = std::find_if(days_.begin(), days_.end(), [&](const auto& d) { return d.date == selectedDate; });
        if (it != days_.end()) index = int(it - days_.begin());
    }
    selected_ = -1; // so that select() reports the selection afresh
    select(index);
    update();
}

void HistoryChart::select(int index) {
    if (days_.empty()) return;
    index = std::clamp(index, 0, int(days_.size()) - 1);
    if (index == selected_) return;
    selected_ = index;
    update();
    emit selectedChanged(index);
}

ChartLayout HistoryChart::currentLayout() const {
    const QFontMetricsF fm(font());
    return chartLayout(QSizeF(size()), fm.height(), labelWidth(fm), int(days_.size()));
}

QSize HistoryChart::sizeHint() const {
    const QFontMetricsF fm(font());
    const double column = std::max(fm.horizontalAdvance(QStringLiteral("Wed")), fm.height() * 2.2) * 1.3;
    return QSizeF(labelWidth(fm) + fm.height() * 2 + column * chartDays, fm.height() * 18).toSize();
}

QSize HistoryChart::minimumSizeHint() const {
    const QFontMetricsF fm(font());
    return QSizeF(labelWidth(fm) + fm.height() * 2 * chartDays, fm.height() * 12).toSize();
}

void HistoryChart::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const ChartLayout l = currentLayout();
    const ChartScale s = chartScale(days_);
    const ChartColours c = chartColours(palette());
    drawLegend(p, l, c);
    drawGrid(p, l, s, c);
    for (int i = 0; i < int(days_.size()); ++i)
        drawDay(p, l, s, c, i);
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}

void HistoryChart::drawLegend(QPainter& p, const ChartLayout& l, const ChartColours& c) const {
    const QFontMetricsF fm(font());
    const double box = fm.height() * 0.7;
    double x = l.legend.left();
    const double mid = l.legend.center().y();
    const auto label = [&](const QString& text) {
        p.setPen(c.text);
        p.drawText(QPointF(x, mid + fm.ascent() / 2 - fm.descent() / 2), text);
        x += fm.horizontalAdvance(text) + fm.height();
    };
    for (const auto& [colour, text] :
         {std::pair{c.focus, QStringLiteral("Focus")}, std::pair{c.over, QStringLiteral("Past the block")}}) {
        p.fillRect(QRectF(x, mid - box / 2, box, box), colour);
        x += box + fm.height() * 0.3;
        label(text);
    }
    drawMark(p, QPointF(x + box / 2, mid), false, c.breaks, 0);
    x += box + fm.height() * 0.3;
    label(QStringLiteral("Whole breaks"));
    drawMark(p, QPointF(x + box / 2, mid), true, c.overrides, 0);
    x += box + fm.height() * 0.3;
    label(QStringLiteral("Overrides"));
}

void HistoryChart::drawGrid(QPainter& p, const ChartLayout& l, const ChartScale& s, const ChartColours& c) const {
    const QFontMetricsF fm(font());
    for (double m = 0; m <= s.topMin + 0.5; m += s.stepMin) {
        const double y = l.plot.bottom() - m / s.topMin * l.plot.height();
        p.setPen(QPen(c.grid, 1));
        p.drawLine(QPointF(l.plot.left(), y), QPointF(l.plot.right(), y));
        const QString text = m == 0 ? QStringLiteral("0") : QString::number(m / 60) + QStringLiteral(" h");
        p.setPen(c.text);
        p.drawText(QPointF(l.plot.left() - fm.height() / 4 - fm.horizontalAdvance(text), y + fm.ascent() / 2 - 1),
                   text);
    }
}

void HistoryChart::drawDay(QPainter& p, const ChartLayout& l, const ChartScale& s, const ChartColours& c, int i) const {
    const DayRecord& day = days_[i];
    const QRectF column(l.plot.left() + l.column * i, l.plot.top(), l.column, l.bottom - l.plot.top());
    if (i == selected_) p.fillRect(column, c.selection);
    const DayBar bar = dayBar(l, s, i, day);
    p.fillRect(bar.focus, c.focus);
    if (!bar.over.isEmpty()) p.fillRect(bar.over, c.over);

    const QDate date = dateOf(day);
    QFont labelFont = font();
    labelFont.setBold(i == int(days_.size()) - 1); // today
    p.setFont(labelFont);
    p.setPen(c.text);
    const QFontMetricsF fm(labelFont);
    const QRectF dateBox(column.left(), l.dateTop, column.width(), fm.height() * 2);
    p.drawText(dateBox, Qt::AlignHCenter | Qt::AlignTop,
               QLocale().dayName(date.dayOfWeek(), QLocale::ShortFormat) + QLatin1Char('\n') +
                   QString::number(date.day()));
    p.setFont(font());
    const double x = column.center().x();
    if (day.breaks > 0) drawMark(p, QPointF(x, l.marksTop + fm.height() * 0.5), false, c.breaks, day.breaks);
    if (day.overrides > 0) drawMark(p, QPointF(x, l.marksTop + fm.height() * 1.7), true, c.overrides, day.overrides);
}

// A dot (whole breaks) or a diamond (overrides) with its count beside it; no count in the legend.
void HistoryChart::drawMark(QPainter& p, QPointF centre, bool diamond, const QColor& colour, std::int64_t n) const {
    const QFontMetricsF fm(font());
    const double r = fm.height() * 0.3;
    const QString count = n > 0 ? QString::number(n) : QString();
    const double width = 2 * r + (count.isEmpty() ? 0 : fm.height() * 0.15 + fm.horizontalAdvance(count));
    const QPointF at(centre.x() - width / 2 + r, centre.y());
    QPainterPath shape;
    if (diamond) {
        shape.moveTo(at.x(), at.y() - r * 1.2);
        shape.lineTo(at.x() + r * 1.2, at.y());
        shape.lineTo(at.x(), at.y() + r * 1.2);
        shape.lineTo(at.x() - r * 1.2, at.y());
        shape.closeSubpath();
    } else {
        shape.addEllipse(at, r, r);
    }
    p.fillPath(shape, colour);
    if (count.isEmpty()) return;
    p.setPen(palette().color(QPalette::WindowText)); // the count in the theme's text colour
    p.drawText(QPointF(at.x() + r + fm.height() * 0.15, centre.y() + fm.ascent() / 2 - fm.descent() / 2), count);
}

void HistoryChart::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        select(selected_ - 1);
        break;
    case Qt::Key_Right:
        select(selected_ + 1);
        break;
    case Qt::Key_Home:
        select(0);
        break;
    case Qt::Key_End:
        select(int(days_.size()) - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void HistoryChart::mousePressEvent(QMouseEvent* event) {
    const ChartLayout l = currentLayout();
    if (l.column > 0 && event->position().x() >= l.plot.left()) {
        select(int((event->position().x() - l.plot.left()) / l.column));
    }
    QWidget::mousePressEvent(event);
}

} // namespace orbel
