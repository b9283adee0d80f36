#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

struct xcb_connection_t;

// In a namespace of their own: the sensing backends keep X helpers of the same names.
namespace orbel::overlay_xcb {

// Replies from xcb are malloc'ed; this frees them on every path.
template <typename Reply> struct ReplyPtr {
    Reply* p = nullptr;
    explicit ReplyPtr(Reply* r) : p(r) {}
    ReplyPtr(const ReplyPtr&) = delete;
    ReplyPtr& operator=(const ReplyPtr&) = delete;
    ReplyPtr(ReplyPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
    ReplyPtr& operator=(ReplyPtr&& other) noexcept {
        std::swap(p, other.p);
        return *this;
    }
    ~ReplyPtr() { std::free(p); }
    Reply* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// The atom of name on c, 0 when the server does not answer.
std::uint32_t internAtom(xcb_connection_t* c, const std::string& name);

// Whether the server offers the extension of this name (one round trip).
bool hasExtension(xcb_connection_t* c, const std::string& name);

// A top-level window of a screen, as its attributes and geometry were read.
struct TopLevel {
    std::uint32_t id = 0;
    bool known = false; // both answers came: the window may have gone since it was listed
    bool viewable = false;
    bool inputOutput = false;
    bool overrideRedirect = false;
    std::uint32_t visual = 0;
    int x = 0; // the outer corner, border included
    int y = 0;
    int width = 0; // inside the border
    int height = 0;
    int border = 0;
};

// The top-level windows under root, bottom first. Every request goes out before the first
// answer is read: two round trips for the whole stack.
std::vector<TopLevel> topLevels(xcb_connection_t* c, std::uint32_t root);

} // namespace orbel::overlay_xcb
