#include "overlay/wayland/layer_effect.h"

#include "overlay/wayland/layer_display.h"
#include "overlay/wayland/layer_surface.h"
#include "overlay/wayland/picture.h"
#include "overlay/wayland/screen_copy.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace orbel {

// The surface over one output and the key of the picture it shows.
struct LayerShellEffect::Slot {
    std::uint32_t output = 0; // the output's registry name
    std::unique_ptr<LayerSurface> surface;
    PictureKey shown;
    bool drawn = false; // a picture was drawn since the last tick
    int restingTicks = 0;
};

std::unique_ptr<LayerShellEffect> LayerShellEffect::create() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return nullptr;
    }
    // A compositor that does not answer within this time is taken as none.
    constexpr double timeoutSec = 2;
    auto display = LayerDisplay::open(qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString(), timeoutSec);
    return display ? std::make_unique<LayerShellEffect>(std::move(display)) : nullptr;
}

LayerShellEffect::LayerShellEffect(std::unique_ptr<LayerDisplay> display) : display_(std::move(display)) {
    display_->outputsChanged = [this] {
        if (presenting_) {
            sync();
            display_->flush();
        }
    };
}

LayerShellEffect::~LayerShellEffect() {
    slots_.clear();
    display_->flush();
}

Backdrop LayerShellEffect::backdrop() {
    if (display_->blur()) {
        return Backdrop::CompositorBlur;
    }
    return display_->screencopy() ? Backdrop::BlurredCopy : Backdrop::DarkenOnly;
}

QPixmap LayerShellEffect::copyScreen(QScreen& screen) {
    // A compositor that takes longer than this leaves the overlay darkening alone.
    constexpr double timeoutSec = 1;
    for (const auto& o : display_->outputs()) {
        if (o->rect == screen.geometry()) {
            QPixmap copy = QPixmap::fromImage(copyOutput(*display_, *o, timeoutSec));
            copy.setDevicePixelRatio(o->scale);
            return copy;
        }
    }
    return {};
}

void LayerShellEffect::present(std::span<QWidget* const> windows, std::span<QWidget* const> kept) {
    presenting_ = true;
    windows_.assign(windows.begin(), windows.end());
    kept_.clear();
    for (QWidget* w : kept) {
        if (w->isVisible()) {
            kept_.push_back(w->frameGeometry());
        }
    }
    sync();
    // While the level creeps a picture is drawn at every tick, and the buffers take turns;
    // once it rests, the spare one goes.
    constexpr int restAfterTicks = 3;
    for (const auto& s : slots_) {
        s->restingTicks = s->drawn ? 0 : s->restingTicks + 1;
        s->drawn = false;
        if (s->restingTicks == restAfterTicks) {
            s->surface->trim();
        }
    }
    display_->flush();
}

void LayerShellEffect::withdraw() {
    // The surfaces go, not only their pictures: the agent spends most of its time without a
    // break, and neither the compositor nor the agent need keep screen-sized buffers for it.
    // Coming back costs one answer from the compositor.
    presenting_ = false;
    windows_.clear();
    if (!slots_.empty()) {
        slots_.clear();
        display_->flush();
    }
}

// One surface for every output, none for outputs gone or surfaces the compositor closed; then
// every surface shows what it should.
void LayerShellEffect::sync() {
    if (!display_->alive()) {
        return;
    }
    std::erase_if(slots_, [&](const auto& s) { return !display_->output(s->output) || s->surface->closed(); });
    for (const auto& o : display_->outputs()) {
        const bool covered =
            std::any_of(slots_.begin(), slots_.end(), [&](const auto& s) { return s->output == o->name; });
        if (!covered) {
            auto slot = std::make_unique<Slot>();
            slot->output = o->name;
            slot->surface =
                std::make_unique<LayerSurface>(*display_, o->output, [this, name = o->name] { surfaceChanged(name); });
            slots_.push_back(std::move(slot));
        }
    }
    for (const auto& s : slots_) {
        redraw(*s);
    }
}

void LayerShellEffect::surfaceChanged(std::uint32_t output) {
    // Called from the surface's own event: it is drawn again here, never destroyed.
    const auto slot = std::find_if(slots_.begin(), slots_.end(), [&](const auto& s) { return s->output == output; });
    if (slot != slots_.end() && presenting_) {
        redraw(**slot);
        display_->flush();
    }
}

void LayerShellEffect::redraw(Slot& slot) {
    const LayerOutput* output = display_->output(slot.output);
    const QSize size = slot.surface->size();
    if (!output || size.isEmpty()) {
        return;
    }
    std::vector<QWidget*> windows;
    for (const auto& w : windows_) {
        if (w) windows.push_back(w);
    }
    // Until the screens were counted again after an output came, it has no window to draw from.
    QWidget* window = windowFor(windows, output->rect);
    if (!window) {
        return;
    }
    const QRegion holes = holesFor(output->rect, kept_);
    PictureKey key = keyOf(*window, size, output->scale, holes);
    if (key == slot.shown) {
        return;
    }
    // The blur goes on and off with the picture's commit, never a frame apart from it.
    slot.surface->setBlur(key.blurBehind);
    if (slot.surface->draw(output->scale, [&](QImage& image) { paintPicture(*window, image, holes); })) {
        slot.shown = std::move(key);
        slot.drawn = true;
        ++draws_;
    }
}

} // namespace orbel
