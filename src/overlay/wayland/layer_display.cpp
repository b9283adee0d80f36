#include "overlay/wayland/layer_display.h"

#include "blur-client-protocol.h"
#include "overlay/wayland/layer_shell_protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <wayland-client.h>

namespace orbel {
namespace {

bool offered(std::span<const std::string> globals, std::string_view iface) {
    return std::find(globals.begin(), globals.end(), iface) != globals.end();
}

double steadyNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

LayerOutput* owner(void* data) {
    return static_cast<LayerOutput*>(data);
}

} // namespace

bool layerShellFits(std::string_view desktop, std::span<const std::string> globals) {
    if (desktop.find("GNOME") != std::string_view::npos) {
        return false;
    }
    return offered(globals, "zwlr_layer_shell_v1") && offered(globals, "zxdg_output_manager_v1") &&
           offered(globals, "wl_compositor") && offered(globals, "wl_shm");
}

std::unique_ptr<LayerDisplay> LayerDisplay::open(const std::string& desktop, double timeoutSec) {
    static const wl_registry_listener listener{&LayerDisplay::global, &LayerDisplay::globalRemove};
    std::unique_ptr<LayerDisplay> d(new LayerDisplay);
    d->display_ = wl_display_connect(nullptr);
    if (!d->display_) {
        return nullptr;
    }
    d->registry_ = wl_display_get_registry(d->display_);
    wl_registry_add_listener(d->registry_, &listener, d.get());
    if (!d->roundtrip(timeoutSec)) {
        return nullptr;
    }
    std::vector<std::string> names;
    for (const Global& g : d->globals_) {
        names.push_back(g.iface);
    }
    if (!layerShellFits(desktop, names)) {
        return nullptr;
    }
    d->binding_ = true;
    for (const Global& g : std::vector<Global>(d->globals_)) {
        d->bindGlobal(g.name, g.iface, g.version);
    }
    // The outputs tell their places before the overlay first shows.
    if (!d->shell_ || !d->roundtrip(timeoutSec)) {
        return nullptr;
    }
    d->notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(d->display_), QSocketNotifier::Read);
    QObject::connect(d->notifier_.get(), &QSocketNotifier::activated, [raw = d.get()] { raw->readEvents(); });
    return d;
}

LayerDisplay::~LayerDisplay() {
    notifier_.reset();
    for (const auto& o : outputs_) {
        if (o->xdg) zxdg_output_v1_destroy(o->xdg);
        wl_output_destroy(o->output);
    }
    if (outputManager_) zxdg_output_manager_v1_destroy(outputManager_);
    if (shell_) zwlr_layer_shell_v1_destroy(shell_);
    if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
    if (blur_) org_kde_kwin_blur_manager_destroy(blur_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
}

void LayerDisplay::global(void* self, wl_registry* /*reg*/, std::uint32_t name, const char* iface,
                          std::uint32_t version) {
    auto* d = static_cast<LayerDisplay*>(self);
    d->globals_.push_back({name, iface, version});
    if (d->binding_) {
        d->bindGlobal(name, iface, version);
    }
}

void LayerDisplay::globalRemove(void* self, wl_registry* /*reg*/, std::uint32_t name) {
    auto* d = static_cast<LayerDisplay*>(self);
    std::erase_if(d->globals_, [&](const Global& g) { return g.name == name; });
    if (d->blur_ && name == d->blurName_) {
        // KWin's blur effect was unloaded. The manager has no request to say goodbye with; the
        // surfaces' blur objects stay theirs to release.
        org_kde_kwin_blur_manager_destroy(d->blur_);
        d->blur_ = nullptr;
        return;
    }
    const auto gone =
        std::find_if(d->outputs_.begin(), d->outputs_.end(), [&](const auto& o) { return o->name == name; });
    if (gone == d->outputs_.end()) {
        return;
    }
    // Taken out of the list first, so whoever hears of the change no longer finds it.
    std::unique_ptr<LayerOutput> output = std::move(*gone);
    d->outputs_.erase(gone);
    d->changed();
    if (output->xdg) zxdg_output_v1_destroy(output->xdg);
    wl_output_destroy(output->output);
}

void LayerDisplay::bindGlobal(std::uint32_t name, std::string_view iface, std::uint32_t version) {
    const auto bind = [&](const wl_interface* i, std::uint32_t most) {
        return wl_registry_bind(registry_, name, i, std::min(version, most));
    };
    if (iface == wl_compositor_interface.name && !compositor_) {
        compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (iface == wl_shm_interface.name && !shm_) {
        shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (iface == zwlr_layer_shell_v1_interface.name && !shell_) {
        shell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
    } else if (iface == zwlr_screencopy_manager_v1_interface.name && !screencopy_) {
        screencopy_ = static_cast<zwlr_screencopy_manager_v1*>(bind(&zwlr_screencopy_manager_v1_interface, 1));
    } else if (iface == org_kde_kwin_blur_manager_interface.name && !blur_) {
        blur_ = static_cast<org_kde_kwin_blur_manager*>(bind(&org_kde_kwin_blur_manager_interface, 1));
        blurName_ = name;
    } else if (iface == zxdg_output_manager_v1_interface.name && !outputManager_) {
        outputManager_ = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
        for (const auto& o : outputs_) { // outputs announced before the manager
            if (!o->xdg) addOutput(o->name, 0);
        }
    } else if (iface == wl_output_interface.name) {
        addOutput(name, version);
    }
}

void LayerDisplay::addOutput(std::uint32_t name, std::uint32_t version) {
    static const wl_output_listener outputListener{
        [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, const char*,
           const char*, std::int32_t) {},                                                  // geometry
        [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}, // mode
        [](void* data, wl_output*) { static_cast<LayerDisplay*>(data)->changed(); },       // done
        [](void* data, wl_output* o, std::int32_t factor) {                                // scale
            auto* d = static_cast<LayerDisplay*>(data);
            for (const auto& out : d->outputs_) {
                if (out->output == o) out->scale = std::max(1, factor);
            }
        },
        nullptr, // name (version 4, not asked for)
        nullptr, // description
    };
    static const zxdg_output_v1_listener xdgListener{
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) { owner(data)->rect.moveTo(x, y); },
        [](void* data, zxdg_output_v1*, std::int32_t w, std::int32_t h) {
            owner(data)->rect.setSize({w, h});
        },
        [](void*, zxdg_output_v1*) {}, // done: wl_output's done follows every change as well
        [](void*, zxdg_output_v1*, const char*) {},
        [](void*, zxdg_output_v1*, const char*) {},
    };
    auto known = std::find_if(outputs_.begin(), outputs_.end(), [&](const auto& o) { return o->name == name; });
    if (known == outputs_.end()) {
        auto o = std::make_unique<LayerOutput>();
        o->name = name;
        // Version 2 brings the scale and the done event.
        o->output =
            static_cast<wl_output*>(wl_registry_bind(registry_, name, &wl_output_interface, std::min(version, 2u)));
        wl_output_add_listener(o->output, &outputListener, this);
        outputs_.push_back(std::move(o));
        known = outputs_.end() - 1;
    }
    LayerOutput& o = **known;
    if (outputManager_ && !o.xdg) {
        o.xdg = zxdg_output_manager_v1_get_xdg_output(outputManager_, o.output);
        zxdg_output_v1_add_listener(o.xdg, &xdgListener, &o);
    }
}

const LayerOutput* LayerDisplay::output(std::uint32_t name) const {
    const auto o = std::find_if(outputs_.begin(), outputs_.end(), [&](const auto& out) { return out->name == name; });
    return o == outputs_.end() ? nullptr : o->get();
}

void LayerDisplay::changed() {
    if (outputsChanged) outputsChanged();
}

bool LayerDisplay::roundtrip(double timeoutSec) {
    static const wl_callback_listener done{
        [](void* flag, wl_callback*, std::uint32_t) { *static_cast<bool*>(flag) = true; }};
    bool finished = false;
    wl_callback* cb = wl_display_sync(display_);
    wl_callback_add_listener(cb, &done, &finished);
    const bool answered = waitFor([&] { return finished; }, timeoutSec);
    wl_callback_destroy(cb);
    return answered;
}

bool LayerDisplay::waitFor(const std::function<bool()>& done, double timeoutSec) {
    const double deadline = steadyNow() + timeoutSec;
    while (!done() && alive_) {
        const int leftMs = static_cast<int>((deadline - steadyNow()) * 1000);
        if (leftMs <= 0) break;
        while (wl_display_prepare_read(display_) != 0) {
            wl_display_dispatch_pending(display_);
        }
        wl_display_flush(display_);
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        if (::poll(&fd, 1, leftMs) <= 0) {
            wl_display_cancel_read(display_);
            continue;
        }
        alive_ = wl_display_read_events(display_) >= 0 && wl_display_dispatch_pending(display_) >= 0;
    }
    return done();
}

void LayerDisplay::readEvents() {
    // The notifier says the socket is readable, so reading does not block.
    while (wl_display_prepare_read(display_) != 0) {
        wl_display_dispatch_pending(display_);
    }
    alive_ = wl_display_read_events(display_) >= 0 && wl_display_dispatch_pending(display_) >= 0;
    if (!alive_) {
        // The compositor went away; what is left of the session ends with it.
        notifier_->setEnabled(false);
        return;
    }
    flush();
}

void LayerDisplay::flush() {
    if (alive_ && wl_display_flush(display_) < 0 && errno != EAGAIN) {
        alive_ = false;
    }
}

} // namespace orbel
