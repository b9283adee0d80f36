#pragma once

namespace orbel {

// How the agent is started: by the user (with no switch), by the start-at-login entry, or once
// for "--smoke".
enum class Start { normal, login, smoke };

// Runs the desktop agent (or, for Start::smoke, launches it once and reports). While another agent
// runs in the session, a normal start opens that agent's settings window and a login start ends
// quietly. Returns the exit status.
int runAgent(int argc, char** argv, Start how);

} // namespace orbel
