#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace orbel {

// Brings SIGTERM (what a session manager sends at log-out), SIGINT and SIGHUP into the event
// loop: the handler only writes the signal's number into a pipe, and the loop emits received()
// when it reads it, so the agent saves and quits outside the handler. While one exists the
// handlers stay installed; the first handled signal puts the default action back, so that a
// second one ends a process whose quitting hangs.
class QuitSignals final : public QObject {
    Q_OBJECT
public:
    QuitSignals();
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // False when the pipe could not be made; the signals then keep their default action.
    bool installed() const { return notifier_ != nullptr; }

signals:
    void received(int signal);

private:
    void drain();

    int readFd_ = -1;
    int writeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace orbel
