#pragma once

#include <functional>
#include <utility>

namespace korimbo {

// Marks the program busy for one scope: the window refuses new commands and shows the wait state until
// the section ends, on every return path. Sections nest; an empty hook makes the section a no-op.
class [[nodiscard]] BusySection {
public:
    explicit BusySection(std::function<void(bool)> busy) : m_busy(std::move(busy)) {
        if (m_busy)
            m_busy(true);
    }
    ~BusySection() {
        if (m_busy)
            m_busy(false);
    }
    BusySection(const BusySection&) = delete;
    BusySection& operator=(const BusySection&) = delete;

private:
    std::function<void(bool)> m_busy;
};

} // namespace korimbo
