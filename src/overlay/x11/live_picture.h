#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace orbel {

// Blurred pictures of the windows beneath the overlay windows on an X server with a
// compositing manager, one per overlay window, each in a window of its own that the caller
// stacks directly beneath that overlay window. Runs on a connection of its own: the damage
// and structure events it follows stay out of the application's event handling, and the
// errors that come when a window vanishes mid-way stay quiet.
class LivePicture {
public:
    // Null when the server lacks what a live picture needs (RENDER 0.10, DAMAGE, XFIXES,
    // Composite, SHAPE, a 32-bit visual) or cannot be reached.
    static std::unique_ptr<LivePicture> open();
    ~LivePicture();
    LivePicture(const LivePicture&) = delete;
    LivePicture& operator=(const LivePicture&) = delete;

    // Gives each overlay window (by id) its picture at strength (0 to 1), composing it at once
    // for a window that had none, and forgets the pictures of windows not listed. The windows
    // beneath are followed from now on; changes below are drawn a few times a second at most.
    void show(std::span<const std::uint32_t> overlays, double strength);
    // Destroys every picture and stops following.
    void hide();

    [[nodiscard]] bool has(std::uint32_t overlay) const;
    // The window showing the picture for overlay, 0 when there is none.
    [[nodiscard]] std::uint32_t windowUnder(std::uint32_t overlay) const;
    // Pictures composed so far, counted over all screens.
    [[nodiscard]] std::uint64_t updates() const;

private:
    struct State;
    explicit LivePicture(std::unique_ptr<State> state);
    std::unique_ptr<State> s_;
};

} // namespace orbel
