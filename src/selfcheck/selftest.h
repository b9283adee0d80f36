#pragma once

namespace orbel {

// Plays a scripted day through the focus engine, prints a FAIL line for each failed check
// and one summary line on standard output, and returns 0 when everything passed, else 1.
// Touches neither the screen nor the disk.
int selftest();

} // namespace orbel
