#pragma once

#include <string>

namespace orbel {

// Asks the running agent over the session bus. sw is one of "--status", "--pause", "--resume",
// "--override", "--settings", "--history-window" and "--quit": "--status" prints the lines of its
// latest tick; the others run the menu's command in the agent. With no agent running, or no
// session bus to ask it by, it says which on stderr and returns 1.
int runControl(int argc, char** argv, const char* sw);

// A second start while an agent runs (refusal says which lock it holds): opens or raises that
// agent's settings window, waiting a few seconds for an agent that is still starting to come on
// the bus. Returns 0 once it has asked; 1, with the reason on stderr, when it cannot reach it.
int activateAgent(int argc, char** argv, const std::string& refusal);

} // namespace orbel
