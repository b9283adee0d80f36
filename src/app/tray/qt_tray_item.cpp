#include "app/tray/qt_tray_item.h"

#include <QCursor>
#include <QMenu>

namespace orbel {

QtTrayItem::QtTrayItem(QMenu& menu, const QIcon& trayIcon) : icon(trayIcon), menu_(menu) {
    icon.setContextMenu(&menu_);
    // Most Linux trays open the menu on a right click only; a left click opens it too.
    connect(&icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger && !menu_.isVisible()) menu_.popup(QCursor::pos());
    });
    icon.show();
}

void QtTrayItem::show(const TrayLook& look) {
    if (look == look_) return;
    look_ = look;
    icon.setToolTip(look_.toolTip.join(QLatin1Char('\n')));
}

bool QtTrayItem::showMessage(const QString& text) {
    icon.showMessage(QStringLiteral("Orbel Lite"), text, QSystemTrayIcon::Warning);
    return true;
}

} // namespace orbel
