// The interface tables that wayland-scanner writes as C, built as C++: the headers' extern "C"
// declarations give the definitions below C linkage.
#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include "plasma-window-management-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

// NOLINTBEGIN(bugprone-suspicious-include): generated tables, built once here
extern "C" {
#include "ext-idle-notify-v1-protocol.c"
#include "idle-protocol.c"
#include "plasma-window-management-protocol.c"
#include "wlr-foreign-toplevel-management-unstable-v1-protocol.c"
}
// NOLINTEND(bugprone-suspicious-include)
