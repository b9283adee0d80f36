#include "overlay/wayland/picture.h"

#include "overlay/views.h"

#include <QLabel>
#include <QPainter>

namespace orbel {

QWidget* windowFor(std::span<QWidget* const> windows, QRect rect) {
    // A screen that moved keeps its window, built over its old place: the screen's place now
    // is asked first, so such a window still draws the output it belongs to.
    for (QWidget* w : windows) {
        const auto* win = qobject_cast<const OverlayWindow*>(w);
        if (win && win->builtFor() && win->builtFor()->geometry() == rect) {
            return w;
        }
    }
    for (QWidget* w : windows) {
        if (w->geometry() == rect) {
            return w;
        }
    }
    return nullptr;
}

QRegion holesFor(QRect rect, std::span<const QRect> kept) {
    QRegion holes;
    for (const QRect& r : kept) {
        holes += r.intersected(rect);
    }
    return holes.translated(-rect.topLeft());
}

PictureKey keyOf(const QWidget& window, QSize size, int scale, const QRegion& holes) {
    PictureKey key{size, scale, -1, -1, {}, false, false, holes};
    const auto* win = qobject_cast<const OverlayWindow*>(&window);
    if (const BlurView* view = win ? win->blurView() : nullptr) {
        key.blur = view->opacity();
        key.copyShown = win->copyShown();
        key.blurBehind = win->blurBehind();
        if (const auto* tint = view->findChild<QWidget*>(QStringLiteral("tint"), Qt::FindDirectChildrenOnly)) {
            key.tint = tint->property("opacity").toDouble();
        }
        if (const auto* card = view->findChild<QLabel*>(QStringLiteral("card"), Qt::FindDirectChildrenOnly)) {
            key.card = card->text();
        }
    }
    return key;
}

void paintPicture(QWidget& window, QImage& image, const QRegion& holes) {
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // The window is translucent and drawn over nothing: its children paint what shows.
    painter.setOpacity(window.windowOpacity());
    window.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    if (!holes.isEmpty()) {
        painter.setOpacity(1);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : holes) {
            painter.fillRect(r, Qt::transparent);
        }
    }
}

} // namespace orbel
