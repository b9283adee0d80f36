#include "app/quit_signals.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace orbel {
namespace {

constexpr std::array<int, 3> quitSignals{SIGTERM, SIGINT, SIGHUP};

// The write end, for the handler; a plain int is all an async-signal-safe handler may touch.
volatile sig_atomic_t pipeWriteFd = -1;

void onQuitSignal(int signal) {
    const int savedErrno = errno;
    const auto number = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(pipeWriteFd, &number, 1);
    errno = savedErrno;
}

void setAction(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : quitSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

QuitSignals::QuitSignals() {
    std::array<int, 2> fds{-1, -1};
    if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) != 0) return;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    pipeWriteFd = writeFd_;
    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::drain);
    setAction(&onQuitSignal);
}

QuitSignals::~QuitSignals() {
    setAction(SIG_DFL);
    pipeWriteFd = -1;
    notifier_.reset();
    if (readFd_ >= 0) ::close(readFd_);
    if (writeFd_ >= 0) ::close(writeFd_);
}

void QuitSignals::drain() {
    std::array<unsigned char, 64> bytes{};
    ssize_t got = 0;
    int first = 0;
    while ((got = ::read(readFd_, bytes.data(), bytes.size())) > 0) {
        if (first == 0) first = bytes[0];
    }
    if (first == 0) return;
    emit received(first);
    setAction(SIG_DFL);
}

} // namespace orbel
