#pragma once

#include <QDBusVirtualObject>
#include <QString>

namespace orbel {

class App;

// The running agent's names on the session bus, all taken from the application id: the
// well-known name and the interface are the id, the object path is the id with "/" for ".".
QString agentBusName();
QString agentObjectPath();

// The running agent's control interface, which the command-line switches talk to. "Status"
// answers the tooltip's lines of the latest tick; "Pause", "Resume", "Override", "Settings",
// "History" and "Quit" run the menu's command once the caller has its answer, so a prompt the command opens
// never holds the caller.
class AgentBus final : public QDBusVirtualObject {
public:
    explicit AgentBus(App& app);
    ~AgentBus() override;

    // Exports the object and takes the well-known name; false when there is no bus or another
    // process holds the name.
    bool start();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    App& app_;
    bool exported_ = false;
    bool named_ = false;
};

} // namespace orbel
