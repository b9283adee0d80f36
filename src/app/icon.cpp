#include "app/icon.h"

#include <QIconEngine>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace orbel {

QColor trayInk() {
    return QColor(0x88, 0x88, 0x88);
}

void drawOrbelGlyph(QPainter& painter, const QRectF& rect) {
    const double s = std::min(rect.width(), rect.height());
    const QPointF c = rect.center();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    // Ring: a circle of diameter 0.72 s stroked with a 0.1 s line.
    painter.setPen(QPen(Qt::black, 0.1 * s));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(c, 0.36 * s, 0.36 * s);

    // Dot: a filled disc of diameter 0.2 s.
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(c, 0.1 * s, 0.1 * s);
    painter.restore();
}

namespace {

// Draws the glyph afresh at whatever size the tray asks for, so it stays sharp at every
// panel height and screen scale. Linux trays show pixmaps as they are, without the recolouring
// that a mask icon gets on macOS, so the ink is a middle grey: at least 3.5:1 against both a
// white and a black panel.
class GlyphEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        drawOrbelGlyph(p, QRectF(QPointF(0, 0), QSizeF(size)));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(pm.rect(), trayInk());
        return pm;
    }

    // On a scaled screen the tray asks for logical size times scale; draw at device pixels.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pm = pixmap((QSizeF(size) * scale).toSize(), mode, state);
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new GlyphEngine; }
    QString key() const override { return QStringLiteral("orbel-glyph"); }
};

} // namespace

QIcon orbelTemplateIcon() {
    QIcon icon(new GlyphEngine);
    // A mask icon: only its shape counts, and the platform may recolour it to suit the panel.
    icon.setIsMask(true);
    return icon;
}

} // namespace orbel
