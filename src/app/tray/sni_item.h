#pragma once

#include "app/tray/dbus_menu.h"
#include "app/tray/status_item.h"

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

class QMenu;

namespace orbel {

// The records of org.kde.StatusNotifierItem.
struct SniPixmap { // (iiay): ARGB32, network byte order
    int width = 0;
    int height = 0;
    QByteArray bytes;

    bool operator==(const SniPixmap&) const = default;
};
using SniPixmaps = QList<SniPixmap>;
struct SniToolTip { // (sa(iiay)ss)
    QString iconName;
    SniPixmaps pixmaps;
    QString title;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& p);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& p);
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& t);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& t);

// A state's picture at the usual tray sizes, as StatusNotifierItem hosts take it.
SniPixmaps sniPixmaps(const TrayState& state);

// Where the symbolic pictures are written for a host that recolours them (an icon theme path),
// and writes them there. Empty when they cannot be written.
QString writeSymbolicIcons();

// The widest text the title can take in the running font, so a host that shows it does not
// move its neighbours each minute.
QString labelGuide();

// Our own StatusNotifierItem at /StatusNotifierItem with its menu over com.canonical.dbusmenu.
// The status title goes into XAyatanaLabel, which some hosts show beside the icon; the icon
// pictures the state, and a break due sets the status to NeedsAttention. It registers with the
// StatusNotifierWatcher, and again each time a watcher takes the name. Where the watcher is
// GNOME Shell's (its AppIndicator extension shows the label and recolours symbolic icons to the
// panel's text colour), the icon is named by a symbolic icon instead of drawn.
class SniItem final : public QObject, public StatusItem {
    Q_OBJECT
public:
    static constexpr const char* path = "/StatusNotifierItem";
    static constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

    SniItem(QMenu& menu, QDBusConnection bus);
    ~SniItem() override;

    // The objects are exported and the item's name is ours.
    bool ok() const { return ok_; }
    const QString& serviceName() const { return service_; }

    QString kind() const override { return QStringLiteral("StatusNotifierItem"); }
    void show(const TrayLook& look) override;
    void menuUpdated() override { dbusMenu_.refresh(); }

    // What the adaptor answers.
    const TrayLook& look() const { return look_; }
    const SniPixmaps& pixmaps() const { return pixmaps_; }
    const SniPixmaps& attentionPixmaps() const { return attentionPixmaps_; }
    QString iconName() const;
    QString attentionIconName() const;
    const QString& iconThemePath() const { return themePath_; }
    QString status() const;
    const QString& guide() const { return guide_; }
    SniToolTip toolTip() const;
    // Opens the menu at a point the host gives, or at the pointer when it gives none.
    void popup(int x, int y);

signals:
    void newToolTip();
    void newIcon();
    void newStatus(const QString& status);
    void newIconThemePath(const QString& path);
    void newLabel(const QString& label, const QString& guide);

private:
    void registerWithWatcher();
    void askWhoHosts();
    void useSymbolic(bool on);

    QMenu& menu_;
    QDBusConnection bus_;
    DBusMenu dbusMenu_;
    QDBusServiceWatcher watcher_;
    SniPixmaps pixmaps_ = sniPixmaps(TrayState{});
    SniPixmaps attentionPixmaps_ = sniPixmaps({TrayState::Kind::breakNow, 0, 0});
    QString themePath_; // set where the host recolours symbolic icons
    QString guide_ = labelGuide();
    QString service_;
    TrayLook look_;
    bool ok_ = false;
};

} // namespace orbel

Q_DECLARE_METATYPE(orbel::SniPixmap)
Q_DECLARE_METATYPE(orbel::SniToolTip)
