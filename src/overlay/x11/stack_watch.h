#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace orbel {

// Tells whether the stack of top-level windows may have changed since it was last read: any
// window mapped, unmapped, moved, restacked, made or destroyed on a watched X screen, other than
// the overlay's own. Reading the whole stack costs several round trips to the server; at a tick
// where nothing changed it can be skipped. Listens on a connection of its own, so the
// application's event handling never sees these events.
class StackWatch {
public:
    // Null when no connection to the server can be made.
    static std::unique_ptr<StackWatch> open();
    ~StackWatch();
    StackWatch(const StackWatch&) = delete;
    StackWatch& operator=(const StackWatch&) = delete;

    // Starts watching root (again a no-op once watched).
    void watch(std::uint32_t root);
    // The overlay's own windows, whose changes the overlay makes itself.
    void setOwn(std::span<const std::uint32_t> own);
    // True when something changed since the last call (and at the first), then resets.
    bool takeChanged();

private:
    struct State;
    explicit StackWatch(std::unique_ptr<State> state);
    std::unique_ptr<State> s_;
};

} // namespace orbel
