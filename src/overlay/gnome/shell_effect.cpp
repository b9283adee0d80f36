#include "overlay/gnome/shell_effect.h"

#include "gnome_shell/shell_link.h"
#include "overlay/views.h"
#include "shell_proxy.h"

#include <QLabel>

namespace orbel {
namespace {

// What the overlay windows show at this tick; they all show the same.
ShellLook lookOf(std::span<QWidget* const> windows) {
    for (QWidget* w : windows) {
        auto* win = qobject_cast<OverlayWindow*>(w);
        BlurView* view = win ? win->blurView() : nullptr;
        if (!view) continue;
        const auto* tint = view->findChild<TintView*>(QStringLiteral("tint"), Qt::FindDirectChildrenOnly);
        const auto* card = view->findChild<QLabel*>(QStringLiteral("card"), Qt::FindDirectChildrenOnly);
        return shellLook(view->opacity(), tint ? tint->opacity() : 0, tint ? tint->scrimAlpha() : 0,
                         card ? card->text() : QString());
    }
    return {};
}

} // namespace

std::unique_ptr<GnomeShellEffect> GnomeShellEffect::create() {
    if (!gnomeDesktop() || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return nullptr;
    auto link = std::make_unique<ShellLink>(sessionBusAddress());
    if (!link->connected()) return nullptr;
    return std::make_unique<GnomeShellEffect>(std::move(link));
}

GnomeShellEffect::GnomeShellEffect(std::unique_ptr<ShellLink> link) : link_(std::move(link)) {
    // A new owner shows nothing of ours; an owner gone took what it showed with it.
    QObject::connect(link_.get(), &ShellLink::ready, link_.get(), [this] {
        sent_.reset();
        if (presenting_) send();
    });
    QObject::connect(link_.get(), &ShellLink::lost, link_.get(), [this] { sent_.reset(); });
}

GnomeShellEffect::~GnomeShellEffect() {
    withdraw();
}

Backdrop GnomeShellEffect::backdrop() {
    return link_->usable() ? Backdrop::ShellBlur : Backdrop::Nothing;
}

std::string GnomeShellEffect::problem() {
    if (link_->usable()) return {};
    return "Nothing darkens the screen during a break on GNOME's Wayland without Orbel Lite's GNOME Shell "
           "extension (any other overlay would take the clicks meant for the windows beneath it), and native "
           "call applications in front are not seen. " +
           shellAdvice(link_->fit());
}

void GnomeShellEffect::present(std::span<QWidget* const> windows, std::span<QWidget* const> /*kept*/) {
    // The extension keeps the agent's own windows above the overlay by itself.
    presenting_ = true;
    wanted_ = lookOf(windows);
    send();
}

void GnomeShellEffect::withdraw() {
    presenting_ = false;
    if (sent_ && link_->usable()) {
        link_->proxy()->HideOverlay();
        ++sends_;
    }
    sent_.reset();
}

void GnomeShellEffect::send() {
    if (!link_->usable()) return;
    const QVariantMap changes = lookChanges(sent_, wanted_);
    if (changes.isEmpty()) return;
    link_->proxy()->ShowOverlay(changes);
    sent_ = wanted_;
    ++sends_;
}

} // namespace orbel
