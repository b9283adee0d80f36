#include "overlay/overlay.h"

#include "overlay/blur.h"
#include "overlay/effect.h"
#include "overlay/layout.h"
#include "overlay/views.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <algorithm>

namespace orbel {

// Restacks at once when one of the kept windows comes up while the overlay is shown, instead
// of leaving it under the blur until the next tick. Where the overlay lies above every window
// and leaves the kept ones uncovered, the holes follow them as they move or go as well.
class Overlay::Keeper final : public QObject {
public:
    explicit Keeper(Overlay& overlay) : overlay_(overlay) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        const bool raises = type == QEvent::Show || type == QEvent::WindowActivate;
        const bool reshapes = type == QEvent::Move || type == QEvent::Resize || type == QEvent::Hide;
        if ((raises || (reshapes && overlay_.drawsWindows())) && overlay_.anyVisible()) {
            overlay_.raiseAll();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Overlay& overlay_;
};

Overlay::Overlay() : Overlay(nullptr) {}

Overlay::Overlay(std::unique_ptr<OverlayEffect> effect)
    : effect_(std::move(effect)), keeper_(std::make_unique<Keeper>(*this)) {}

Overlay::~Overlay() = default;

OverlayEffect& Overlay::effect() {
    // Chosen on first use: the application, and so its connection, must exist by then.
    if (!effect_) {
        effect_ = makeOverlayEffect();
    }
    return *effect_;
}

std::string_view Overlay::backendName() {
    return effect().name();
}

std::string Overlay::problem() {
    return effect().problem();
}

void Overlay::ensure() {
    const QList<QScreen*> screens = screenList ? screenList() : QGuiApplication::screens();
    if (wins.size() != static_cast<std::size_t>(screens.size())) {
        rebuild();
    }
}

void Overlay::rebuild() {
    // A screen that keeps its place keeps the copy its old window showed: grabbing it now
    // would catch the old window, which the compositor may not have taken off the screen yet.
    struct Carried {
        QRect frame;
        Backdrop backdrop;
        QPixmap copy;
        QPoint at;
        bool taken;
    };
    std::vector<Carried> carried;
    for (const auto& w : wins) {
        if (const auto* old = qobject_cast<OverlayWindow*>(w.get()); old && old->isVisible()) {
            carried.push_back({old->geometry(), old->backdrop(), old->copy(), old->copyAt(), old->copyTaken()});
        }
    }
    hideAll();
    wins.clear();

    const QList<QScreen*> screens = screenList ? screenList() : QGuiApplication::screens();
    for (QScreen* screen : screens) {
        auto win = std::make_unique<OverlayWindow>(screen);
        const auto same =
            std::find_if(carried.begin(), carried.end(), [&](const Carried& c) { return c.frame == win->geometry(); });
        if (same != carried.end()) {
            win->setBackdrop(same->backdrop);
            if (same->taken) {
                win->setCopy(same->copy, same->at);
            }
        }
        if (screen) {
            QObject::connect(screen, &QScreen::geometryChanged, win.get(), [this] { stale_ = true; });
        }
        wins.push_back(std::move(win));
    }
}

void Overlay::show(const Out& out, const QString& note) {
    if (!overlayShown(out)) {
        hideAll();
        return;
    }
    ensure();
    if (wins.empty()) {
        return;
    }
    const double blur = lerp(blurCurve, out.level);
    const double tint = lerp(tintCurve, out.level);
    const Backdrop now = effect().backdrop();
    const bool copyShown = copyPainted(now, blur, out.stage);
    if (!prepareBackdrops(now, copyShown)) {
        return;
    }
    const QRegion clear = now == Backdrop::SolidCopy ? effect().keepClear() : QRegion();
    const Look look{blur, tint, copyShown, blurBehindOn(now, blur), clear};
    for (const auto& w : wins) {
        if (auto* win = qobject_cast<OverlayWindow*>(w.get()); win && win->blurView()) {
            render(*win, cardText(out, note), out, look);
        } // without a content view the window is left as it is
    }
    raiseAll();
    if (now == Backdrop::LivePicture) {
        effect().showBeneath(shownWindows(), blur);
    }
}

void Overlay::render(OverlayWindow& win, const QString& text, const Out& out, const Look& look) {
    BlurView* view = win.blurView();
    view->setOpacity(look.blur);
    auto* card = qobject_cast<QLabel*>(view->findChild<QWidget*>(QStringLiteral("card"), Qt::FindDirectChildrenOnly));
    if (card) {
        card->setText(wrapCardText(text, card->fontMetrics(), card->contentsRect().width()));
    }
    if (auto* tintView = view->findChild<QWidget*>(QStringLiteral("tint"), Qt::FindDirectChildrenOnly)) {
        tintView->setProperty("opacity", look.tint);
        if (auto* scrimmed = qobject_cast<TintView*>(tintView)) {
            const bool fadesWindow = win.backdrop() == Backdrop::CompositorBlur;
            scrimmed->setScrim(card ? cardTextArea(*card) : QRect(), scrimAlpha(look.blur, look.tint, fadesWindow));
        }
    }
    win.setCopyShown(look.copyShown);
    if (win.blurBehind() != look.blurBehind) {
        win.setBlurBehind(look.blurBehind);
        effect().setBlurBehind(win, look.blurBehind);
    }
    win.setShape(out.level, out.stage, look.clear.translated(-win.geometry().topLeft()));
    if (!drawsWindows()) {
        win.show();
    }
}

bool Overlay::prepareBackdrops(Backdrop now, bool copyWanted) {
    const bool changed = std::any_of(wins.begin(), wins.end(), [&](const auto& w) {
        const auto* win = qobject_cast<OverlayWindow*>(w.get());
        return win && onScreen(*win) && win->backdrop() != now;
    });
    // A frozen copy is taken when it is first painted, so it shows the screen as it was just
    // before, not as it was when the overlay came up minutes earlier.
    const bool copyMissing = copyWanted && std::any_of(wins.begin(), wins.end(), [&](const auto& w) {
                                 const auto* win = qobject_cast<OverlayWindow*>(w.get());
                                 return win && onScreen(*win) && !win->copyTaken();
                             });
    if (anyVisible() && (changed || stale_ || copyMissing)) {
        // A compositor that went away would leave translucent windows black, and a changed
        // screen no longer matches its copy. Grabbing now would catch the overlay itself, so
        // the windows go down for this tick and come back with a clean copy at the next.
        hideAll();
        stale_ = false;
        return false;
    }
    stale_ = false;
    for (const auto& w : wins) {
        if (auto* win = qobject_cast<OverlayWindow*>(w.get()); win && !onScreen(*win)) {
            prepare(*win, now, copyWanted);
        }
    }
    return true;
}

void Overlay::prepare(OverlayWindow& win, Backdrop backdrop, bool copyWanted) {
    if (!win.prepared() || win.backdrop() != backdrop) {
        win.setBackdrop(backdrop);
    }
    if (copyWanted && !win.copyTaken() && win.builtFor()) {
        QScreen& screen = *win.builtFor();
        win.setCopy(backdropFrom(effect().copyScreen(screen)), screen.geometry().topLeft() - win.geometry().topLeft());
    }
}

bool Overlay::drawsWindows() const {
    return effect_ && effect_->drawsWindows();
}

bool Overlay::onScreen(const QWidget& win) const {
    return drawsWindows() ? effect_->presenting() : win.isVisible();
}

bool Overlay::anyVisible() const {
    if (drawsWindows()) {
        return effect_->presenting();
    }
    return std::any_of(wins.begin(), wins.end(), [](const auto& w) { return w && w->isVisible(); });
}

void Overlay::hideAll() {
    for (const auto& w : wins) {
        w->hide();
        if (auto* win = qobject_cast<OverlayWindow*>(w.get())) {
            win->dropBackdrop();
        }
    }
    if (effect_) {
        effect_->hideBeneath();
        effect_->withdraw();
    }
}

std::vector<QWidget*> Overlay::shownWindows() const {
    std::vector<QWidget*> shown;
    for (const auto& w : wins) {
        if (w->isVisible()) {
            shown.push_back(w.get());
        }
    }
    return shown;
}

void Overlay::raiseAll() {
    if (drawsWindows()) {
        std::vector<QWidget*> all;
        for (const auto& w : wins) {
            all.push_back(w.get());
        }
        effect().present(all, keptWindows());
        return;
    }
    const std::vector<QWidget*> shown = shownWindows();
    if (!shown.empty()) {
        const std::vector<QWidget*> kept = keptWindows();
        effect().raise(shown, kept);
    }
}

std::vector<QWidget*> Overlay::keptWindows() {
    std::erase_if(kept_, [](const QPointer<QWidget>& w) { return w.isNull(); });
    std::vector<QWidget*> out;
    for (const auto& w : kept_) {
        out.push_back(w->window());
    }
    for (QWidget* w : {QApplication::activeModalWidget(), QApplication::activePopupWidget()}) {
        if (w && std::find(out.begin(), out.end(), w->window()) == out.end()) {
            out.push_back(w->window());
        }
    }
    return out;
}

void Overlay::keepAbove(QWidget* window) {
    if (!window) {
        return;
    }
    QWidget* top = window->window();
    if (std::none_of(kept_.begin(), kept_.end(), [&](const QPointer<QWidget>& w) { return w == top; })) {
        kept_.emplace_back(top);
        top->installEventFilter(keeper_.get());
    }
}

} // namespace orbel
