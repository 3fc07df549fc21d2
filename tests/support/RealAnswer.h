#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace korimbo {

// Answers the next modal window or pop-up through its real widget, as a person would: once the window
// is up, `answer` sends it keys. A window that does not react within five seconds is closed by force,
// so a swallowed answer fails the test instead of hanging it.
class RealAnswer final : public QObject {
public:
    explicit RealAnswer(std::function<void(QWidget*)> answer) : m_answer(std::move(answer)) {
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(10);
    }
    bool TimedOut() const { return m_timedOut; }
    bool Answered() const { return m_answered; }

private:
    void Poll() {
        QWidget* up = QApplication::activePopupWidget();
        const bool popup = up != nullptr;
        if (!up)
            up = QApplication::activeModalWidget();
        if (!up)
            return;
        // Keys go to the window that has the focus, which a window just shown may not have yet on a busy
        // machine: as a person would, wait until it has (for two seconds at most, then type regardless).
        if (!m_answered && !popup && !up->isActiveWindow() && m_focusWaits++ < 200) {
            up->activateWindow();
            return;
        }
        if (!m_answered) {
            m_answered = true;
            m_answer(up);
        } else if (m_clock.elapsed() > 5000) {
            m_timedOut = true;
            m_timer.stop();
            up->close();
        }
    }

    std::function<void(QWidget*)> m_answer;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_answered = false;
    bool m_timedOut = false;
    int m_focusWaits = 0;
};

} // namespace korimbo
