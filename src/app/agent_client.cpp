#include "app/agent_client.h"

#include "app/agent_bus.h"
#include "sensing/factory.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
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
                               {"--override", "Override"}, {"--settings", "Settings"}, {"--history-window", "History"},
                               {"--quit", "Quit"}};

// The agent's answer to one call, or why there was none. Without a session bus no agent can be
// asked, whether one runs or not, which is not the same as finding none on the bus.
struct Answer {
    enum class Kind { answered, noBus, noAgent, failed };
    Kind kind = Kind::failed;
    std::string problem; // empty when the agent answered
    QDBusMessage reply;
};

// Calls method on the running agent, waiting up to waitMs for its name to appear on the bus.
Answer ask(const char* method, int waitMs) {
    using Kind = Answer::Kind;
    const std::string address = Environment::current().sessionBus;
    if (address.empty()) {
        return {Kind::noBus, "no session bus here (DBUS_SESSION_BUS_ADDRESS is unset and $XDG_RUNTIME_DIR/bus is missing)",
                {}};
    }
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("orbel-control"));
    if (!bus.isConnected()) {
        return {Kind::noBus, "cannot reach the session bus at " + address + ": " + bus.lastError().message().toStdString(),
                {}};
    }
    QElapsedTimer waited;
    waited.start();
    while (!bus.interface()->isServiceRegistered(agentBusName())) {
        if (waited.elapsed() >= waitMs) {
            return {Kind::noAgent, "nothing holds " + agentBusName().toStdString() + " on the session bus", {}};
        }
        QThread::msleep(100);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(agentBusName(), agentObjectPath(), agentBusName(), QString::fromLatin1(method));
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {Kind::failed, "the agent did not answer: " + reply.errorMessage().toStdString(), reply};
    }
    return {Kind::answered, {}, reply};
}

} // namespace

int runControl(int argc, char** argv, const char* sw) {
    const char* method = nullptr;
    for (const Switch& s : switches) {
        if (std::strcmp(sw, s.arg) == 0) method = s.method;
    }
    if (method == nullptr) return 2;
    QCoreApplication app(argc, argv);
    const Answer a = ask(method, 0);
    switch (a.kind) {
    case Answer::Kind::answered:
        break;
    case Answer::Kind::noBus:
        std::fprintf(stderr, "orbel-lite: %s, so the running agent cannot be asked\n", a.problem.c_str());
        return 1;
    case Answer::Kind::noAgent:
        std::fprintf(stderr, "orbel-lite: no agent is running in this session (%s)\n", a.problem.c_str());
        return 1;
    case Answer::Kind::failed:
        std::fprintf(stderr, "orbel-lite: %s\n", a.problem.c_str());
        return 1;
    }
    if (std::strcmp(method, "Status") == 0 && !a.reply.arguments().isEmpty()) {
        for (const QString& line : a.reply.arguments().at(0).toStringList())
            std::printf("%s\n", line.toUtf8().constData());
    }
    return 0;
}

int activateAgent(int argc, char** argv, const std::string& refusal) {
    QCoreApplication app(argc, argv);
    const Answer a = ask("Settings", 5000);
    if (a.kind == Answer::Kind::answered) return 0;
    std::fprintf(stderr, "orbel-lite: %s, and it cannot be asked to open its settings: %s\n", refusal.c_str(),
                 a.problem.c_str());
    return 1;
}

} // namespace orbel
