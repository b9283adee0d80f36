#pragma once

#include <QRect>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct org_kde_kwin_blur_manager;
struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace orbel {

// Whether the overlay shows on layer-shell surfaces of its own on this desktop: the compositor
// offers them (wlroots, KWin), with the outputs' places in the layout, and it is not GNOME,
// which offers no layer shell to ordinary clients. desktop is $XDG_CURRENT_DESKTOP; globals
// are the interfaces the compositor offers.
bool layerShellFits(std::string_view desktop, std::span<const std::string> globals);

// One output of the compositor.
struct LayerOutput {
    std::uint32_t name = 0; // the registry's name of its global
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    QRect rect; // its place and size in the layout, in logical pixels
    int scale = 1;
};

// The overlay's own connection to a compositor with a layer shell (wlroots, KWin). Its events are read and handled on the
// main thread, where the overlay draws, as they arrive (a socket notifier on the connection):
// the overlay's requests and the events they answer are few, and drawing from the widgets must
// happen on the main thread anyway, so a thread of its own would only add locking.
class LayerDisplay {
public:
    // Connected to $WAYLAND_DISPLAY with the globals the overlay needs, or null where it cannot
    // connect within timeoutSec or layerShellFits() says no.
    static std::unique_ptr<LayerDisplay> open(const std::string& desktop, double timeoutSec);
    ~LayerDisplay();
    LayerDisplay(const LayerDisplay&) = delete;
    LayerDisplay& operator=(const LayerDisplay&) = delete;

    [[nodiscard]] wl_compositor* compositor() const { return compositor_; }
    [[nodiscard]] wl_shm* shm() const { return shm_; }
    [[nodiscard]] zwlr_layer_shell_v1* shell() const { return shell_; }
    // wlroots' copies of an output; null where the compositor offers none.
    [[nodiscard]] zwlr_screencopy_manager_v1* screencopy() const { return screencopy_; }
    // KWin's blur behind surfaces; null while the compositor does not offer it (KWin offers
    // it only while its blur effect is loaded, which may change at any time).
    [[nodiscard]] org_kde_kwin_blur_manager* blur() const { return blur_; }
    [[nodiscard]] const std::vector<std::unique_ptr<LayerOutput>>& outputs() const { return outputs_; }
    [[nodiscard]] const LayerOutput* output(std::uint32_t name) const;

    // Called after an output came, went, moved or changed its scale.
    std::function<void()> outputsChanged;

    // Sends the requests made so far.
    void flush();
    // Sends the requests made so far and handles events until done() holds; false when it
    // does not within timeoutSec or the connection broke.
    [[nodiscard]] bool waitFor(const std::function<bool()>& done, double timeoutSec);
    // False once the connection broke (the compositor went away).
    [[nodiscard]] bool alive() const { return alive_; }

private:
    LayerDisplay() = default;
    static void global(void* self, wl_registry* reg, std::uint32_t name, const char* iface, std::uint32_t version);
    static void globalRemove(void* self, wl_registry* reg, std::uint32_t name);
    void bindGlobal(std::uint32_t name, std::string_view iface, std::uint32_t version);
    void addOutput(std::uint32_t name, std::uint32_t version);
    [[nodiscard]] bool roundtrip(double timeoutSec);
    void readEvents();
    void changed();

    struct Global {
        std::uint32_t name = 0;
        std::string iface;
        std::uint32_t version = 0;
    };
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<Global> globals_;
    bool binding_ = false; // globals are bound as they come, once the desktop was found fit
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* shell_ = nullptr;
    zwlr_screencopy_manager_v1* screencopy_ = nullptr;
    org_kde_kwin_blur_manager* blur_ = nullptr;
    std::uint32_t blurName_ = 0; // the registry's name of the blur manager's global
    zxdg_output_manager_v1* outputManager_ = nullptr;
    std::vector<std::unique_ptr<LayerOutput>> outputs_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool alive_ = true;
};

} // namespace orbel
