#include "app/font_teardown.h"

#if ORBEL_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace orbel {

void releaseFontConfig() {
#if ORBEL_FONTCONFIG
    FcConfig* empty = FcConfigCreate();
    if (empty == nullptr) return;
    // Setting it current takes a reference of its own (and frees the configuration in use, if
    // one was ever loaded); Qt's teardown then frees this one.
    FcConfigSetCurrent(empty);
    FcConfigDestroy(empty);
#endif
}

} // namespace orbel
