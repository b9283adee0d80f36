#pragma once

#include "gnome_shell/shell_protocol.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <memory>
#include <string>

class ShellProxy;

namespace orbel {

// The session bus of this session for backends that connect on their own: the address in
// $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus where that socket exists, else empty (no
// further fallback: libdbus would start a bus of its own through X11).
std::string sessionBusAddress();

// Whether $XDG_CURRENT_DESKTOP names GNOME (alone or in a list such as "ubuntu:GNOME").
bool gnomeDesktop();

// The extension as one bus connection sees it. At construction it asks the bus once, waiting a
// bounded time, so that the caller knows at start whether the extension is there. From then on
// it follows the extension's name: when the shell restarts or the extension is turned off and on
// again, the new owner is judged afresh, and ready() tells the caller to send everything it
// shows, since the new owner shows nothing yet.
class ShellLink final : public QObject {
    Q_OBJECT
public:
    // On a connection the caller keeps (the agent's own, whose control interface the
    // extension's indicator calls back).
    explicit ShellLink(QDBusConnection bus, int probeMs = defaultProbeMs);
    // On a connection of its own to the bus at this address; none when it is empty.
    explicit ShellLink(const std::string& busAddress, int probeMs = defaultProbeMs);
    ~ShellLink() override;
    ShellLink(const ShellLink&) = delete;
    ShellLink& operator=(const ShellLink&) = delete;

    [[nodiscard]] ShellFit fit() const { return fit_; }
    [[nodiscard]] bool usable() const { return fit_ == ShellFit::Usable; }
    [[nodiscard]] bool connected() const { return bus_.isConnected(); }
    // The extension's interface at its current owner; null unless usable.
    [[nodiscard]] ShellProxy* proxy() const { return proxy_.get(); }
    // Its properties as last read or signalled; empty unless usable.
    [[nodiscard]] const QVariantMap& properties() const { return properties_; }

    // A local bus answers in well under a millisecond; this is for a loaded machine.
    static constexpr int defaultProbeMs = 500;

signals:
    void ready();             // usable now, under an owner that shows nothing of this caller's yet
    void lost();              // no longer usable
    void propertiesChanged(); // properties() changed while usable

private slots:
    void ownerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void changed(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    void follow(int probeMs);
    void judge(const QString& owner, const QDBusMessage& reply);

    QString ownName_; // the connection's name when it is this link's own
    QDBusConnection bus_;
    QDBusServiceWatcher watcher_;
    QString owner_;
    ShellFit fit_ = ShellFit::Missing;
    QVariantMap properties_;
    std::unique_ptr<ShellProxy> proxy_;
};

} // namespace orbel
