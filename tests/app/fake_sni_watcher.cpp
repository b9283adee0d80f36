// A stand-in for a panel's StatusNotifierWatcher on the session bus of $DBUS_SESSION_BUS_ADDRESS
// (a private bus the tests start), with a host registered. It counts the items that register.
// A control interface (org.orbel.FakeWatcher on the same object) answers Registrations: the
// service names registered so far, in order, duplicates kept. Prints "ready" once its name is
// on the bus.
#include <QtCore/QCoreApplication>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVariant>
#include <QtDBus/QDBusVirtualObject>
#include <cstdio>

namespace {

const QString watcherIface = QStringLiteral("org.kde.StatusNotifierWatcher");

class FakeWatcher final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& conn) override {
        const QString member = msg.member();
        if (msg.interface() == watcherIface && member == "RegisterStatusNotifierItem") {
            registered_ << msg.arguments().value(0).toString();
            return conn.send(msg.createReply());
        }
        if (msg.interface() == watcherIface && member == "RegisterStatusNotifierHost") {
            return conn.send(msg.createReply());
        }
        if (msg.interface() == "org.orbel.FakeWatcher" && member == "Registrations") {
            return conn.send(msg.createReply(registered_));
        }
        if (msg.interface() == "org.freedesktop.DBus.Properties" && member == "Get") {
            return conn.send(
                msg.createReply(QVariant::fromValue(QDBusVariant(property(msg.arguments().value(1).toString())))));
        }
        return false;
    }

private:
    QVariant property(const QString& name) const {
        if (name == "IsStatusNotifierHostRegistered") return true;
        if (name == "RegisteredStatusNotifierItems") return registered_;
        return 0; // ProtocolVersion
    }

    QStringList registered_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeWatcher watcher;
    if (!bus.registerVirtualObject("/StatusNotifierWatcher", &watcher) || !bus.registerService(watcherIface)) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
