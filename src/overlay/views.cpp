#include "overlay/views.h"

#include "overlay/layout.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <algorithm>
#include <cmath>

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
    // 28 pixels, not points: three wrapped lines must fit the card's 120-pixel frame whatever
    // the screen's dots per inch (28 points are 37 pixels at 96 dpi).
    font.setPixelSize(28);
    font.setWeight(QFont::Medium);
    card->setFont(font);
    QPalette palette = card->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    card->setPalette(palette);
    card->setGeometry(cardFrame(screen));
    return card;
}

} // namespace

BlurView::BlurView(QWidget* parent) : QWidget(parent) {}

void BlurView::setOpacity(double opacity) {
    opacity_ = opacity;
    apply();
}

void BlurView::setFadesWindow(bool fadesWindow) {
    fadesWindow_ = fadesWindow;
    apply();
}

void BlurView::apply() {
    const double windowOpacity = fadesWindow_ ? opacity_ : 1.0;
    if (windowOpacity != windowOpacity_) {
        windowOpacity_ = windowOpacity;
        window()->setWindowOpacity(windowOpacity);
    }
    const double fade = fadesWindow_ ? 1.0 : opacity_;
    if (fade == fade_) {
        return;
    }
    fade_ = fade;
    // Each child draws itself at the view's opacity. A graphics effect would do the same for the
    // whole group, but through a screen-sized picture drawn and blended again at every change,
    // which costs more than all the rest of a tick.
    for (QObject* child : children()) {
        if (auto* tint = qobject_cast<TintView*>(child)) {
            tint->setFade(fade);
        } else if (auto* label = qobject_cast<QLabel*>(child)) {
            QPalette palette = label->palette();
            QColor text = palette.color(QPalette::WindowText);
            text.setAlphaF(static_cast<float>(fade));
            palette.setColor(QPalette::WindowText, text);
            label->setPalette(palette);
        }
    }
    update();
}

void BlurView::paintEvent(QPaintEvent* /*event*/) {
    if (const auto* win = qobject_cast<const OverlayWindow*>(window());
        win && win->backdrop() != Backdrop::CompositorBlur) {
        QPainter painter(this);
        painter.setOpacity(fade_);
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

void TintView::setFade(double fade) {
    if (fade != fade_) {
        fade_ = fade;
        update();
    }
}

void TintView::setScrim(QRect area, double alpha) {
    if (alpha <= 0) {
        area = QRect();
    }
    if (area != scrimArea_ || alpha != scrimAlpha_) {
        scrimArea_ = area;
        scrimAlpha_ = area.isEmpty() ? 0 : alpha;
        update();
    }
}

void TintView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setOpacity(opacity_ * fade_);
    painter.fillRect(rect(), Qt::black);
    if (scrimArea_.isEmpty() || scrimAlpha_ <= 0) {
        return;
    }
    // Layers of growing rounded rectangles: inside the area all of them add up to the scrim's
    // alpha; outward fewer overlap, so the darkening fades out instead of ending at an edge.
    constexpr int layers = 10;
    const int feather = std::max(16, scrimArea_.height() * 2 / 3);
    const double layerAlpha = 1 - std::pow(1 - std::min(scrimAlpha_, 0.999), 1.0 / layers);
    painter.setOpacity(layerAlpha);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (int i = 1; i <= layers; ++i) {
        const int grow = feather * i / layers;
        painter.drawRoundedRect(scrimArea_.adjusted(-grow, -grow, grow, grow), grow + 8, grow + 8);
    }
}

QRect cardTextArea(const QLabel& card) {
    if (card.text().isEmpty()) {
        return {};
    }
    const QRect inside = card.contentsRect();
    const int flags = static_cast<int>(card.alignment()) | (card.wordWrap() ? Qt::TextWordWrap : 0);
    return card.fontMetrics().boundingRect(inside, flags, card.text()).translated(card.pos());
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

void OverlayWindow::setBackdrop(Backdrop backdrop) {
    if (backdrop != backdrop_) {
        copy_ = QPixmap();
        copyTaken_ = false;
    }
    backdrop_ = backdrop;
    prepared_ = true;
    blur_->setFadesWindow(backdrop == Backdrop::CompositorBlur);
    if (backdrop != Backdrop::SolidCopy) {
        clearMask();
    }
    redraw();
}

void OverlayWindow::setCopy(const QPixmap& copy, QPoint at) {
    copy_ = copy;
    copyAt_ = at;
    copyTaken_ = true;
    redraw();
}

void OverlayWindow::setCopyShown(bool shown) {
    if (shown != copyShown_) {
        copyShown_ = shown;
        redraw();
    }
}

void OverlayWindow::redraw() {
    // The blur view draws the copy too, faded.
    update();
    blur_->update();
}

void OverlayWindow::dropBackdrop() {
    copy_ = QPixmap();
    prepared_ = false;
    copyTaken_ = false;
    copyShown_ = false;
}

void OverlayWindow::setShape(double level, std::int64_t stage, const QRegion& clear) {
    if (backdrop_ != Backdrop::SolidCopy) {
        return;
    }
    const QRegion region = solidRegion(size(), level, stage).subtracted(clear);
    if (region != mask()) {
        setMask(region);
    }
}

void OverlayWindow::paintCopy(QPainter& painter, bool fallback) const {
    if (copyShown_ && !copy_.isNull()) {
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
