#pragma once

#include <QImage>
#include <QSize>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>

struct wl_buffer;
struct wl_output;
struct org_kde_kwin_blur;
struct wl_surface;
struct zwlr_layer_surface_v1;

namespace orbel {

class LayerDisplay;

// One overlay surface over a whole output: in the compositor's top layer, anchored to all four
// edges at the output's size, over panels (no exclusive zone), never given the keyboard and
// with an empty input region, so every click and key goes to the windows beneath. It shows
// nothing until the compositor has configured it and a picture was drawn; destroying it takes
// it off the output.
class LayerSurface {
public:
    // changed is called when the compositor configured the surface (a new size), closed it,
    // or gave back a buffer that a draw() was waiting for.
    LayerSurface(LayerDisplay& display, wl_output* output, std::function<void()> changed);
    ~LayerSurface();
    LayerSurface(const LayerSurface&) = delete;
    LayerSurface& operator=(const LayerSurface&) = delete;

    // The size the compositor gave (logical pixels); empty until configured.
    [[nodiscard]] QSize size() const { return size_; }
    [[nodiscard]] bool closed() const { return closed_; }

    // Draws a picture of size() at scale through paint (into premultiplied ARGB memory shared
    // with the compositor) and shows it. Two buffers take turns, since the compositor may read
    // the last one until it gives it back: false, and changed() later, while both are held.
    bool draw(int scale, const std::function<void(QImage&)>& paint);

    // Asks the compositor to blur what lies behind the whole surface, or stops asking, from the
    // next picture drawn on. Asking needs the compositor's blur (LayerDisplay::blur()).
    void setBlur(bool on);
    [[nodiscard]] bool blurred() const { return blur_ != nullptr; }

    // Lets go of the buffers the compositor does not hold: for a picture that rests, so that
    // no spare screen-sized buffer waits for minutes beside it.
    void trim();

private:
    struct Buffer {
        LayerSurface* owner = nullptr;
        wl_buffer* buffer = nullptr;
        void* data = nullptr;
        std::size_t bytes = 0;
        QSize pixels;
        bool busy = false;
        ~Buffer();
    };
    Buffer* freeBuffer(QSize pixels);
    void released();
    std::unique_ptr<Buffer> makeBuffer(QSize pixels);

    LayerDisplay& display_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    org_kde_kwin_blur* blur_ = nullptr;
    std::function<void()> changed_;
    QSize size_;
    bool closed_ = false;
    bool waiting_ = false; // a draw() found both buffers held
    std::array<std::unique_ptr<Buffer>, 2> buffers_;
};

} // namespace orbel
