#pragma once

namespace orbel {

// What one step of the engine counted, in seconds. The record of the day adds these up, so that
// its figures are the engine's own and need no clock of their own.
struct Counted {
    double workSec = 0;      // active time added to the block
    double overSec = 0;      // the part of it that lay past the block
    double pausedSec = 0;    // clock time a manual pause kept from counting
    double callSec = 0;      // clock time a call kept from counting
    bool blockEnded = false; // a block with time on it ended in a full break

    bool operator==(const Counted&) const = default;

    // Adds what another stretch of time counted.
    Counted& operator+=(const Counted& o) {
        workSec += o.workSec;
        overSec += o.overSec;
        pausedSec += o.pausedSec;
        callSec += o.callSec;
        blockEnded = blockEnded || o.blockEnded;
        return *this;
    }
};

} // namespace orbel
