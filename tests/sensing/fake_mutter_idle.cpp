// A stand-in for GNOME's idle monitor on the session bus of $DBUS_SESSION_BUS_ADDRESS (a
// private bus the tests start). Usage: fake_mutter_idle answer|hang|absent|garbage
//   answer   GetIdletime returns the idle time in ms (as Mutter does, type 't')
//   hang     GetIdletime is received and never answered
//   absent   the service name is never claimed
//   garbage  GetIdletime answers with a string
// A control object (org.orbel.FakeIdleMonitor at /Control) sets the idle time
// (SetIdletime "ms": counts up from there) and switches hanging on and off (SetHanging "1"/"0").
// Once both names are on the bus it prints the bus address on stdout.
#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusVirtualObject>
#include <cstdio>
#include <cstring>

namespace {

class FakeMonitor final : public QDBusVirtualObject {
public:
    explicit FakeMonitor(QString mode) : mode_(std::move(mode)), hanging_(mode_ == "hang") { since_.start(); }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& conn) override {
        const QString member = msg.member();
        if (msg.interface() == "org.gnome.Mutter.IdleMonitor" && member == "GetIdletime") return getIdletime(msg, conn);
        if (msg.interface() != "org.orbel.FakeIdleMonitor" || msg.arguments().size() != 1) return false;
        const QString arg = msg.arguments().constFirst().toString();
        if (member == "SetIdletime") {
            baseMs_ = arg.toULongLong();
            since_.restart();
        } else if (member == "SetHanging") {
            hanging_ = arg == "1";
        } else {
            return false;
        }
        conn.send(msg.createReply());
        return true;
    }

private:
    bool getIdletime(const QDBusMessage& msg, const QDBusConnection& conn) {
        if (hanging_) return true; // taken and never answered
        if (mode_ == "garbage") {
            conn.send(msg.createReply(QStringLiteral("soon")));
        } else {
            const qulonglong ms = baseMs_ + static_cast<qulonglong>(since_.elapsed());
            conn.send(msg.createReply(QVariant::fromValue(ms)));
        }
        return true;
    }

    QString mode_;
    bool hanging_ = false;
    qulonglong baseMs_ = 0;
    QElapsedTimer since_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromUtf8(argv[1]) : QStringLiteral("answer");
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeMonitor monitor(mode);
    if (!bus.registerVirtualObject("/Control", &monitor) || !bus.registerService("org.orbel.FakeIdleMonitor")) {
        return 1;
    }
    if (mode != "absent") {
        if (!bus.registerVirtualObject("/org/gnome/Mutter/IdleMonitor/Core", &monitor) ||
            !bus.registerService("org.gnome.Mutter.IdleMonitor")) {
            return 1;
        }
    }
    std::printf("%s\n", qgetenv("DBUS_SESSION_BUS_ADDRESS").constData());
    std::fflush(stdout);
    return app.exec();
}
