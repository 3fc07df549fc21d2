#include "util/PumpPacer.h"

#include <QElapsedTimer>

namespace korimbo {

namespace {

thread_local QElapsedTimer tSincePacedPump;
thread_local int tIntervalMs = PumpPacer::kIntervalMs;

} // namespace

bool PumpPacer::Tick() {
    if (tSincePacedPump.isValid() && tIntervalMs > 0 && !tSincePacedPump.hasExpired(tIntervalMs))
        return false;
    m_ui.Pump();
    tSincePacedPump.start();
    return true;
}

void PumpPacer::SetInterval(int ms) {
    tIntervalMs = ms;
}

} // namespace korimbo
