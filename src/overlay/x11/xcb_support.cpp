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

std::vector<TopLevel> topLevels(xcb_connection_t* c, std::uint32_t root) {
    const ReplyPtr tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.p);
    const auto n = static_cast<std::size_t>(xcb_query_tree_children_length(tree.p));
    std::vector<xcb_get_window_attributes_cookie_t> attrCookies(n);
    std::vector<xcb_get_geometry_cookie_t> geomCookies(n);
    for (std::size_t i = 0; i < n; ++i) {
        attrCookies[i] = xcb_get_window_attributes(c, children[i]);
        geomCookies[i] = xcb_get_geometry(c, children[i]);
    }
    std::vector<TopLevel> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ReplyPtr attrs(xcb_get_window_attributes_reply(c, attrCookies[i], nullptr));
        const ReplyPtr geom(xcb_get_geometry_reply(c, geomCookies[i], nullptr));
        TopLevel& w = out[i];
        w.id = children[i];
        w.known = attrs && geom;
        if (!w.known) {
            continue;
        }
        w.viewable = attrs->map_state == XCB_MAP_STATE_VIEWABLE;
        w.inputOutput = attrs->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
        w.overrideRedirect = attrs->override_redirect != 0;
        w.visual = attrs->visual;
        w.x = geom->x;
        w.y = geom->y;
        w.width = geom->width;
        w.height = geom->height;
        w.border = geom->border_width;
    }
    return out;
}

} // namespace orbel::overlay_xcb
