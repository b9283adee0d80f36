#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <span>
#include <unordered_map>

struct xcb_connection_t;

namespace orbel {

// The RENDER picture formats of a connection, looked up once.
struct RenderFormats {
    std::uint32_t argb = 0;                                    // 32-bit premultiplied ARGB
    std::unordered_map<std::uint32_t, std::uint32_t> byVisual; // visual id to picture format
    std::unordered_map<std::uint32_t, std::uint32_t> byDepth;  // pixmap depth to a format of it

    // Null formats (argb 0) when the server answers nothing usable.
    static RenderFormats query(xcb_connection_t* c);
};

// What an X screen offers the picture windows.
struct RootInfo {
    std::uint32_t visual = 0;   // a 32-bit visual with alpha; 0 when the screen has none
    std::uint32_t colormap = 0; // made for that visual on first use
    std::uint8_t depth = 0;     // the root window's depth, that of its background pixmap
};

// Each root's RootInfo, by root window.
std::unordered_map<std::uint32_t, RootInfo> rootInfos(xcb_connection_t* c, const RenderFormats& formats);

// One window that goes into the picture: its inside in root coordinates and its format.
struct PictureLayer {
    std::uint32_t window = 0;
    QRect rect;
    std::uint32_t format = 0;
};

// The blurred picture of one screen. The windows beneath the overlay are composed on the X
// server at an eighth of the screen's size (in three halving steps, each an exact average of
// two by two pixels), only that small image is read back and blurred here, and the server
// scales it up again into a window of its own that lies just beneath the overlay window, made
// translucent by the blur's strength. The screen's full-size pixels never reach this process.
class ScreenPicture {
public:
    // A hidden, click-through window with an alpha channel over screen (root coordinates) on
    // root, of the 32-bit visual with colormap.
    ScreenPicture(xcb_connection_t* c, const RenderFormats& formats, std::uint32_t root, std::uint32_t visual,
                  std::uint32_t colormap, QRect screen);
    ~ScreenPicture();
    ScreenPicture(const ScreenPicture&) = delete;
    ScreenPicture& operator=(const ScreenPicture&) = delete;

    [[nodiscard]] std::uint32_t window() const { return window_; }
    [[nodiscard]] std::uint32_t root() const { return root_; }
    [[nodiscard]] QRect screen() const { return screen_; }
    // The last picture as read back and blurred, an eighth of the screen's size.
    [[nodiscard]] const QImage& small() const { return small_; }

    // Builds the picture from layers, bottom first, over the root's background pixmap (0 for
    // none: a neutral grey, as compositors show then) of the given format.
    void compose(std::span<const PictureLayer> layers, std::uint32_t background, std::uint32_t backgroundFormat);
    // Draws the picture into the window at strength (0 to 1); nothing before the first compose.
    void paint(double strength);

private:
    struct Surface {
        std::uint32_t pixmap = 0;
        std::uint32_t picture = 0;
        QSize size;
    };
    Surface makeSurface(QSize size);
    void freeSurface(Surface& s);
    void composePictureLayer(const PictureLayer& layer);
    void drawBackground(std::uint32_t background, std::uint32_t format);
    void shrink(const Surface& from, const Surface& to);
    void readBack();
    void putBack();

    xcb_connection_t* c_ = nullptr;
    const RenderFormats& formats_;
    std::uint32_t root_ = 0;
    QRect screen_;
    std::uint32_t window_ = 0;
    std::uint32_t windowPicture_ = 0;
    std::uint32_t gc_ = 0;
    Surface half_;
    Surface quarter_;
    Surface eighth_;
    Surface blurred_;
    QImage small_;
};

} // namespace orbel
