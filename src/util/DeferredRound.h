#pragma once

#include <QTimer>

#include <functional>

namespace korimbo {

// An update that never runs while the window is busy. Request marks it pending: when idle it runs on
// the next turn of the event loop, during a command at the first round of the timer after it. The
// owner starts the rounds while there is something to keep current and stops them otherwise.
class DeferredRound {
public:
    explicit DeferredRound(int roundMs);
    DeferredRound(const DeferredRound&) = delete;
    DeferredRound& operator=(const DeferredRound&) = delete;

    // What the round asks and does; set by the owner.
    std::function<bool()> isBusy;
    std::function<void()> run;
    // Called at every round before the pending update is tried (may mark it pending).
    std::function<void()> beforeRound;

    void Start() { m_timer.start(); }
    void Stop() { m_timer.stop(); }
    void Request();
    void MarkPending() { m_pending = true; }
    void Clear() { m_pending = false; }
    bool Pending() const { return m_pending; }
    // Runs the pending update now unless the window is busy; true when it ran.
    bool RunPending();

private:
    bool Busy() const { return isBusy && isBusy(); }

    QTimer m_timer; // also the context of the deferred call, so none outlives the round
    bool m_pending = false;
};

} // namespace korimbo
