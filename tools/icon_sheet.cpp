// Writes a picture of the tray icon's states, drawn by the agent's own code, on light and dark
// panels: the one the README shows. Usage: icon_sheet OUT.png
#include "app/icon.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <vector>

namespace {

using orbel::TrayState;

struct Row {
    const char* label;
    TrayState state;
};

struct Panel {
    const char* label;
    QColor colour;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: icon_sheet OUT.png\n");
        return 2;
    }
    const std::vector<Row> rows{
        {"50 of 50 min left", {TrayState::Kind::counting, 50, 50}},
        {"23 min left", {TrayState::Kind::counting, 23, 50}},
        {"4 min left", {TrayState::Kind::counting, 4, 50}},
        {"110 min left", {TrayState::Kind::counting, 110, 120}},
        {"Break now", {TrayState::Kind::breakNow, 0, 0}},
        {"Paused", {TrayState::Kind::paused, 0, 0}},
        {"Override", {TrayState::Kind::override, 0, 0}},
    };
    const std::vector<Panel> panels{
        {"white", QColor(0xff, 0xff, 0xff)},
        {"light #DAD8D4", QColor(0xda, 0xd8, 0xd4)},
        {"blue #2980B9", QColor(0x29, 0x80, 0xb9)},
        {"dark #2B2B2B", QColor(0x2b, 0x2b, 0x2b)},
        {"black", QColor(0, 0, 0)},
    };
    const std::vector<int> sides{16, 22, 24};
    constexpr int zoom = 4; // pixels shown as blocks, so every one of them can be seen
    constexpr int labelW = 170;
    constexpr int headH = 30;
    constexpr int pad = 10;
    int cellW = pad;
    for (const int s : sides)
        cellW += s * zoom + pad;
    const int rowH = 24 * zoom + 2 * pad;
    QImage sheet(labelW + cellW * static_cast<int>(panels.size()), headH + rowH * static_cast<int>(rows.size()),
                 QImage::Format_ARGB32);
    sheet.fill(QColor(0xf4, 0xf4, 0xf4));
    QPainter p(&sheet);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(pad, 0, labelW, headH), Qt::AlignVCenter, QStringLiteral("16, 22, 24 px"));
    for (std::size_t c = 0; c < panels.size(); ++c) {
        const QRect head(labelW + static_cast<int>(c) * cellW, 0, cellW, headH);
        p.drawText(head, Qt::AlignCenter, QString::fromLatin1(panels[c].label));
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int top = headH + static_cast<int>(r) * rowH;
        p.setPen(Qt::black);
        p.drawText(QRect(pad, top, labelW, rowH), Qt::AlignVCenter, QString::fromLatin1(rows[r].label));
        for (std::size_t c = 0; c < panels.size(); ++c) {
            const int left = labelW + static_cast<int>(c) * cellW;
            p.fillRect(left, top, cellW, rowH, panels[c].colour);
            int x = left + pad;
            for (const int s : sides) {
                QImage icon(s, s, QImage::Format_ARGB32);
                icon.fill(panels[c].colour);
                QPainter ip(&icon);
                ip.drawImage(0, 0, orbel::trayImage(rows[r].state, s));
                ip.end();
                const int y = top + pad + (24 - s) * zoom / 2;
                p.drawImage(QRect(x, y, s * zoom, s * zoom), icon.scaled(s * zoom, s * zoom));
                x += s * zoom + pad;
            }
        }
    }
    p.end();
    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "icon_sheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
