#pragma once

#include "overlay/effect.h"
#include "overlay/gnome/shell_look.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace orbel {

class ShellLink;

// The overlay on GNOME's Wayland, drawn by our GNOME Shell extension inside the shell: a live
// blur of everything beneath, the tint and the card on every monitor, above the top bar and
// every window, taking no input at all, with the agent's own windows above it. The overlay
// windows are never shown; each tick sends the extension what they would show, and only what
// changed since the last tick. Without the extension nothing is shown: an XWayland window
// would take the clicks meant for native windows beneath it, and a native one can be neither
// kept above other windows nor kept from taking the focus. The extension is followed across
// shell restarts and being turned off and on; when it comes back it gets the whole look again.
class GnomeShellEffect final : public SurfaceEffect {
public:
    // Null unless this is a GNOME session on Wayland with a session bus.
    static std::unique_ptr<GnomeShellEffect> create();

    explicit GnomeShellEffect(std::unique_ptr<ShellLink> link);
    ~GnomeShellEffect() override;
    GnomeShellEffect(const GnomeShellEffect&) = delete;
    GnomeShellEffect& operator=(const GnomeShellEffect&) = delete;

    [[nodiscard]] std::string_view name() const override { return "gnome-shell"; }
    [[nodiscard]] Backdrop backdrop() override;
    [[nodiscard]] std::string problem() override;

    void present(std::span<QWidget* const> windows, std::span<QWidget* const> kept) override;
    void withdraw() override;
    [[nodiscard]] bool presenting() const override { return presenting_; }

    // How many calls went to the extension, for benchmarks that check nothing is sent while
    // nothing changes.
    [[nodiscard]] std::uint64_t sends() const { return sends_; }

private:
    void send();

    std::unique_ptr<ShellLink> link_;
    ShellLook wanted_;
    std::optional<ShellLook> sent_; // what the extension shows of ours; empty: nothing
    bool presenting_ = false;
    std::uint64_t sends_ = 0;
};

} // namespace orbel
