#include "overlay/wayland/screen_copy.h"

#include "overlay/wayland/layer_display.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <climits>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace orbel {
namespace {

// One copy in progress: what the compositor said about it, and the memory it goes into.
struct Frame {
    std::uint32_t format = 0;
    QSize size;
    int stride = 0;
    bool described = false;
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

const zwlr_screencopy_frame_v1_listener frameListener{
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t w, std::uint32_t h,
       std::uint32_t stride) {
        auto* f = static_cast<Frame*>(data);
        f->format = format;
        f->size = QSize(static_cast<int>(w), static_cast<int>(h));
        f->stride = static_cast<int>(stride);
        f->described = true;
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
        static_cast<Frame*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
    },
    [](void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
        static_cast<Frame*>(data)->ready = true;
    },
    [](void* data, zwlr_screencopy_frame_v1*) { static_cast<Frame*>(data)->failed = true; },
    nullptr, // damage, linux_dmabuf, buffer_done: later versions, not asked for
    nullptr,
    nullptr,
};

// The shm formats an output is copied in, as QImage reads them in memory.
QImage::Format imageFormat(std::uint32_t format) {
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
        return QImage::Format_RGB32;
    case WL_SHM_FORMAT_ARGB8888:
        return QImage::Format_ARGB32;
    case WL_SHM_FORMAT_XBGR8888:
        return QImage::Format_RGBX8888;
    case WL_SHM_FORMAT_ABGR8888:
        return QImage::Format_RGBA8888;
    default:
        return QImage::Format_Invalid;
    }
}

// Copies into shared memory of the size the compositor asked for; the picture as QImage.
QImage copyInto(LayerDisplay& display, zwlr_screencopy_frame_v1* handle, Frame& frame, double timeoutSec) {
    const QImage::Format format = imageFormat(frame.format);
    const long long bytes = static_cast<long long>(frame.stride) * frame.size.height();
    if (format == QImage::Format_Invalid || frame.size.isEmpty() || bytes <= 0 || bytes > INT_MAX ||
        frame.stride < frame.size.width() * 4) {
        return {};
    }
    const int fd = ::memfd_create("orbel-lite-copy", MFD_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    const auto length = static_cast<std::size_t>(bytes);
    void* data = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0
                     ? ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                     : MAP_FAILED;
    QImage copy;
    if (data != MAP_FAILED) {
        wl_shm_pool* pool = wl_shm_create_pool(display.shm(), fd, static_cast<std::int32_t>(bytes));
        wl_buffer* buffer =
            wl_shm_pool_create_buffer(pool, 0, frame.size.width(), frame.size.height(), frame.stride, frame.format);
        wl_shm_pool_destroy(pool);
        zwlr_screencopy_frame_v1_copy(handle, buffer);
        if (display.waitFor([&] { return frame.ready || frame.failed; }, timeoutSec) && frame.ready) {
            // A deep copy (a conversion to the format it already has would not make one): the
            // shared memory goes below.
            copy =
                QImage(static_cast<const uchar*>(data), frame.size.width(), frame.size.height(), frame.stride, format)
                    .convertToFormat(QImage::Format_RGB32)
                    .copy();
            if (frame.yInverted) {
                copy = copy.mirrored(false, true);
            }
        }
        wl_buffer_destroy(buffer);
        ::munmap(data, length);
    }
    ::close(fd);
    return copy;
}

} // namespace

QImage copyOutput(LayerDisplay& display, const LayerOutput& output, double timeoutSec) {
    if (!display.screencopy() || !display.alive()) {
        return {};
    }
    Frame frame;
    // The pointer is left out: it moves on, the copy would keep it where it was.
    zwlr_screencopy_frame_v1* handle =
        zwlr_screencopy_manager_v1_capture_output(display.screencopy(), 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(handle, &frameListener, &frame);
    QImage copy;
    if (display.waitFor([&] { return frame.described || frame.failed; }, timeoutSec) && !frame.failed) {
        copy = copyInto(display, handle, frame, timeoutSec);
    }
    zwlr_screencopy_frame_v1_destroy(handle);
    display.flush();
    return copy;
}

} // namespace orbel
