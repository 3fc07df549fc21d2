#pragma once

#include "util/Interaction.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace korimbo {

// Keeps the window alive through long loops over many small steps (a listing of a large directory):
// each step calls Tick, which pumps only once the interval has passed since the last paced pump, so the
// window repaints several times a second while the loop costs almost nothing more. The time of that pump
// is one for the whole thread, so the loops of one listing, each with a pacer of its own, add no gaps.
class PumpPacer {
public:
    static constexpr int kIntervalMs = 40;

    explicit PumpPacer(Interaction& ui) : m_ui(ui) {}

    // True when it pumped; the caller may then show its progress.
    [[nodiscard]] bool Tick();

    // The interval of every pacer of the thread; 0 pumps at every step (tests count the steps so).
    static void SetInterval(int ms);

private:
    Interaction& m_ui;
};

// Empties a large container an element at a time, ticking: freeing the 100,000 entries of a listing in
// one go is a step the window would notice.
template <typename T>
void ReleasePaced(QList<T>& list, PumpPacer& pacer) {
    while (!list.isEmpty()) {
        list.removeLast();
        static_cast<void>(pacer.Tick());
    }
}

// A hash goes in one step, which costs a fraction of erasing it an entry at a time (each erase moves
// the entries after it): with a pump just before, it stays short of a gap the window would show.
template <typename Hash>
void ReleaseHashPaced(Hash& hash, PumpPacer& pacer) {
    static_cast<void>(pacer.Tick());
    hash.clear();
}

template <typename K, typename V>
void ReleasePaced(QHash<K, V>& hash, PumpPacer& pacer) {
    ReleaseHashPaced(hash, pacer);
}

template <typename T>
void ReleasePaced(QSet<T>& set, PumpPacer& pacer) {
    ReleaseHashPaced(set, pacer);
}

} // namespace korimbo
