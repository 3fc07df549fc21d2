#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace korimbo {

// The signals that ask the program to end (SIGTERM at logout and shutdown, SIGHUP when the session or
// terminal goes, SIGINT from the keyboard) turned into a call in the event loop, where the program can
// end the way its window does. The handler only writes the signal's number into a pipe that a socket
// notifier watches: nothing else is safe inside a handler. Handlers, unlike a blocked signal mask, are
// not inherited by the programs started to open files. One per process.
class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Installs the handlers. False when the pipe could not be made: the signals then end the process
    // as they did before.
    [[nodiscard]] bool Install();

    // Called in the event loop once per signal received, with its number.
    std::function<void(int signal)> received;
    // How many signals arrived so far, whether `received` was set or not.
    int Count() const { return m_count; }

private:
    void Drain();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_count = 0;
};

} // namespace korimbo
