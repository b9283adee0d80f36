#pragma once

#include <QImage>

namespace orbel {

class LayerDisplay;
struct LayerOutput;

// What output shows now, copied through wlroots' screencopy into memory shared with the
// compositor, at the output's pixel size; null when the compositor offers no copies, refuses
// this one or does not deliver it within timeoutSec. The copy holds whatever is on the output,
// the overlay's own surfaces too: take it only while they are gone.
QImage copyOutput(LayerDisplay& display, const LayerOutput& output, double timeoutSec);

} // namespace orbel
