#include "overlay/x11/xcb_support.h"

#include <xcb/xcb.h>

namespace orbel::overlay_xcb {

std::uint32_t internAtom(xcb_connection_t* c, const std::string& name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    const ReplyPtr reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : 0;
}

bool hasExtension(xcb_connection_t* c, const std::string& name) {
    const auto cookie = xcb_query_extension(c, static_cast<std::uint16_t>(name.size()), name.c_str());
    const ReplyPtr reply(xcb_query_extension_reply(c, cookie, nullptr));
    return reply && reply->present;
}

} // namespace orbel::overlay_xcb
