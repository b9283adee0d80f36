#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <xcb/xcb.h>

namespace orbel {

// One X connection kept open for a backend's whole life. When the server goes away the link
// drops the connection and tries again at most once per retry period, so a dead display costs
// a failed connect now and then, never a stalled tick.
class XcbLink {
public:
    // display: an X display name; empty means $DISPLAY. onConnect runs after every successful
    // (re)connection, to intern atoms or check extensions; returning false rejects the server.
    XcbLink(std::string display, double retrySec, std::function<bool(XcbLink&)> onConnect = {});
    ~XcbLink();
    XcbLink(const XcbLink&) = delete;
    XcbLink& operator=(const XcbLink&) = delete;

    // The open connection, reconnecting when it broke and the retry period has passed; null
    // while there is none. Events the server sends unasked (MappingNotify reaches every
    // client, and so do errors of requests whose reply nobody waited for) are discarded here,
    // or they would pile up in the connection's queue for the life of the process.
    xcb_connection_t* connection();
    xcb_window_t root() const { return root_; }

    // Called by a backend whose request failed: checks the connection and drops it if broken.
    void checkHealth();

private:
    bool connect();
    void drop();

    std::string display_;
    double retrySec_ = 1;
    std::function<bool(XcbLink&)> onConnect_;
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    double nextTry_ = 0;
};

// A reply or error from xcb, freed with free() as xcb asks.
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using XcbPtr = std::unique_ptr<T, XcbFree>;

// The atom of a name, or XCB_ATOM_NONE when the server cannot tell.
xcb_atom_t internAtom(xcb_connection_t* conn, const std::string& name);

} // namespace orbel
