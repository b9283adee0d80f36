#include "mutter_idle.h"

#include "sensing/idle_estimate.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCall>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

namespace orbel {
namespace {

const QString service = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString path = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");

int millis(double sec) {
    return static_cast<int>(sec * 1000);
}

// Each backend has its own named connection, so two of them (or a test's fresh bus per case)
// never share Qt's cached session connection.
QString connectionName() {
    static std::atomic<int> serial{0};
    return QStringLiteral("orbel-mutter-idle-%1").arg(serial++);
}

// QtDBus delivers the reply on its own thread; polling isFinished() lets the tick wait for it
// without an event loop and without holding the tick past the deadline. A healthy service
// answers within a few hundred microseconds, so the first millisecond only yields (a sleep
// would round each wait up to the timer slack); after that the wait sleeps between polls.
bool waitFor(const QDBusPendingCall& call, double sec) {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto deadline = start + std::chrono::duration<double>(sec);
    while (!call.isFinished()) {
        const auto now = clock::now();
        if (now >= deadline) return false;
        if (now - start < std::chrono::milliseconds(1)) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    return true;
}

// The idle time in seconds from a GetIdletime reply; nothing for an error or a malformed one.
std::optional<double> idleOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return std::nullopt;
    const QVariant v = reply.arguments().constFirst();
    if (v.metaType() != QMetaType::fromType<qulonglong>()) return std::nullopt;
    return static_cast<double>(v.toULongLong()) / 1000.0;
}

} // namespace

struct MutterIdle::Impl {
    QDBusConnection bus{QString()};
    QString name;
    Bounds bounds;
    std::optional<QDBusPendingCall> pending;
    bool stalled = false;
    IdleEstimate estimate;

    QDBusPendingCall send() const {
        const QDBusMessage msg = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("GetIdletime"));
        return bus.asyncCall(msg, millis(bounds.callSec));
    }

    // Takes a finished call's answer, if any, as of now: a late one was measured when the
    // service got round to it, at most a tick ago. Returns whether a call finished.
    bool collect() {
        if (!pending || !pending->isFinished()) return false;
        if (const auto idle = idleOf(pending->reply())) {
            estimate.reading(*idle, steadySeconds());
            stalled = false;
        }
        pending.reset();
        return true;
    }
};

MutterIdle::MutterIdle(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

MutterIdle::~MutterIdle() {
    impl_->pending.reset();
    QDBusConnection::disconnectFromBus(impl_->name);
}

std::unique_ptr<MutterIdle> MutterIdle::open(const std::string& busAddress, Bounds bounds) {
    auto impl = std::make_unique<Impl>();
    impl->name = connectionName();
    impl->bounds = bounds;
    impl->bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), impl->name);
    auto self = std::unique_ptr<MutterIdle>(new MutterIdle(std::move(impl)));
    Impl& d = *self->impl_;
    if (!d.bus.isConnected()) return nullptr;
    d.pending = d.send();
    waitFor(*d.pending, bounds.probeSec);
    if (!d.collect() || !d.estimate.any()) return nullptr;
    return self;
}

double MutterIdle::idleSeconds() {
    Impl& d = *impl_;
    d.collect();
    if (!d.pending) d.pending = d.send();
    if (!d.stalled) {
        if (waitFor(*d.pending, d.bounds.waitSec)) {
            d.collect();
        } else {
            d.stalled = true;
        }
    }
    return d.estimate.at(steadySeconds());
}

} // namespace orbel
