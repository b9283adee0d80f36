#pragma once

#include "overlay/effect.h"

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <cstdint>

class QGraphicsOpacityEffect;

namespace orbel {

// The window's content: draws the blurred copy of the screen and carries the tint and the card
// as children. Its "opacity" property is the strength of the blur; it applies to the children
// as well, so what the user sees of the tint is the product of the two opacities.
class BlurView final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity)

public:
    explicit BlurView(QWidget* parent);

    [[nodiscard]] double opacity() const { return opacity_; }
    void setOpacity(double opacity);

    // When the compositor blurs behind the window, the blur can only be weakened through the
    // opacity of the whole window; otherwise the view fades itself and its children.
    void setFadesWindow(bool fadesWindow);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void apply();

    double opacity_ = 1;
    bool fadesWindow_ = false;
    double windowOpacity_ = 1; // last value handed to the window, to skip repeating it each tick
    QGraphicsOpacityEffect* effect_ = nullptr;
};

// The black tint over the blurred copy; its "opacity" property is the tint's strength.
class TintView final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity)

public:
    explicit TintView(QWidget* parent);

    [[nodiscard]] double opacity() const { return opacity_; }
    void setOpacity(double opacity);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double opacity_ = 1;
};

// One overlay window: frameless, above other windows, transparent for input, never focused,
// covering the screen it was built for. Its content is a BlurView with a "tint" TintView and a
// "card" QLabel as children, in that order.
class OverlayWindow final : public QWidget {
    Q_OBJECT

public:
    explicit OverlayWindow(QScreen* screen);

    [[nodiscard]] BlurView* blurView() const { return blur_; }
    [[nodiscard]] QScreen* builtFor() const { return screen_; }

    // How the window shows the blurred screen, and the blurred copy of its screen (null when
    // the backdrop needs none or the grab gave nothing). at is where the copy's top-left corner
    // lies in window coordinates.
    void setBackdrop(Backdrop backdrop, const QPixmap& copy, QPoint at);
    [[nodiscard]] Backdrop backdrop() const { return backdrop_; }
    [[nodiscard]] const QPixmap& copy() const { return copy_; }
    [[nodiscard]] QPoint copyAt() const { return copyAt_; }

    // Whether the backdrop was set up since the window was last taken down.
    [[nodiscard]] bool prepared() const { return prepared_; }
    // Forgets the copy while the window is hidden; the next appearance takes a fresh one.
    void dropBackdrop();

    // Without a compositor, limits the window to the part that may be drawn opaquely.
    void setShape(double level, std::int64_t stage);

    // Paints the copy where it belongs, or a dark grey where no copy could be taken.
    void paintCopy(QPainter& painter, bool fallback) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QScreen> screen_;
    Backdrop backdrop_ = Backdrop::BlurredCopy;
    QPixmap copy_;
    QPoint copyAt_;
    bool prepared_ = false;
    BlurView* blur_ = nullptr;
};

} // namespace orbel
