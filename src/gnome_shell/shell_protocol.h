#pragma once

#include <QVariantMap>
#include <string>

namespace orbel {

// The revision of the extension's interface this agent speaks: the calls it makes and the keys
// it sends were all there in this revision.
inline constexpr unsigned shellRevision = 1;

// What the agent makes of the extension on the bus.
enum class ShellFit {
    Usable,     // its revision is this agent's or a later one that still takes this agent's calls
    Missing,    // nothing owns its name: not installed, not enabled, or the shell is restarting
    TooOld,     // an earlier revision: the shell still runs the extension of a previous install
    TooNew,     // a later revision that no longer takes this agent's calls
    Unreadable, // it answered, but not with a revision
};

// Judges the extension by its properties (Version and Compatible, both unsigned): usable when
// its revision is at least this agent's and it still takes callers of this agent's revision.
ShellFit judgeShell(const QVariantMap& properties);

// One plain sentence for the user when the extension cannot be used, saying what to do; empty
// when it is usable.
std::string shellAdvice(ShellFit fit);

} // namespace orbel
