#pragma once

#include <QDialog>

#include <functional>

namespace korimbo {

// Every modal dialog of the program runs through Exec. Tests queue fillers in advance: the next
// dialog is then handed to the filler instead of being shown, so no test waits on a modal loop.
class DialogHook {
public:
    // Sets the dialog's fields and returns the result code (QDialog::Accepted, Rejected or a button).
    using Fill = std::function<int(QDialog&)>;

    static void Queue(Fill fill);
    static bool Pending();
    static void Clear();

    // With a filler queued: fills the dialog and closes it with the filler's code, so the dialog's own
    // accept and reject handling runs; returns the dialog's result. Otherwise dialog.exec().
    static int Exec(QDialog& dialog);

    // The program is ending without questions: the dialogs open now are closed as cancelled, and every
    // later one returns cancelled without being shown.
    static void EndAll();
    static bool Ending();
};

} // namespace korimbo
