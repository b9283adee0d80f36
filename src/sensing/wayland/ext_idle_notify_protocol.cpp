// The ext-idle-notify-v1 interface tables that wayland-scanner writes as C, built as C++: the
// header's extern "C" declarations give the definitions below C linkage.
#include "ext-idle-notify-v1-client-protocol.h"

extern "C" {
#include "ext-idle-notify-v1-protocol.c" // NOLINT(bugprone-suspicious-include): generated tables, built once here
}
