#pragma once

namespace orbel {

// The first argument that asks the running agent for something ("--status", "--pause",
// "--resume", "--override", "--settings", "--quit"), matched whole; null when there is none.
const char* controlSwitch(int argc, char** argv);

// Asks the running agent over the session bus. "--status" prints the lines of its latest tick;
// the others run the menu's command in the agent. With no agent running it says so on stderr
// and returns 1.
int runControl(int argc, char** argv, const char* sw);

} // namespace orbel
