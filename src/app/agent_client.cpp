#include "app/agent_client.h"

#include "app/agent_bus.h"
#include "sensing/factory.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <cstring>

namespace orbel {
namespace {

struct Switch {
    const char* arg;
    const char* method;
};
constexpr Switch switches[] = {{"--status", "Status"},     {"--pause", "Pause"},       {"--resume", "Resume"},
                               {"--override", "Override"}, {"--settings", "Settings"}, {"--history-window", "History"},
                               {"--quit", "Quit"}};

// The agent's answer to one call, or why there was none: `reached` is false when no agent could
// be found on the bus at all.
struct Answer {
    bool reached = false;
    std::string problem; // empty when the agent answered
    QDBusMessage reply;
};

// Calls method on the running agent, waiting up to waitMs for its name to appear on the bus.
Answer ask(const char* method, int waitMs) {
    const std::string address = Environment::current().sessionBus;
    if (address.empty()) return {false, "no session bus", {}};
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("orbel-control"));
    if (!bus.isConnected()) return {false, "cannot reach the session bus", {}};
    QElapsedTimer waited;
    waited.start();
    while (!bus.interface()->isServiceRegistered(agentBusName())) {
        if (waited.elapsed() >= waitMs) {
            return {false, "nothing holds " + agentBusName().toStdString() + " on the session bus", {}};
        }
        QThread::msleep(100);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(agentBusName(), agentObjectPath(), agentBusName(), QString::fromLatin1(method));
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {true, "the agent did not answer: " + reply.errorMessage().toStdString(), reply};
    }
    return {true, {}, reply};
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
    if (!a.reached) {
        std::fprintf(stderr, "orbel-lite: no agent is running in this session (%s)\n", a.problem.c_str());
        return 1;
    }
    if (!a.problem.empty()) {
        std::fprintf(stderr, "orbel-lite: %s\n", a.problem.c_str());
        return 1;
    }
    if (std::strcmp(method, "Status") == 0 && !a.reply.arguments().isEmpty()) {
        for (const QString& line : a.reply.arguments().at(0).toStringList())
            std::printf("%s\n", line.toUtf8().constData());
    }
    return 0;
}

int activateAgent(int argc, char** argv, const std::string& lockPath) {
    QCoreApplication app(argc, argv);
    const Answer a = ask("Settings", 5000);
    if (a.problem.empty()) return 0;
    std::fprintf(stderr,
                 "orbel-lite: already running in this session (lock %s), and it cannot be asked to open its "
                 "settings: %s\n",
                 lockPath.c_str(), a.problem.c_str());
    return 1;
}

} // namespace orbel
