// The interface tables that wayland-scanner writes as C, built as C++: the headers' extern "C"
// declarations give the definitions below C linkage.
#include "blur-client-protocol.h"
#include "overlay/wayland/layer_shell_protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

// NOLINTBEGIN(bugprone-suspicious-include): generated tables, built once here
extern "C" {
#include "blur-protocol.c"
#include "wlr-layer-shell-unstable-v1-protocol.c"
#include "wlr-screencopy-unstable-v1-protocol.c"
#include "xdg-output-unstable-v1-protocol.c"
#include "xdg-shell-protocol.c"
}
// NOLINTEND(bugprone-suspicious-include)
