#include "overlay/x11/screen_picture.h"

#include "overlay/blur.h"
#include "overlay/x11/xcb_support.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>
#include <xcb/render.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace orbel {

using overlay_xcb::ReplyPtr;

namespace {

// How far the picture is scaled down: three halvings.
constexpr int shrinkSteps = 3;
constexpr int shrinkFactor = 1 << shrinkSteps;

xcb_render_fixed_t fixed(double v) {
    return static_cast<xcb_render_fixed_t>(std::lround(v * 65536));
}

// A transform that maps a destination pixel p to the source point scale * p - offset.
xcb_render_transform_t scaling(double scale, QPoint offset = {}) {
    return {fixed(scale), 0, fixed(-offset.x()), 0, fixed(scale), fixed(-offset.y()), 0, 0, fixed(1)};
}

void setScaling(xcb_connection_t* c, xcb_render_picture_t picture, double scale, QPoint offset = {}) {
    xcb_render_set_picture_transform(c, picture, scaling(scale, offset));
    constexpr std::string_view bilinear = "bilinear";
    xcb_render_set_picture_filter(c, picture, static_cast<std::uint16_t>(bilinear.size()), bilinear.data(), 0, nullptr);
}

int ceilDiv(int a, int b) {
    return (a + b - 1) / b;
}

bool matches(const xcb_render_directformat_t& d) {
    return d.alpha_mask == 0xff && d.alpha_shift == 24 && d.red_mask == 0xff && d.red_shift == 16 &&
           d.green_mask == 0xff && d.green_shift == 8 && d.blue_mask == 0xff && d.blue_shift == 0;
}

} // namespace

RenderFormats RenderFormats::query(xcb_connection_t* c) {
    RenderFormats f;
    const ReplyPtr reply(xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr));
    if (!reply) {
        return f;
    }
    const xcb_render_pictforminfo_t* infos = xcb_render_query_pict_formats_formats(reply.p);
    const int count = xcb_render_query_pict_formats_formats_length(reply.p);
    for (int i = 0; i < count; ++i) {
        const auto& info = infos[i];
        if (info.type != XCB_RENDER_PICT_TYPE_DIRECT) {
            continue;
        }
        if (info.depth == 32 && matches(info.direct)) {
            f.argb = info.id;
        }
        f.byDepth.emplace(info.depth, info.id);
    }
    if (f.argb != 0) {
        f.byDepth[32] = f.argb;
    }
    for (auto screens = xcb_render_query_pict_formats_screens_iterator(reply.p); screens.rem;
         xcb_render_pictscreen_next(&screens)) {
        for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem;
             xcb_render_pictdepth_next(&depths)) {
            const xcb_render_pictvisual_t* visuals = xcb_render_pictdepth_visuals(depths.data);
            const int n = xcb_render_pictdepth_visuals_length(depths.data);
            for (int i = 0; i < n; ++i) {
                f.byVisual.emplace(visuals[i].visual, visuals[i].format);
            }
        }
    }
    return f;
}

// Each root's 32-bit visual with an alpha channel in RENDER's terms.
std::unordered_map<std::uint32_t, RootInfo> rootInfos(xcb_connection_t* c, const RenderFormats& formats) {
    std::unordered_map<std::uint32_t, RootInfo> out;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem; xcb_screen_next(&screens)) {
        RootInfo info;
        info.depth = screens.data->root_depth;
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths)) {
            if (depths.data->depth != 32) {
                continue;
            }
            for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem && info.visual == 0; xcb_visualtype_next(&v)) {
                const auto format = formats.byVisual.find(v.data->visual_id);
                if (v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && format != formats.byVisual.end() &&
                    format->second == formats.argb) {
                    info.visual = v.data->visual_id;
                }
            }
        }
        out.emplace(screens.data->root, info);
    }
    return out;
}

ScreenPicture::ScreenPicture(xcb_connection_t* c, const RenderFormats& formats, std::uint32_t root,
                             std::uint32_t visual, std::uint32_t colormap, QRect screen)
    : c_(c), formats_(formats), root_(root), screen_(screen) {
    window_ = xcb_generate_id(c_);
    // Transparent until painted, bypassing the window manager like the overlay window above it.
    const std::array<std::uint32_t, 5> values{0, 0, 1, XCB_EVENT_MASK_EXPOSURE, colormap};
    xcb_create_window(c_, 32, window_, root_, static_cast<std::int16_t>(screen.x()),
                      static_cast<std::int16_t>(screen.y()), static_cast<std::uint16_t>(screen.width()),
                      static_cast<std::uint16_t>(screen.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK |
                          XCB_CW_COLORMAP,
                      values.data());
    // No input region: clicks go to the windows beneath, as they do through the overlay.
    xcb_shape_rectangles(c_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, window_, 0, 0, 0,
                         nullptr);
    constexpr std::string_view title = "Orbel Lite break backdrop";
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(title.size()), title.data());
    windowPicture_ = xcb_generate_id(c_);
    xcb_render_create_picture(c_, windowPicture_, window_, formats_.argb, 0, nullptr);

    const QSize size = screen.size();
    half_ = makeSurface({ceilDiv(size.width(), 2), ceilDiv(size.height(), 2)});
    quarter_ = makeSurface({ceilDiv(size.width(), 4), ceilDiv(size.height(), 4)});
    eighth_ = makeSurface({ceilDiv(size.width(), shrinkFactor), ceilDiv(size.height(), shrinkFactor)});
    blurred_ = makeSurface(eighth_.size);
    gc_ = xcb_generate_id(c_);
    xcb_create_gc(c_, gc_, blurred_.pixmap, 0, nullptr);
    // The small pictures are scaled from once set up; pad repeats their edge pixels, so the
    // screen's borders do not fade into transparency.
    const std::uint32_t pad = XCB_RENDER_REPEAT_PAD;
    for (const Surface* s : {&half_, &quarter_, &blurred_}) {
        xcb_render_change_picture(c_, s->picture, XCB_RENDER_CP_REPEAT, &pad);
        setScaling(c_, s->picture, s == &blurred_ ? 1.0 / shrinkFactor : 2.0);
    }
}

ScreenPicture::~ScreenPicture() {
    for (Surface* s : {&half_, &quarter_, &eighth_, &blurred_}) {
        freeSurface(*s);
    }
    xcb_free_gc(c_, gc_);
    xcb_render_free_picture(c_, windowPicture_);
    xcb_destroy_window(c_, window_);
    xcb_flush(c_);
}

ScreenPicture::Surface ScreenPicture::makeSurface(QSize size) {
    Surface s{xcb_generate_id(c_), xcb_generate_id(c_), size};
    xcb_create_pixmap(c_, 32, s.pixmap, root_, static_cast<std::uint16_t>(size.width()),
                      static_cast<std::uint16_t>(size.height()));
    xcb_render_create_picture(c_, s.picture, s.pixmap, formats_.argb, 0, nullptr);
    return s;
}

void ScreenPicture::freeSurface(Surface& s) {
    xcb_render_free_picture(c_, s.picture);
    xcb_free_pixmap(c_, s.pixmap);
    s = {};
}

void ScreenPicture::compose(std::span<const PictureLayer> layers, std::uint32_t background,
                            std::uint32_t backgroundFormat) {
    drawBackground(background, backgroundFormat);
    for (const PictureLayer& layer : layers) {
        composePictureLayer(layer);
    }
    shrink(half_, quarter_);
    shrink(quarter_, eighth_);
    readBack();
    if (!small_.isNull()) {
        soften(small_);
        putBack();
    }
}

void ScreenPicture::drawBackground(std::uint32_t background, std::uint32_t format) {
    const xcb_render_color_t grey{0x8080, 0x8080, 0x8080, 0xffff};
    const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(half_.size.width()),
                              static_cast<std::uint16_t>(half_.size.height())};
    xcb_render_fill_rectangles(c_, XCB_RENDER_PICT_OP_SRC, half_.picture, grey, 1, &all);
    if (background == 0 || format == 0) {
        return;
    }
    // A pixmap that went away meanwhile only makes these requests fail; the grey stays.
    const xcb_render_picture_t picture = xcb_generate_id(c_);
    const std::uint32_t repeat = XCB_RENDER_REPEAT_NORMAL; // as the server tiles a root background
    xcb_render_create_picture(c_, picture, background, format, XCB_RENDER_CP_REPEAT, &repeat);
    setScaling(c_, picture, 2.0, -screen_.topLeft());
    xcb_render_composite(c_, XCB_RENDER_PICT_OP_SRC, picture, XCB_NONE, half_.picture, 0, 0, 0, 0, 0, 0, all.width,
                         all.height);
    xcb_render_free_picture(c_, picture);
}

void ScreenPicture::composePictureLayer(const PictureLayer& layer) {
    const QRect on = layer.rect.intersected(screen_);
    if (on.isEmpty() || layer.format == 0) {
        return;
    }
    // A picture of a redirected window reads its off-screen contents, children included, so
    // what the overlay covers still shows here.
    const xcb_render_picture_t picture = xcb_generate_id(c_);
    const std::uint32_t inferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    xcb_render_create_picture(c_, picture, layer.window, layer.format, XCB_RENDER_CP_SUBWINDOW_MODE, &inferiors);
    setScaling(c_, picture, 2.0, layer.rect.topLeft() - screen_.topLeft());
    const QPoint from = on.topLeft() - screen_.topLeft();
    const QPoint to = on.bottomRight() - screen_.topLeft() + QPoint(1, 1);
    const int x0 = from.x() / 2;
    const int y0 = from.y() / 2;
    const int x1 = std::min(ceilDiv(to.x(), 2), half_.size.width());
    const int y1 = std::min(ceilDiv(to.y(), 2), half_.size.height());
    // The same source and destination origin: the transform alone maps one to the other.
    xcb_render_composite(c_, XCB_RENDER_PICT_OP_OVER, picture, XCB_NONE, half_.picture, static_cast<std::int16_t>(x0),
                         static_cast<std::int16_t>(y0), 0, 0, static_cast<std::int16_t>(x0),
                         static_cast<std::int16_t>(y0), static_cast<std::uint16_t>(x1 - x0),
                         static_cast<std::uint16_t>(y1 - y0));
    xcb_render_free_picture(c_, picture);
}

void ScreenPicture::shrink(const Surface& from, const Surface& to) {
    xcb_render_composite(c_, XCB_RENDER_PICT_OP_SRC, from.picture, XCB_NONE, to.picture, 0, 0, 0, 0, 0, 0,
                         static_cast<std::uint16_t>(to.size.width()), static_cast<std::uint16_t>(to.size.height()));
}

void ScreenPicture::readBack() {
    const QSize size = eighth_.size;
    const auto cookie =
        xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, eighth_.pixmap, 0, 0, static_cast<std::uint16_t>(size.width()),
                      static_cast<std::uint16_t>(size.height()), ~0u);
    const ReplyPtr reply(xcb_get_image_reply(c_, cookie, nullptr));
    const auto stride = static_cast<std::size_t>(size.width()) * 4;
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply.p)) < stride * size.height()) {
        small_ = QImage();
        return;
    }
    if (small_.size() != size) {
        small_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    }
    // The server's byte order is the host's (LivePicture checks), so pixels come as QImage's.
    const std::uint8_t* data = xcb_get_image_data(reply.p);
    for (int y = 0; y < size.height(); ++y) {
        std::memcpy(small_.scanLine(y), data + stride * static_cast<std::size_t>(y), stride);
    }
}

void ScreenPicture::putBack() {
    const QSize size = small_.size();
    const auto stride = static_cast<std::size_t>(size.width()) * 4;
    // Requests are limited in length (in 4-byte units); big screens go in bands of lines.
    const std::size_t maxBytes = static_cast<std::size_t>(xcb_get_maximum_request_length(c_)) * 4 - 64;
    const int band = std::max(1, static_cast<int>(maxBytes / stride));
    for (int y = 0; y < size.height(); y += band) {
        const int lines = std::min(band, size.height() - y);
        xcb_put_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, blurred_.pixmap, gc_, static_cast<std::uint16_t>(size.width()),
                      static_cast<std::uint16_t>(lines), 0, static_cast<std::int16_t>(y), 0, 32,
                      static_cast<std::uint32_t>(stride * static_cast<std::size_t>(lines)), small_.constScanLine(y));
    }
}

void ScreenPicture::paint(double strength) {
    if (small_.isNull()) {
        return;
    }
    const auto alpha = static_cast<std::uint16_t>(std::lround(std::clamp(strength, 0.0, 1.0) * 0xffff));
    const xcb_render_picture_t mask = xcb_generate_id(c_);
    xcb_render_create_solid_fill(c_, mask, {0, 0, 0, alpha});
    xcb_render_composite(c_, XCB_RENDER_PICT_OP_SRC, blurred_.picture, mask, windowPicture_, 0, 0, 0, 0, 0, 0,
                         static_cast<std::uint16_t>(screen_.width()), static_cast<std::uint16_t>(screen_.height()));
    xcb_render_free_picture(c_, mask);
    xcb_flush(c_);
}

} // namespace orbel
