#pragma once

#include "core/out.h"

#include <QMenu>

class QAction;

namespace orbel {

// The tray menu. It is built once and its entries are brought in line with each tick result
// in place, so a menu the user has open is never replaced under the pointer.
class StatusMenu final {
public:
    StatusMenu();

    // Shows the info line and the presence of "Resume" for this tick result.
    void update(const Out& out);

    QMenu menu;
    QAction* info = nullptr;
    QAction* pause = nullptr;
    QAction* resume = nullptr;
    QAction* override = nullptr;
    QAction* settings = nullptr;
    QAction* history = nullptr;
    QAction* quit = nullptr;
};

} // namespace orbel
