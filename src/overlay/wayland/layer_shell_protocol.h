#pragma once

// wlroots' layer shell as wayland-scanner writes it for C. One of its requests names an
// argument "namespace", which C++ reserves: the name is changed while the header is read.
#include <wayland-client.h>

#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
