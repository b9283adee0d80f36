#include "app/agent_bus.h"

#include "app/app.h"
#include "app/app_id.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>
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

} // namespace

AgentBus::AgentBus(App& app) : app_(app) {}

AgentBus::~AgentBus() {
    if (named_) app_.bus().unregisterService(agentBusName());
    if (exported_) app_.bus().unregisterObject(agentObjectPath());
}

bool AgentBus::start() {
    QDBusConnection& bus = app_.bus();
    if (!bus.isConnected()) return false;
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
    if (message.member() == QLatin1String("Status")) {
        return connection.send(message.createReply(QVariant(app_.look().toolTip)));
    }
    const auto command = commands().find(message.member());
    if (command == commands().end()) return false;
    connection.send(message.createReply());
    QTimer::singleShot(0, &app_, [app = &app_, run = command->second] { (app->*run)(); });
    return true;
}

} // namespace orbel
