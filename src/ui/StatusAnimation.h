#pragma once

#include <QIcon>

namespace korimbo {

// The busy icon of the status bar: phase 0 is the idle picture, phases 1..15 the turning wheel.
// Drawn here rather than loaded, so the program needs no image files.
QIcon StatusPhaseIcon(int phase);

// The phase after `phase` while busy: 1..15 round and round.
inline int NextStatusPhase(int phase) {
    return phase >= 15 ? 1 : phase + 1;
}

} // namespace korimbo
