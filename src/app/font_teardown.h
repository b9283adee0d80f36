#pragma once

namespace orbel {

// Called once the event loop has ended, before the application object goes. Qt frees its
// fontconfig configuration when the application object goes, and to find it asks fontconfig
// for the current one; in an agent that never drew text (the tray icon is painted, the menu
// may never have opened) that question first loads the whole configuration and every font
// cache, over a second on desktops with many fonts or stale caches, all of it spent at quit.
// An empty configuration put in place first leaves nothing to load. Does nothing where Qt does
// not use fontconfig.
void releaseFontConfig();

} // namespace orbel
