#include "app/agent_client.h"

#include "app/agent_bus.h"
#include "sensing/factory.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <cstdio>
#include <cstring>
#include <string>

namespace orbel {
namespace {

struct Switch {
    const char* arg;
    const char* method;
};
constexpr Switch switches[] = {{"--status", "Status"},     {"--pause", "Pause"},       {"--resume", "Resume"},
                               {"--override", "Override"}, {"--settings", "Settings"}, {"--quit", "Quit"}};

int noAgent(const std::string& why) {
    std::fprintf(stderr, "orbel-lite: no agent is running in this session (%s)\n", why.c_str());
    return 1;
}

// Without a session bus no agent can be asked, whether one runs or not: say that, not that none
// runs.
int noBus(const std::string& why) {
    std::fprintf(stderr, "orbel-lite: %s, so the running agent cannot be asked\n", why.c_str());
    return 1;
}

} // namespace

const char* controlSwitch(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        for (const Switch& s : switches) {
            if (std::strcmp(argv[i], s.arg) == 0) return s.arg;
        }
    }
    return nullptr;
}

int runControl(int argc, char** argv, const char* sw) {
    const char* method = nullptr;
    for (const Switch& s : switches) {
        if (std::strcmp(sw, s.arg) == 0) method = s.method;
    }
    if (method == nullptr) return 2;
    QCoreApplication app(argc, argv);
    const std::string address = Environment::current().sessionBus;
    if (address.empty()) {
        return noBus("no session bus here (DBUS_SESSION_BUS_ADDRESS is unset and $XDG_RUNTIME_DIR/bus is missing)");
    }
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("orbel-control"));
    if (!bus.isConnected()) {
        return noBus("cannot reach the session bus at " + address + ": " + bus.lastError().message().toStdString());
    }
    if (!bus.interface()->isServiceRegistered(agentBusName())) {
        return noAgent("nothing holds " + agentBusName().toStdString() + " on the session bus");
    }

    QDBusMessage call =
        QDBusMessage::createMethodCall(agentBusName(), agentObjectPath(), agentBusName(), QString::fromLatin1(method));
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::fprintf(stderr, "orbel-lite: the agent did not answer: %s\n", reply.errorMessage().toUtf8().constData());
        return 1;
    }
    if (std::strcmp(method, "Status") == 0 && !reply.arguments().isEmpty()) {
        for (const QString& line : reply.arguments().at(0).toStringList())
            std::printf("%s\n", line.toUtf8().constData());
    }
    return 0;
}

} // namespace orbel
