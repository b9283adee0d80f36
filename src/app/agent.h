#pragma once

namespace orbel {

// Runs the desktop agent (or, with "--smoke", launches it once and reports). Returns the exit
// status.
int runAgent(int argc, char** argv);

} // namespace orbel
