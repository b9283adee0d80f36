#pragma once

// wlroots' layer shell as wayland-scanner writes it for C. One of its requests names an
// argument "namespace", which C++ reserves: the name is changed while the header is read.
#include <wayland-client.h>

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
