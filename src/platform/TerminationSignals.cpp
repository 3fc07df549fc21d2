#include "platform/TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace korimbo {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
volatile sig_atomic_t g_writeEnd = -1;

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &number, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals() = default;

TerminationSignals::~TerminationSignals() {
    if (m_pipe[0] < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    g_writeEnd = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

bool TerminationSignals::Install() {
    if (m_pipe[0] >= 0)
        return true;
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return false;
    }
    g_writeEnd = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // System calls the signal interrupts go on: a write of the user's file is never cut short by it.
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    return true;
}

void TerminationSignals::Drain() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t n = ::read(m_pipe[0], numbers, sizeof numbers);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            ++m_count;
            if (received)
                received(numbers[i]);
        }
    }
}

} // namespace korimbo
