#include "util/DeferredRound.h"

namespace korimbo {

DeferredRound::DeferredRound(int roundMs) {
    m_timer.setInterval(roundMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (beforeRound)
            beforeRound();
        RunPending();
    });
}

void DeferredRound::Request() {
    m_pending = true;
    if (!Busy())
        QTimer::singleShot(0, &m_timer, [this] { RunPending(); });
}

bool DeferredRound::RunPending() {
    if (!m_pending || Busy())
        return false;
    m_pending = false;
    if (run)
        run();
    return true;
}

} // namespace korimbo
