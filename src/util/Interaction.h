#pragma once

#include <QString>

namespace korimbo {

// Icons of the message boxes: stop for failures, exclamation for warnings and refusals,
// information for notices and a user stop.
enum class Icon { None, Error, Warning, Information, Question };

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers, numbered like the classic message box results.
enum Answer { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// How the core talks to the user. The window implements it with message boxes and event pumping;
// tests use ScriptedInteraction, korimbo-cli ConsoleInteraction.
class Interaction {
public:
    virtual ~Interaction() = default;

    // Shows a modal message and returns the answer. `number` is the catalogue A number of the
    // leading text (0 for a fixed text of the program); it lets tests and logs tell messages apart.
    virtual int Message(const QString& text, Icon icon, Buttons buttons = Buttons::Ok, int defaultButton = 0,
                        int number = 0) = 0;

    // Lets the window repaint and the stop command through; called once per file or 128000-byte piece.
    virtual void Pump() = 0;

    // Waits about `ms` milliseconds while still pumping (busy-flag retries, delete retries).
    virtual void Sleep(int ms) = 0;

    // The stop request set by the stop command.
    virtual bool StopRequested() const = 0;

    virtual void SetStatusText(const QString& text) = 0;
};

} // namespace korimbo
