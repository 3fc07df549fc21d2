#pragma once

#include "util/Interaction.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace korimbo {

// The window's side of the Interaction seam: message boxes titled "Korimbo-portable", event pumping,
// the stop request and the status text of the main window.
class QtInteraction final : public Interaction {
public:
    int Message(const QString& text, Icon icon, Buttons buttons = Buttons::Ok, int defaultButton = 0,
                int number = 0) override;
    void Pump() override;
    void Sleep(int ms) override;
    bool StopRequested() const override { return m_stopRequested && m_stopRequested(); }
    void SetStatusText(const QString& text) override {
        if (m_statusText)
            m_statusText(text);
    }

    // The main window connects itself once it exists.
    void SetParentWindow(QWidget* window) { m_parent = window; }
    void SetStopSource(std::function<bool()> source) { m_stopRequested = std::move(source); }
    void SetStatusSink(std::function<void(const QString&)> sink) { m_statusText = std::move(sink); }

    static inline const QString kTitle = QStringLiteral("Korimbo-portable");

private:
    QPointer<QWidget> m_parent;
    std::function<bool()> m_stopRequested;
    std::function<void(const QString&)> m_statusText;
};

} // namespace korimbo
