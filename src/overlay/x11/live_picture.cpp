#include "overlay/x11/live_picture.h"

#include "overlay/x11/screen_picture.h"
#include "overlay/x11/xcb_support.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>
#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/render.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace orbel {

using overlay_xcb::internAtom;
using overlay_xcb::ReplyPtr;
using overlay_xcb::TopLevel;
using overlay_xcb::topLevels;

namespace {

// Changes below are drawn at most this often: a few pictures a second follow scrolling text
// closely enough under a blur, at a small cost.
constexpr int refreshMs = 250;

using Event = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;

// One top-level window of a root, as the scan found it.
struct Entry {
    std::uint32_t id = 0;
    bool usable = false; // mapped, drawable, with a known format
    QRect rect;
    std::uint32_t format = 0;
};

struct Scan {
    std::vector<Entry> entries; // bottom first
    std::uint32_t background = 0;
};

struct Target {
    std::uint32_t overlay = 0;
    std::unique_ptr<ScreenPicture> picture;
    double strength = -1;
    bool dirty = true;
};

} // namespace

struct LivePicture::State {
    xcb_connection_t* c = nullptr;
    RenderFormats formats;
    std::uint8_t damageEvent = 0;
    std::uint32_t rootPixmapAtom = 0; // _XROOTPMAP_ID: the desktop's background pixmap
    std::unordered_map<std::uint32_t, RootInfo> roots;
    std::vector<Target> targets;
    std::unordered_map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> damages; // window: damage, root
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer timer;
    QElapsedTimer sinceRefresh;
    std::uint64_t updates = 0;

    ~State() {
        notifier.reset();
        targets.clear();
        for (const auto& [window, damage] : damages) {
            xcb_damage_destroy(c, damage.first);
        }
        for (const auto& [root, info] : roots) {
            if (info.colormap != 0) {
                xcb_free_colormap(c, info.colormap);
            }
        }
        xcb_disconnect(c);
    }

    [[nodiscard]] bool isOwn(std::uint32_t window) const {
        return std::any_of(targets.begin(), targets.end(), [&](const Target& t) {
            return t.overlay == window || (t.picture && t.picture->window() == window);
        });
    }

    void watch(std::uint32_t root, bool on) {
        const std::uint32_t mask = on ? XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE : 0;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    }

    void dirty(std::uint32_t root, QRect area = {}) {
        for (Target& t : targets) {
            if (t.picture && t.picture->root() == root && (area.isNull() || area.intersects(t.picture->screen()))) {
                t.dirty = true;
            }
        }
    }

    void handle(const xcb_generic_event_t* e);
    void drain(bool read);
    void schedule();
    void refresh();
    Scan scan(std::uint32_t root);
    std::vector<PictureLayer> layersBelow(const Scan& scan, const Target& target);
    bool addTarget(std::uint32_t overlay);
};

void LivePicture::State::handle(const xcb_generic_event_t* e) {
    const std::uint8_t type = e->response_type & 0x7f;
    // Errors (type 0) come from windows that vanished while being read: nothing to do.
    if (type == damageEvent + XCB_DAMAGE_NOTIFY) {
        const auto* d = reinterpret_cast<const xcb_damage_notify_event_t*>(e);
        if (const auto it = damages.find(d->drawable); it != damages.end()) {
            dirty(it->second.second,
                  QRect(d->geometry.x + d->area.x, d->geometry.y + d->area.y, d->area.width, d->area.height));
        }
    } else if (type == XCB_EXPOSE) {
        const auto* x = reinterpret_cast<const xcb_expose_event_t*>(e);
        for (Target& t : targets) {
            if (t.picture && t.picture->window() == x->window && x->count == 0) {
                t.picture->paint(t.strength);
            }
        }
    } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
        if (p->atom == rootPixmapAtom) {
            dirty(p->window);
        }
    } else if (type == XCB_MAP_NOTIFY || type == XCB_UNMAP_NOTIFY || type == XCB_CONFIGURE_NOTIFY ||
               type == XCB_DESTROY_NOTIFY || type == XCB_REPARENT_NOTIFY || type == XCB_CIRCULATE_NOTIFY ||
               type == XCB_GRAVITY_NOTIFY) {
        // These events all begin with the window whose substructure changed, then the window.
        const auto* s = reinterpret_cast<const xcb_unmap_notify_event_t*>(e);
        if (type == XCB_DESTROY_NOTIFY) {
            damages.erase(s->window); // the server freed its damage with it
        }
        if (!isOwn(s->window)) {
            dirty(s->event);
        }
    }
}

void LivePicture::State::drain(bool read) {
    while (true) {
        Event e(read ? xcb_poll_for_event(c) : xcb_poll_for_queued_event(c), &std::free);
        if (!e) {
            break;
        }
        handle(e.get());
    }
}

void LivePicture::State::schedule() {
    const bool wanted = std::any_of(targets.begin(), targets.end(), [](const Target& t) { return t.dirty; });
    if (wanted && !timer.isActive()) {
        const qint64 wait = sinceRefresh.isValid() ? refreshMs - sinceRefresh.elapsed() : 0;
        timer.start(static_cast<int>(std::clamp<qint64>(wait, 0, refreshMs)));
    }
}

Scan LivePicture::State::scan(std::uint32_t root) {
    Scan out;
    // The background's request goes out with the stack's, in the same round trips.
    const auto bgCookie = xcb_get_property(c, 0, root, rootPixmapAtom, XCB_ATOM_PIXMAP, 0, 1);
    const std::vector<TopLevel> windows = topLevels(c, root);
    const ReplyPtr bg(xcb_get_property_reply(c, bgCookie, nullptr));
    if (bg && bg->format == 32 && xcb_get_property_value_length(bg.p) >= 4) {
        out.background = *static_cast<const std::uint32_t*>(xcb_get_property_value(bg.p));
    }
    out.entries.resize(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const TopLevel& w = windows[i];
        Entry& entry = out.entries[i];
        entry.id = w.id;
        if (!w.known || !w.viewable || !w.inputOutput) {
            continue;
        }
        const auto format = formats.byVisual.find(w.visual);
        entry.format = format == formats.byVisual.end() ? 0 : format->second;
        entry.rect = QRect(w.x + w.border, w.y + w.border, w.width, w.height);
        entry.usable = entry.format != 0;
    }
    return out;
}

std::vector<PictureLayer> LivePicture::State::layersBelow(const Scan& scan, const Target& target) {
    std::vector<PictureLayer> layers;
    for (const Entry& e : scan.entries) {
        if (e.id == target.overlay) {
            break; // what lies above the overlay window shows by itself
        }
        if (!e.usable || isOwn(e.id) || !e.rect.intersects(target.picture->screen())) {
            continue;
        }
        layers.push_back({e.id, e.rect, e.format});
        if (!damages.contains(e.id)) {
            const std::uint32_t damage = xcb_generate_id(c);
            xcb_damage_create(c, damage, e.id, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
            damages.emplace(e.id, std::make_pair(damage, target.picture->root()));
        }
    }
    return layers;
}

void LivePicture::State::refresh() {
    drain(true);
    // Damage reported from here on is news for the next picture.
    for (const auto& [window, damage] : damages) {
        xcb_damage_subtract(c, damage.first, XCB_NONE, XCB_NONE);
    }
    std::unordered_map<std::uint32_t, Scan> scans;
    for (Target& t : targets) {
        if (!t.dirty || !t.picture) {
            continue;
        }
        const std::uint32_t root = t.picture->root();
        if (!scans.contains(root)) {
            scans.emplace(root, scan(root));
        }
        const Scan& s = scans.at(root);
        const std::vector<PictureLayer> layers = layersBelow(s, t);
        const auto bgFormat = formats.byDepth.find(roots.at(root).depth);
        t.picture->compose(layers, s.background, bgFormat == formats.byDepth.end() ? 0 : bgFormat->second);
        if (t.strength >= 0) {
            t.picture->paint(t.strength);
        }
        t.dirty = false;
        ++updates;
    }
    xcb_flush(c);
    sinceRefresh.restart();
    drain(false);
    schedule();
}

bool LivePicture::State::addTarget(std::uint32_t overlay) {
    const ReplyPtr geom(xcb_get_geometry_reply(c, xcb_get_geometry(c, overlay), nullptr));
    if (!geom) {
        return false;
    }
    const auto info = roots.find(geom->root);
    if (info == roots.end() || info->second.visual == 0) {
        return false;
    }
    if (info->second.colormap == 0) {
        info->second.colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, info->second.colormap, geom->root, info->second.visual);
    }
    const bool watched =
        std::any_of(targets.begin(), targets.end(), [&](const Target& t) { return t.picture->root() == geom->root; });
    if (!watched) {
        watch(geom->root, true);
    }
    const QRect screen(geom->x + geom->border_width, geom->y + geom->border_width, geom->width, geom->height);
    Target t;
    t.overlay = overlay;
    t.picture =
        std::make_unique<ScreenPicture>(c, formats, geom->root, info->second.visual, info->second.colormap, screen);
    targets.push_back(std::move(t));
    return true;
}

namespace {

bool extensionsUsable(xcb_connection_t* c) {
    const auto render = xcb_render_query_version(c, 0, 11);
    const auto damage = xcb_damage_query_version(c, 1, 1);
    const auto fixes = xcb_xfixes_query_version(c, 5, 0);
    const auto composite = xcb_composite_query_version(c, 0, 4);
    const auto shape = xcb_shape_query_version(c);
    const ReplyPtr r(xcb_render_query_version_reply(c, render, nullptr));
    const ReplyPtr d(xcb_damage_query_version_reply(c, damage, nullptr));
    const ReplyPtr f(xcb_xfixes_query_version_reply(c, fixes, nullptr));
    const ReplyPtr k(xcb_composite_query_version_reply(c, composite, nullptr));
    const ReplyPtr s(xcb_shape_query_version_reply(c, shape, nullptr));
    // Solid fills and padded edges came with RENDER 0.10, input shapes with SHAPE 1.1.
    return r && (r->major_version > 0 || r->minor_version >= 10) && d && f && k && s &&
           (s->major_version > 1 || s->minor_version >= 1);
}

} // namespace

std::unique_ptr<LivePicture> LivePicture::open() {
    auto s = std::make_unique<State>();
    s->c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(s->c) || !extensionsUsable(s->c)) {
        return nullptr;
    }
    // Pixels are copied straight into a QImage, so the server must order bytes as this host.
    const bool bigEndian = QSysInfo::ByteOrder == QSysInfo::BigEndian;
    if ((xcb_get_setup(s->c)->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST) != bigEndian) {
        return nullptr;
    }
    s->formats = RenderFormats::query(s->c);
    if (s->formats.argb == 0) {
        return nullptr;
    }
    s->roots = rootInfos(s->c, s->formats);
    s->damageEvent = xcb_get_extension_data(s->c, &xcb_damage_id)->first_event;
    s->rootPixmapAtom = internAtom(s->c, "_XROOTPMAP_ID");
    return std::unique_ptr<LivePicture>(new LivePicture(std::move(s)));
}

LivePicture::LivePicture(std::unique_ptr<State> state) : s_(std::move(state)) {
    State& s = *s_;
    s.timer.setSingleShot(true);
    QObject::connect(&s.timer, &QTimer::timeout, [&s] { s.refresh(); });
    s.notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(s.c), QSocketNotifier::Read);
    QObject::connect(s.notifier.get(), &QSocketNotifier::activated, [&s] {
        if (xcb_connection_has_error(s.c)) {
            s.notifier->setEnabled(false); // the server is gone; the application goes with it
            return;
        }
        s.drain(true);
        s.schedule();
    });
}

LivePicture::~LivePicture() = default;

void LivePicture::show(std::span<const std::uint32_t> overlays, double strength) {
    State& s = *s_;
    std::erase_if(s.targets, [&](const Target& t) {
        return std::find(overlays.begin(), overlays.end(), t.overlay) == overlays.end();
    });
    bool added = false;
    for (const std::uint32_t id : overlays) {
        if (!has(id)) {
            added = s.addTarget(id) || added;
        }
    }
    if (added) {
        s.refresh(); // the first picture is there when the window appears
    }
    for (Target& t : s.targets) {
        // Steps below what eight bits of alpha can show are not worth a repaint.
        if (std::abs(strength - t.strength) >= 1.0 / 512) {
            t.strength = strength;
            t.picture->paint(strength);
        }
    }
    xcb_flush(s.c);
    s.drain(false);
    s.schedule();
}

void LivePicture::hide() {
    State& s = *s_;
    s.timer.stop();
    std::vector<std::uint32_t> roots;
    for (const Target& t : s.targets) {
        roots.push_back(t.picture->root());
    }
    s.targets.clear();
    for (const std::uint32_t root : roots) {
        s.watch(root, false);
    }
    for (const auto& [window, damage] : s.damages) {
        xcb_damage_destroy(s.c, damage.first);
    }
    s.damages.clear();
    xcb_flush(s.c);
}

bool LivePicture::has(std::uint32_t overlay) const {
    return std::any_of(s_->targets.begin(), s_->targets.end(), [&](const Target& t) { return t.overlay == overlay; });
}

std::uint32_t LivePicture::windowUnder(std::uint32_t overlay) const {
    for (const Target& t : s_->targets) {
        if (t.overlay == overlay) {
            return t.picture->window();
        }
    }
    return 0;
}

std::uint64_t LivePicture::updates() const {
    return s_->updates;
}

} // namespace orbel
