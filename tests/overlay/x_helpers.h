#pragma once

#include "x_session.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orbel {

// Queries on the test's own X connection (the application's), for what the user would see.
std::uint32_t rootWindow();
std::uint32_t atom(const std::string& name);
bool selectionOwned(const std::string& name);
// The value of a 32-bit property, or nothing when the window does not carry it.
std::optional<std::vector<std::uint32_t>> property32(std::uint32_t window, const std::string& name);
void setRootProperty32(const std::string& name, const std::vector<std::uint32_t>& value);
void deleteRootProperty(const std::string& name);
// The root window's children, bottom first, and the child that holds a given window.
std::vector<std::uint32_t> stackingOrder();
std::uint32_t frameOf(std::uint32_t window);
bool isAbove(std::uint32_t upper, std::uint32_t lower);
bool isViewable(std::uint32_t window);

// A compositing manager (picom) that owns _NET_WM_CM_S0 once this returns; stopped with it.
Child startCompositor();
// A window manager (openbox) that has announced itself on the root window.
Child startWindowManager();

QImage screenshot();
// Polls screenshots until one satisfies done and equals the one before (the compositor has
// finished painting); the last screenshot is left in shot either way.
bool waitForScreen(const std::function<bool(const QImage&)>& done, QImage& shot, int ms = 10000);
int grey(const QImage& image, int x, int y);

} // namespace orbel
