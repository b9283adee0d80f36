#pragma once

namespace orbel {

// Whether an XEmbed tray manager runs: some X screen's _NET_SYSTEM_TRAY_S<n> selection has an
// owner. False off X11 (and on Qt's offscreen platform).
bool xembedTrayPresent();

} // namespace orbel
