#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <vector>

class QMenu;

namespace orbel {

// The records of com.canonical.dbusmenu.
struct DBusMenuItem { // (ia{sv})
    int id = 0;
    QVariantMap properties;
};
struct DBusMenuItemKeys { // (ias)
    int id = 0;
    QStringList properties;
};
struct DBusMenuLayoutItem { // (ia{sv}av), children as variants of the same record
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};
struct DBusMenuEvent { // (isvu)
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuItemList = QList<DBusMenuItem>;
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;
using DBusMenuEventList = QList<DBusMenuEvent>;
using DBusMenuShortcut = QList<QStringList>; // aas: [["Control", "Q"]]

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& keys);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& e);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& e);

// Registers the records above with QtDBus; safe to call more than once.
void registerDBusMenuTypes();

// One entry of the exported menu as the host sees it.
struct DBusMenuEntry {
    int id = 0;
    bool visible = true;
    QVariantMap properties;

    bool operator==(const DBusMenuEntry&) const = default;
};

// The entries of a QMenu as com.canonical.dbusmenu sees them: ids from 1 in menu order, only
// what a host draws (label, enabled, type, shortcut).
std::vector<DBusMenuEntry> dbusMenuEntries(const QMenu& menu);

// A QMenu exported over com.canonical.dbusmenu. The QMenu stays the one source of the entries:
// refresh() compares them with what hosts were last told and signals only what changed, and a
// "clicked" event triggers the entry's action.
class DBusMenu final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* path = "/MenuBar";

    DBusMenu(QMenu& menu, QDBusConnection bus);
    ~DBusMenu() override;

    bool exported() const { return exported_; }

    // Brings the exported entries in line with the menu; signals hosts only on a real change.
    void refresh();

    // What the adaptor answers.
    uint revision() const { return revision_; }
    DBusMenuLayoutItem layout(int parentId, int depth, const QStringList& names) const;
    DBusMenuItemList groupProperties(const QList<int>& ids, const QStringList& names) const;
    QVariant property(int id, const QString& name) const;
    bool event(int id, const QString& eventId);

signals:
    void layoutUpdated(uint revision, int parent);
    void itemsPropertiesUpdated(const orbel::DBusMenuItemList& updated, const orbel::DBusMenuItemKeysList& removed);

private:
    const DBusMenuEntry* entry(int id) const;

    QMenu& menu_;
    QDBusConnection bus_;
    std::vector<DBusMenuEntry> entries_;
    uint revision_ = 1;
    bool exported_ = false;
};

} // namespace orbel

Q_DECLARE_METATYPE(orbel::DBusMenuItem)
Q_DECLARE_METATYPE(orbel::DBusMenuItemKeys)
Q_DECLARE_METATYPE(orbel::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(orbel::DBusMenuEvent)
