#include "app/tray/qt_tray_item.h"

#include <QCursor>
#include <QMenu>

namespace orbel {

QtTrayItem::QtTrayItem(QMenu& menu, const TrayLook& look) : icon(trayIcon(look.icon)), menu_(menu), look_(look) {
    icon.setToolTip(look_.toolTip.join(QLatin1Char('\n')));
    icon.setContextMenu(&menu_);
    // Most Linux trays open the menu on a right click only; a left click opens it too.
    connect(&icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger && !menu_.isVisible()) menu_.popup(QCursor::pos());
    });
    icon.show();
}

void QtTrayItem::show(const TrayLook& look) {
    if (look == look_) return;
    if (look.icon != look_.icon) icon.setIcon(trayIcon(look.icon));
    if (look.toolTip != look_.toolTip) icon.setToolTip(look.toolTip.join(QLatin1Char('\n')));
    look_ = look;
}

bool QtTrayItem::showMessage(const QString& text) {
    icon.showMessage(QStringLiteral("Orbel Lite"), text, QSystemTrayIcon::Warning);
    return true;
}

} // namespace orbel
