#pragma once

#include "core/out.h"
#include "overlay/effect.h"
#include "overlay/views.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <functional>
#include <memory>

namespace orbel {

// Spins the event loop until done() holds or the deadline passes; true when it held.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Lets the platform deliver what the last tick caused, as the second between two ticks does.
// A tick result with the fields the overlay reads.
inline Out tick(std::int64_t stage, double level, const char* reason = "") {
    Out out;
    out.stage = stage;
    out.level = level;
    out.reason = reason;
    return out;
}

inline void settle() {
    QCoreApplication::processEvents();
}

inline OverlayWindow* overlayWindow(const std::unique_ptr<QWidget>& w) {
    return qobject_cast<OverlayWindow*>(w.get());
}

inline double blurOpacity(const std::unique_ptr<QWidget>& w) {
    return overlayWindow(w)->blurView()->property("opacity").toDouble();
}

// The opacity the blur view is really drawn with (1 when it fades the whole window instead).
inline double drawnBlurOpacity(const std::unique_ptr<QWidget>& w) {
    return overlayWindow(w)->blurView()->fade();
}

inline double tintOpacity(const std::unique_ptr<QWidget>& w) {
    return w->findChild<QWidget*>(QStringLiteral("tint"))->property("opacity").toDouble();
}

// What a window looks like composed over a white screen, as a compositor would blend it.
inline int overWhite(const QImage& premultiplied, QPoint p) {
    const QRgb px = premultiplied.pixel(p);
    return qRed(px) + (255 - qAlpha(px));
}

inline QImage rendered(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A plain white window over the first screen, standing for what the user was looking at.
class WhiteDesktop {
public:
    WhiteDesktop() : widget_(std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint)) {
        QPalette palette = widget_->palette();
        palette.setColor(QPalette::Window, Qt::white);
        widget_->setPalette(palette);
        widget_->setAutoFillBackground(true);
        widget_->setGeometry(QGuiApplication::screens().at(0)->geometry());
        widget_->show();
        QScreen& screen = *QGuiApplication::screens().at(0);
        shown_ = waitUntil([&] {
            const QImage shot = grabScreen(screen).toImage();
            return !shot.isNull() && shot.pixelColor(shot.width() / 2, shot.height() / 2) == QColor(Qt::white);
        });
    }

    [[nodiscard]] bool shown() const { return shown_; }

private:
    std::unique_ptr<QWidget> widget_;
    bool shown_ = false;
};

} // namespace orbel
