#include "app/agent_bus.h"

#include "app/app.h"
#include "app/app_id.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QTimer>
#include <dlfcn.h>
#include <functional>
#include <map>

namespace orbel {

QString agentBusName() {
    return QString::fromLatin1(appId);
}

QString agentObjectPath() {
    return QLatin1Char('/') + QString::fromLatin1(appId).replace(QLatin1Char('.'), QLatin1Char('/'));
}

namespace {

// The commands by method name, each the same as its menu entry.
const std::map<QString, void (App::*)()>& commands() {
    static const std::map<QString, void (App::*)()> map{
        {QStringLiteral("Pause"), &App::pause},         {QStringLiteral("Resume"), &App::resume},
        {QStringLiteral("Override"), &App::override},   {QStringLiteral("Settings"), &App::openSettings},
        {QStringLiteral("History"), &App::openHistory}, {QStringLiteral("Quit"), &App::quit},
    };
    return map;
}

// libdbus stops reading a connection while more than 63 MB of the messages it received are
// still alive, and Qt 6.4 starts it again from whichever thread frees the last of them. The
// agent frees them on the main thread, where that fails ("QSocketNotifier: Socket notifiers
// cannot be enabled or disabled from another thread"), and the connection then stays mute for
// good: three calls with 100 MB arguments were enough. The bound is raised to what the session
// bus lets one message be, so that the pause does not come about. libdbus is loaded with Qt's
// D-Bus module; it is looked up rather than linked, as Qt may load it only at run time.
void raiseReceiveBound(const QDBusConnection& bus) {
    using SetBound = void (*)(void*, long);
    static const auto setBound =
        reinterpret_cast<SetBound>(::dlsym(RTLD_DEFAULT, "dbus_connection_set_max_received_size"));
    constexpr long bound = 1'000'000'000;
    if (setBound != nullptr && bus.internalPointer() != nullptr) setBound(bus.internalPointer(), bound);
}

} // namespace

AgentBus::AgentBus(App& app) : app_(app) {}

AgentBus::~AgentBus() {
    if (named_) app_.bus().unregisterService(agentBusName());
    if (exported_) app_.bus().unregisterObject(agentObjectPath());
}

bool AgentBus::start() {
    QDBusConnection& bus = app_.bus();
    if (!bus.isConnected()) return false;
    raiseReceiveBound(bus);
    exported_ = bus.registerVirtualObject(agentObjectPath(), this);
    named_ = exported_ && bus.registerService(agentBusName());
    return named_;
}

QString AgentBus::introspect(const QString& /*path*/) const {
    QString xml =
        QStringLiteral("<interface name=\"%1\">\n"
                       "  <method name=\"Status\"><arg name=\"lines\" type=\"as\" direction=\"out\"/></method>\n")
            .arg(agentBusName());
    for (const auto& entry : commands())
        xml += QStringLiteral("  <method name=\"%1\"/>\n").arg(entry.first);
    return xml + QStringLiteral("</interface>\n");
}

bool AgentBus::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    if (!message.interface().isEmpty() && message.interface() != agentBusName()) return false;
    const auto command = commands().find(message.member());
    const bool status = message.member() == QLatin1String("Status");
    if (!status && command == commands().end()) {
        return connection.send(message.createErrorReply(
            QDBusError::UnknownMethod, QStringLiteral("No method \"%1\" in %2").arg(message.member(), agentBusName())));
    }
    // None of the methods takes arguments: a call with some is refused before it runs anything.
    if (!message.signature().isEmpty()) {
        return connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                                                        QStringLiteral("%1 takes no arguments").arg(message.member())));
    }
    if (status) return connection.send(message.createReply(QVariant(app_.look().toolTip)));
    connection.send(message.createReply());
    QTimer::singleShot(0, &app_, [app = &app_, run = command->second] { (app->*run)(); });
    return true;
}

} // namespace orbel
