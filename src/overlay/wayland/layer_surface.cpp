#include "overlay/wayland/layer_surface.h"

#include "blur-client-protocol.h"
#include "overlay/wayland/layer_display.h"
#include "overlay/wayland/layer_shell_protocol.h"

#include <algorithm>
#include <climits>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace orbel {

LayerSurface::LayerSurface(LayerDisplay& display, wl_output* output, std::function<void()> changed)
    : display_(display), changed_(std::move(changed)) {
    static const zwlr_layer_surface_v1_listener listener{
        [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t w, std::uint32_t h) {
            auto* self = static_cast<LayerSurface*>(data);
            zwlr_layer_surface_v1_ack_configure(layer, serial);
            self->size_ = QSize(static_cast<int>(w), static_cast<int>(h));
            self->changed_();
        },
        [](void* data, zwlr_layer_surface_v1*) {
            auto* self = static_cast<LayerSurface*>(data);
            self->closed_ = true;
            self->changed_();
        },
    };
    surface_ = wl_compositor_create_surface(display.compositor());
    wl_region* nothing = wl_compositor_create_region(display.compositor());
    wl_surface_set_input_region(surface_, nothing);
    wl_region_destroy(nothing);
    layer_ = zwlr_layer_shell_v1_get_layer_surface(display.shell(), surface_, output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                   "orbel-lite-overlay");
    zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
    zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                 ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                 ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(layer_, 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    // The first commit carries no buffer; the compositor answers with the size.
    wl_surface_commit(surface_);
}

LayerSurface::~LayerSurface() {
    if (blur_) org_kde_kwin_blur_release(blur_);
    zwlr_layer_surface_v1_destroy(layer_);
    wl_surface_destroy(surface_);
    // A buffer may go while the compositor still holds it: it keeps its own mapping of the
    // memory for as long as it needs it.
    for (auto& b : buffers_) {
        b.reset();
    }
}

void LayerSurface::setBlur(bool on) {
    org_kde_kwin_blur_manager* manager = display_.blur();
    if (on && !blur_ && manager) {
        blur_ = org_kde_kwin_blur_manager_create(manager, surface_);
        org_kde_kwin_blur_set_region(blur_, nullptr); // the whole surface
        org_kde_kwin_blur_commit(blur_);
    } else if (!on && blur_) {
        if (manager) org_kde_kwin_blur_manager_unset(manager, surface_);
        org_kde_kwin_blur_release(blur_);
        blur_ = nullptr;
    }
}

LayerSurface::Buffer::~Buffer() {
    if (buffer) wl_buffer_destroy(buffer);
    if (data) ::munmap(data, bytes);
}

std::unique_ptr<LayerSurface::Buffer> LayerSurface::makeBuffer(QSize pixels) {
    static const wl_buffer_listener release{[](void* data, wl_buffer*) {
        auto* b = static_cast<Buffer*>(data);
        b->busy = false;
        b->owner->released();
    }};
    const int stride = pixels.width() * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(pixels.height());
    if (bytes == 0 || bytes > INT_MAX) {
        return nullptr;
    }
    const int fd = ::memfd_create("orbel-lite-overlay", MFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    auto b = std::make_unique<Buffer>();
    b->owner = this;
    b->pixels = pixels;
    if (::ftruncate(fd, static_cast<off_t>(bytes)) == 0) {
        void* data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data != MAP_FAILED) {
            b->data = data;
            b->bytes = bytes;
            wl_shm_pool* pool = wl_shm_create_pool(display_.shm(), fd, static_cast<std::int32_t>(bytes));
            // Premultiplied ARGB in native byte order, as QImage keeps it.
            b->buffer =
                wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride, WL_SHM_FORMAT_ARGB8888);
            wl_shm_pool_destroy(pool);
            wl_buffer_add_listener(b->buffer, &release, b.get());
        }
    }
    ::close(fd);
    return b->buffer ? std::move(b) : nullptr;
}

void LayerSurface::released() {
    if (waiting_) {
        waiting_ = false;
        changed_();
    }
}

void LayerSurface::trim() {
    for (auto& b : buffers_) {
        if (b && !b->busy) {
            b.reset();
        }
    }
}

LayerSurface::Buffer* LayerSurface::freeBuffer(QSize pixels) {
    for (auto& b : buffers_) {
        if (b && !b->busy && b->pixels == pixels) {
            return b.get();
        }
    }
    // A second buffer is made only when the first is still held; one of the wrong size is
    // made again.
    for (auto& b : buffers_) {
        if (!b || !b->busy) {
            b = makeBuffer(pixels);
            return b.get();
        }
    }
    return nullptr;
}

bool LayerSurface::draw(int scale, const std::function<void(QImage&)>& paint) {
    if (size_.isEmpty() || closed_) {
        return false;
    }
    Buffer* b = freeBuffer(size_ * scale);
    if (!b) {
        waiting_ = std::any_of(buffers_.begin(), buffers_.end(), [](const auto& held) { return held && held->busy; });
        return false;
    }
    QImage image(static_cast<uchar*>(b->data), b->pixels.width(), b->pixels.height(), qsizetype{4} * b->pixels.width(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    paint(image);
    wl_surface_set_buffer_scale(surface_, scale);
    wl_surface_attach(surface_, b->buffer, 0, 0);
    wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(surface_);
    b->busy = true;
    return true;
}

} // namespace orbel
