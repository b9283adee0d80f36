#include "gnome_shell/shell_link.h"

#include "gnome_shell/shell_names.h"
#include "shell_proxy.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <atomic>
#include <cstdlib>
#include <sys/stat.h>

namespace orbel {
namespace {

QString busName() {
    return QString::fromLatin1(shellBusName);
}

QString objectPath() {
    return QString::fromLatin1(shellObjectPath);
}

QDBusMessage getAll(const QString& owner) {
    QDBusMessage msg = QDBusMessage::createMethodCall(owner, objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("GetAll"));
    msg << QString::fromLatin1(ShellProxy::staticInterfaceName());
    return msg;
}

QDBusConnection connectTo(const std::string& address, const QString& name) {
    if (address.empty()) return QDBusConnection(name);
    return QDBusConnection::connectToBus(QString::fromStdString(address), name);
}

QString newConnectionName() {
    static std::atomic<int> serial{0};
    return QStringLiteral("orbel-shell-link-%1").arg(serial++);
}

} // namespace

std::string sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return {};
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    return ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) ? "unix:path=" + socket : std::string();
}

bool gnomeDesktop() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop && std::string(desktop).find("GNOME") != std::string::npos;
}

ShellLink::ShellLink(QDBusConnection bus, int probeMs)
    : bus_(std::move(bus)), watcher_(busName(), bus_, QDBusServiceWatcher::WatchForOwnerChange) {
    follow(probeMs);
}

ShellLink::ShellLink(const std::string& busAddress, int probeMs)
    : ownName_(newConnectionName()), bus_(connectTo(busAddress, ownName_)),
      watcher_(busName(), bus_, QDBusServiceWatcher::WatchForOwnerChange) {
    follow(probeMs);
}

ShellLink::~ShellLink() {
    proxy_.reset();
    if (!ownName_.isEmpty()) QDBusConnection::disconnectFromBus(ownName_);
}

void ShellLink::follow(int probeMs) {
    if (!bus_.isConnected()) return;
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &ShellLink::ownerChanged);
    bus_.connect(busName(), objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("PropertiesChanged"), this, SLOT(changed(QString, QVariantMap, QStringList)));
    QDBusMessage query = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                        QStringLiteral("/org/freedesktop/DBus"),
                                                        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    query << busName();
    const QDBusMessage owner = bus_.call(query, QDBus::Block, probeMs);
    if (owner.type() != QDBusMessage::ReplyMessage || owner.arguments().isEmpty()) return;
    const QString unique = owner.arguments().constFirst().toString();
    judge(unique, bus_.call(getAll(unique), QDBus::Block, probeMs));
}

// Whatever the old owner showed went with it; the new one is judged before anyone sends to it.
void ShellLink::ownerChanged(const QString& /*name*/, const QString& /*oldOwner*/, const QString& newOwner) {
    const bool was = usable();
    proxy_.reset();
    properties_.clear();
    fit_ = ShellFit::Missing;
    owner_ = newOwner;
    if (was) emit lost();
    if (newOwner.isEmpty()) return;
    constexpr int callMs = 5000;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(getAll(newOwner), callMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, newOwner](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (newOwner != owner_) return; // owned again meanwhile; that owner's answer counts
        judge(newOwner, w->reply());
        if (usable()) emit ready();
    });
}

void ShellLink::judge(const QString& owner, const QDBusMessage& reply) {
    owner_ = owner;
    QVariantMap properties;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
        properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    }
    fit_ = judgeShell(properties);
    if (!usable()) return;
    properties_ = std::move(properties);
    proxy_ = std::make_unique<ShellProxy>(owner, objectPath(), bus_);
}

void ShellLink::changed(const QString& interface, const QVariantMap& changed, const QStringList& /*invalidated*/) {
    if (!usable() || interface != QLatin1String(ShellProxy::staticInterfaceName())) return;
    for (auto it = changed.begin(); it != changed.end(); ++it)
        properties_.insert(it.key(), it.value());
    emit propertiesChanged();
}

} // namespace orbel
