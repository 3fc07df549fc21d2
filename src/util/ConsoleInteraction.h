#pragma once

#include "util/Interaction.h"

namespace korimbo {

// The seam for korimbo-cli: messages go to stderr, questions take their default answer,
// nothing is ever stopped.
class ConsoleInteraction final : public Interaction {
public:
    int Message(const QString& text, Icon icon, Buttons buttons = Buttons::Ok, int defaultButton = 0,
                int number = 0) override;
    void Pump() override {}
    void Sleep(int ms) override;
    bool StopRequested() const override { return false; }
    void SetStatusText(const QString&) override {}
};

} // namespace korimbo
