#pragma once

#include "app/tray/status_item.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

namespace orbel {

// Qt's own tray icon, for XEmbed trays (a _NET_SYSTEM_TRAY_S<n> selection owner). It shows no
// text beside the icon, so the icon pictures the state and the title lives in the tooltip.
class QtTrayItem final : public QObject, public StatusItem {
    Q_OBJECT
public:
    QtTrayItem(QMenu& menu, const TrayLook& look);

    QString kind() const override { return QStringLiteral("XEmbed"); }
    void show(const TrayLook& look) override;
    bool showMessage(const QString& text) override;

    QSystemTrayIcon icon;

private:
    QMenu& menu_;
    TrayLook look_;
};

} // namespace orbel
