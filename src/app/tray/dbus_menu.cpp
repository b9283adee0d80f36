#include "app/tray/dbus_menu.h"

#include <QAction>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QKeySequence>
#include <QMenu>
#include <QTimer>
#include <algorithm>

namespace orbel {

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg << keys.id << keys.properties;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemKeys& keys) {
    arg.beginStructure();
    arg >> keys.id >> keys.properties;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayoutItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : item.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayoutItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.beginArray();
    item.children.clear();
    while (!arg.atEnd()) {
        QDBusVariant v;
        arg >> v;
        item.children.append(qdbus_cast<DBusMenuLayoutItem>(v.variant()));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& e) {
    arg.beginStructure();
    arg << e.id << e.eventId << e.data << e.timestamp;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& e) {
    arg.beginStructure();
    arg >> e.id >> e.eventId >> e.data >> e.timestamp;
    arg.endStructure();
    return arg;
}

void registerDBusMenuTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<DBusMenuItem>();
        qDBusRegisterMetaType<DBusMenuItemList>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<DBusMenuItemKeysList>();
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        qDBusRegisterMetaType<DBusMenuShortcut>();
        // The adaptor's signatures name the lists by their aliases.
        qRegisterMetaType<DBusMenuItemList>("orbel::DBusMenuItemList");
        qRegisterMetaType<DBusMenuItemKeysList>("orbel::DBusMenuItemKeysList");
        qRegisterMetaType<DBusMenuEventList>("orbel::DBusMenuEventList");
        return true;
    }();
    (void)once;
}

namespace {

// dbusmenu marks mnemonics with "_", so a literal one is doubled; Qt's "&" marks are dropped.
QString dbusLabel(const QString& text) {
    QString label = text;
    label.replace(QLatin1Char('_'), QStringLiteral("__"));
    label.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    label.remove(QLatin1Char('&'));
    label.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return label;
}

// Keys whose name in a dbusmenu shortcut is not the one Qt writes: hosts look the name up as an
// X keysym name ("comma", not ",") and show nothing for a name they do not know.
struct KeyName {
    Qt::Key key;
    const char* name;
};
// clang-format off
constexpr KeyName keysymNames[] = {
    {Qt::Key_Space, "space"}, {Qt::Key_Exclam, "exclam"}, {Qt::Key_QuoteDbl, "quotedbl"},
    {Qt::Key_NumberSign, "numbersign"}, {Qt::Key_Dollar, "dollar"}, {Qt::Key_Percent, "percent"},
    {Qt::Key_Ampersand, "ampersand"}, {Qt::Key_Apostrophe, "apostrophe"}, {Qt::Key_ParenLeft, "parenleft"},
    {Qt::Key_ParenRight, "parenright"}, {Qt::Key_Asterisk, "asterisk"}, {Qt::Key_Plus, "plus"},
    {Qt::Key_Comma, "comma"}, {Qt::Key_Minus, "minus"}, {Qt::Key_Period, "period"},
    {Qt::Key_Slash, "slash"}, {Qt::Key_Colon, "colon"}, {Qt::Key_Semicolon, "semicolon"},
    {Qt::Key_Less, "less"}, {Qt::Key_Equal, "equal"}, {Qt::Key_Greater, "greater"},
    {Qt::Key_Question, "question"}, {Qt::Key_At, "at"}, {Qt::Key_BracketLeft, "bracketleft"},
    {Qt::Key_Backslash, "backslash"}, {Qt::Key_BracketRight, "bracketright"}, {Qt::Key_AsciiCircum, "asciicircum"},
    {Qt::Key_Underscore, "underscore"}, {Qt::Key_QuoteLeft, "grave"}, {Qt::Key_BraceLeft, "braceleft"},
    {Qt::Key_Bar, "bar"}, {Qt::Key_BraceRight, "braceright"}, {Qt::Key_AsciiTilde, "asciitilde"},
    {Qt::Key_Escape, "Escape"}, {Qt::Key_Backspace, "BackSpace"}, {Qt::Key_Enter, "KP_Enter"},
    {Qt::Key_Delete, "Delete"}, {Qt::Key_PageUp, "Page_Up"}, {Qt::Key_PageDown, "Page_Down"},
};
// clang-format on

QString keyName(Qt::Key key) {
    for (const KeyName& k : keysymNames) {
        if (k.key == key) return QString::fromLatin1(k.name);
    }
    return QKeySequence(key).toString(QKeySequence::PortableText); // "Q", "F5", "Home", "Return"
}

// "Ctrl+Q" as dbusmenu writes it: [["Control", "Q"]]; "Ctrl+," as [["Control", "comma"]].
DBusMenuShortcut dbusShortcut(const QKeySequence& seq) {
    DBusMenuShortcut out;
    for (int i = 0; i < seq.count(); ++i) {
        const QKeyCombination combo = seq[i];
        QStringList keys;
        const Qt::KeyboardModifiers mods = combo.keyboardModifiers();
        if (mods & Qt::ControlModifier) keys << QStringLiteral("Control");
        if (mods & Qt::AltModifier) keys << QStringLiteral("Alt");
        if (mods & Qt::ShiftModifier) keys << QStringLiteral("Shift");
        if (mods & Qt::MetaModifier) keys << QStringLiteral("Super");
        keys << keyName(combo.key());
        out << keys;
    }
    return out;
}

QVariantMap only(const QVariantMap& props, const QStringList& names) {
    if (names.isEmpty()) return props;
    QVariantMap out;
    for (const QString& n : names) {
        if (props.contains(n)) out.insert(n, props.value(n));
    }
    return out;
}

} // namespace

std::vector<DBusMenuEntry> dbusMenuEntries(const QMenu& menu) {
    std::vector<DBusMenuEntry> out;
    int id = 0;
    for (const QAction* act : menu.actions()) {
        DBusMenuEntry e;
        e.id = ++id;
        e.visible = act->isVisible();
        if (act->isSeparator()) {
            e.properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            e.properties.insert(QStringLiteral("label"), dbusLabel(act->text()));
            e.properties.insert(QStringLiteral("enabled"), act->isEnabled());
            if (!act->shortcut().isEmpty()) {
                e.properties.insert(QStringLiteral("shortcut"), QVariant::fromValue(dbusShortcut(act->shortcut())));
            }
        }
        out.push_back(std::move(e));
    }
    return out;
}

// com.canonical.dbusmenu on the bus, answering from the DBusMenu it belongs to.
class DBusMenuAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit DBusMenuAdaptor(DBusMenu* menu) : QDBusAbstractAdaptor(menu), menu_(menu) {
        setAutoRelaySignals(false);
        connect(menu, &DBusMenu::layoutUpdated, this, &DBusMenuAdaptor::LayoutUpdated);
        connect(menu, &DBusMenu::itemsPropertiesUpdated, this, &DBusMenuAdaptor::ItemsPropertiesUpdated);
    }

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   orbel::DBusMenuLayoutItem& layout) {
        layout = menu_->layout(parentId, recursionDepth, propertyNames);
        return menu_->revision();
    }
    orbel::DBusMenuItemList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames) {
        return menu_->groupProperties(ids, propertyNames);
    }
    QDBusVariant GetProperty(int id, const QString& name) { return QDBusVariant(menu_->property(id, name)); }
    void Event(int id, const QString& eventId, const QDBusVariant& /*data*/, uint /*timestamp*/) {
        menu_->event(id, eventId);
    }
    QList<int> EventGroup(const orbel::DBusMenuEventList& events) {
        QList<int> errors;
        for (const DBusMenuEvent& e : events) {
            if (!menu_->event(e.id, e.eventId)) errors << e.id;
        }
        return errors;
    }
    // The entries are always those of the latest tick, so a host never needs to fetch again.
    bool AboutToShow(int /*id*/) { return false; }
    QList<int> AboutToShowGroup(const QList<int>& /*ids*/, QList<int>& idErrors) {
        idErrors.clear();
        return {};
    }

signals:
    void ItemsPropertiesUpdated(const orbel::DBusMenuItemList& updatedProps,
                                const orbel::DBusMenuItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    DBusMenu* menu_;
};

DBusMenu::DBusMenu(QMenu& menu, QDBusConnection bus) : menu_(menu), bus_(std::move(bus)) {
    registerDBusMenuTypes();
    entries_ = dbusMenuEntries(menu_);
    new DBusMenuAdaptor(this);
    exported_ =
        bus_.isConnected() && bus_.registerObject(QString::fromLatin1(path), this, QDBusConnection::ExportAdaptors);
}

DBusMenu::~DBusMenu() {
    if (exported_) bus_.unregisterObject(QString::fromLatin1(path));
}

const DBusMenuEntry* DBusMenu::entry(int id) const {
    if (id < 1 || id > static_cast<int>(entries_.size())) return nullptr;
    return &entries_[static_cast<std::size_t>(id - 1)];
}

void DBusMenu::refresh() {
    std::vector<DBusMenuEntry> now = dbusMenuEntries(menu_);
    if (now == entries_) return;
    const bool sameLayout = now.size() == entries_.size() &&
                            std::equal(now.begin(), now.end(), entries_.begin(),
                                       [](const auto& a, const auto& b) { return a.visible == b.visible; });
    // Hosts that keep the entries they have and only learn of new ones from a new layout (GNOME
    // Shell's AppIndicator extension) must be told of changed properties even when the layout
    // changes in the same tick.
    DBusMenuItemList updated;
    DBusMenuItemKeysList removed;
    for (std::size_t i = 0; i < std::min(now.size(), entries_.size()); ++i) {
        const DBusMenuEntry& was = entries_[i];
        const DBusMenuEntry& is = now[i];
        if (was.properties == is.properties || !is.visible) continue;
        DBusMenuItem changed{is.id, {}};
        for (auto it = is.properties.begin(); it != is.properties.end(); ++it) {
            if (was.properties.value(it.key()) != it.value()) changed.properties.insert(it.key(), it.value());
        }
        if (!changed.properties.isEmpty()) updated << changed;
        DBusMenuItemKeys gone{is.id, {}};
        for (auto it = was.properties.begin(); it != was.properties.end(); ++it) {
            if (!is.properties.contains(it.key())) gone.properties << it.key();
        }
        if (!gone.properties.isEmpty()) removed << gone;
    }
    entries_ = std::move(now);
    if (!updated.isEmpty() || !removed.isEmpty()) emit itemsPropertiesUpdated(updated, removed);
    if (!sameLayout) emit layoutUpdated(++revision_, 0);
}

// Entries the menu hides are left out of the layout, so a host that ignores "visible" still
// shows the right ones.
namespace {

// The properties of the menu's root, id 0.
QVariantMap rootProperties() {
    return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
}

} // namespace

DBusMenuLayoutItem DBusMenu::layout(int parentId, int depth, const QStringList& names) const {
    if (const DBusMenuEntry* e = entry(parentId)) return {e->id, only(e->properties, names), {}};
    DBusMenuLayoutItem root{0, only(rootProperties(), names), {}};
    if (depth == 0) return root;
    for (const DBusMenuEntry& e : entries_) {
        if (e.visible) root.children.append({e.id, only(e.properties, names), {}});
    }
    return root;
}

// Every id asked for that exists is answered, the root (0) included; no ids means all of them.
DBusMenuItemList DBusMenu::groupProperties(const QList<int>& ids, const QStringList& names) const {
    DBusMenuItemList out;
    if (ids.isEmpty() || ids.contains(0)) out << DBusMenuItem{0, only(rootProperties(), names)};
    for (const DBusMenuEntry& e : entries_) {
        if (ids.isEmpty() || ids.contains(e.id)) out << DBusMenuItem{e.id, only(e.properties, names)};
    }
    return out;
}

QVariant DBusMenu::property(int id, const QString& name) const {
    if (id == 0) return rootProperties().value(name);
    const DBusMenuEntry* e = entry(id);
    return e ? e->properties.value(name) : QVariant();
}

// A click runs the entry's command once the host has its reply: a command may open a modal
// dialog, which must not hold the host's call.
bool DBusMenu::event(int id, const QString& eventId) {
    const DBusMenuEntry* e = entry(id);
    if (e == nullptr) return false;
    if (eventId != QLatin1String("clicked") || !e->visible) return true;
    QAction* act = menu_.actions().value(id - 1);
    if (act == nullptr || act->isSeparator() || !act->isEnabled()) return true;
    QTimer::singleShot(0, act, [act] {
        if (act->isVisible() && act->isEnabled()) act->trigger();
    });
    return true;
}

} // namespace orbel

#include "dbus_menu.moc"
