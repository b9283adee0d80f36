#include "overlay/views.h"

#include "overlay/layout.h"

#include <QFont>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>

namespace orbel {

namespace {

constexpr Qt::WindowFlags overlayFlags = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                         Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                                         Qt::WindowDoesNotAcceptFocus;

QLabel* makeCard(QWidget* parent, QSize screen) {
    auto* card = new QLabel(parent);
    card->setObjectName(QStringLiteral("card"));
    card->setWordWrap(true);
    card->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont font = card->font();
    font.setPointSizeF(28);
    font.setWeight(QFont::Medium);
    card->setFont(font);
    QPalette palette = card->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    card->setPalette(palette);
    card->setGeometry(cardFrame(screen));
    return card;
}

} // namespace

BlurView::BlurView(QWidget* parent) : QWidget(parent), effect_(new QGraphicsOpacityEffect(this)) {
    setGraphicsEffect(effect_);
    apply();
}

void BlurView::setOpacity(double opacity) {
    opacity_ = opacity;
    apply();
}

void BlurView::setFadesWindow(bool fadesWindow) {
    fadesWindow_ = fadesWindow;
    apply();
}

void BlurView::apply() {
    effect_->setOpacity(fadesWindow_ ? 1.0 : opacity_);
    const double windowOpacity = fadesWindow_ ? opacity_ : 1.0;
    if (windowOpacity != windowOpacity_) {
        windowOpacity_ = windowOpacity;
        window()->setWindowOpacity(windowOpacity);
    }
}

void BlurView::paintEvent(QPaintEvent* /*event*/) {
    if (const auto* win = qobject_cast<const OverlayWindow*>(window());
        win && win->backdrop() != Backdrop::CompositorBlur) {
        QPainter painter(this);
        win->paintCopy(painter, false);
    }
}

TintView::TintView(QWidget* parent) : QWidget(parent) {}

void TintView::setOpacity(double opacity) {
    if (opacity != opacity_) {
        opacity_ = opacity;
        update();
    }
}

void TintView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setOpacity(opacity_);
    painter.fillRect(rect(), Qt::black);
}

OverlayWindow::OverlayWindow(QScreen* screen) : QWidget(nullptr, overlayFlags), screen_(screen) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Orbel Lite break overlay"));
    const QRect frame = screen ? screen->geometry() : QRect();
    if (screen) {
        setScreen(screen);
    }
    setGeometry(frame);

    blur_ = new BlurView(this);
    blur_->setGeometry(0, 0, frame.width(), frame.height());
    auto* tint = new TintView(blur_);
    tint->setObjectName(QStringLiteral("tint"));
    tint->setGeometry(blur_->rect());
    makeCard(blur_, frame.size());
}

void OverlayWindow::setBackdrop(Backdrop backdrop, const QPixmap& copy, QPoint at) {
    backdrop_ = backdrop;
    copy_ = copy;
    copyAt_ = at;
    prepared_ = true;
    blur_->setFadesWindow(backdrop == Backdrop::CompositorBlur);
    if (backdrop != Backdrop::SolidCopy) {
        clearMask();
    }
    update();
}

void OverlayWindow::dropBackdrop() {
    copy_ = QPixmap();
    prepared_ = false;
}

void OverlayWindow::setShape(double level, std::int64_t stage) {
    if (backdrop_ != Backdrop::SolidCopy) {
        return;
    }
    const QRegion region = solidRegion(size(), level, stage);
    if (region != mask()) {
        setMask(region);
    }
}

void OverlayWindow::paintCopy(QPainter& painter, bool fallback) const {
    if (!copy_.isNull()) {
        painter.drawPixmap(copyAt_, copy_);
    } else if (fallback) {
        painter.fillRect(rect(), QColor(0x30, 0x30, 0x30));
    }
}

void OverlayWindow::paintEvent(QPaintEvent* /*event*/) {
    // Without a compositor every pixel of the window must be opaque, or it shows black: the
    // window itself paints the copy beneath the fading blur view.
    if (backdrop_ == Backdrop::SolidCopy) {
        QPainter painter(this);
        paintCopy(painter, true);
    }
}

} // namespace orbel
