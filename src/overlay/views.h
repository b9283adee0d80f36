#pragma once

#include "overlay/effect.h"

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <cstdint>

class QLabel;

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

    // The opacity the view and its children are drawn with: the blur's, or 1 while the whole
    // window fades instead.
    [[nodiscard]] double fade() const { return fade_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void apply();

    double opacity_ = 1;
    bool fadesWindow_ = false;
    double fade_ = 1;
    double windowOpacity_ = 1; // last value handed to the window, to skip repeating it each tick
};

// The black tint over the blurred copy; its "opacity" property is the tint's strength. Behind
// the card's text it darkens further by a soft-edged scrim, so the text reads over any screen.
class TintView final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity)

public:
    explicit TintView(QWidget* parent);

    [[nodiscard]] double opacity() const { return opacity_; }
    void setOpacity(double opacity);

    // The extra darkening behind the card's text: area (view coordinates) at alpha, as drawn
    // (the fade does not scale it), fading out beyond it. An empty area or an alpha of 0 paints
    // none.
    void setScrim(QRect area, double alpha);
    [[nodiscard]] QRect scrimArea() const { return scrimArea_; }
    [[nodiscard]] double scrimAlpha() const { return scrimAlpha_; }

    // The blur view's opacity, which scales the tint's.
    void setFade(double fade);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double opacity_ = 1;
    double fade_ = 1;
    QRect scrimArea_;
    double scrimAlpha_ = 0;
};

// Where the text of the card label lies, in the coordinates of the label's parent: the lines
// as the label wraps them, not the label's whole frame. Empty when the card shows no text.
QRect cardTextArea(const QLabel& card);

// One overlay window: frameless, above other windows, transparent for input, never focused,
// covering the screen it was built for. Its content is a BlurView with a "tint" TintView and a
// "card" QLabel as children, in that order.
class OverlayWindow final : public QWidget {
    Q_OBJECT

public:
    explicit OverlayWindow(QScreen* screen);

    [[nodiscard]] BlurView* blurView() const { return blur_; }
    [[nodiscard]] QScreen* builtFor() const { return screen_; }

    // How the window shows the blurred screen. Keeps the window's copy when the backdrop
    // stays the same.
    void setBackdrop(Backdrop backdrop);
    [[nodiscard]] Backdrop backdrop() const { return backdrop_; }
    // Whether the backdrop was set up since the window was last taken down.
    [[nodiscard]] bool prepared() const { return prepared_; }

    // The blurred copy of the window's screen (null when the grab gave nothing), taken while
    // the window was hidden; at is where its top-left corner lies in window coordinates.
    void setCopy(const QPixmap& copy, QPoint at);
    [[nodiscard]] const QPixmap& copy() const { return copy_; }
    [[nodiscard]] QPoint copyAt() const { return copyAt_; }
    // Whether a copy was taken (or tried) since the window was last taken down.
    [[nodiscard]] bool copyTaken() const { return copyTaken_; }
    // Whether the copy is painted at all; a frozen copy is only painted where nothing live
    // shows through it.
    void setCopyShown(bool shown);
    [[nodiscard]] bool copyShown() const { return copyShown_; }

    // Whether the compositor was last asked to blur behind the window. Outlives the window's
    // hiding, as the request does.
    void setBlurBehind(bool on) { blurBehind_ = on; }
    [[nodiscard]] bool blurBehind() const { return blurBehind_; }

    // Forgets the backdrop and the copy while the window is hidden; the next appearance sets
    // them up afresh.
    void dropBackdrop();

    // Without a compositor, limits the window to the part that may be drawn opaquely, less
    // clear (window coordinates): the tray and panels stay visible.
    void setShape(double level, std::int64_t stage, const QRegion& clear);

    // Paints the copy where it belongs, or where none is shown and fallback is set, the plain
    // frame colour.
    void paintCopy(QPainter& painter, bool fallback) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void redraw();

    QPointer<QScreen> screen_;
    Backdrop backdrop_ = Backdrop::BlurredCopy;
    QPixmap copy_;
    QPoint copyAt_;
    bool prepared_ = false;
    bool copyTaken_ = false;
    bool copyShown_ = false;
    bool blurBehind_ = false;
    BlurView* blur_ = nullptr;
};

} // namespace orbel
