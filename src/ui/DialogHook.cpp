#include "ui/DialogHook.h"

#include <deque>

namespace korimbo {

namespace {

std::deque<DialogHook::Fill>& Fillers() {
    static std::deque<DialogHook::Fill> fillers;
    return fillers;
}

} // namespace

void DialogHook::Queue(Fill fill) {
    Fillers().push_back(std::move(fill));
}

bool DialogHook::Pending() {
    return !Fillers().empty();
}

void DialogHook::Clear() {
    Fillers().clear();
}

int DialogHook::Exec(QDialog& dialog) {
    if (Fillers().empty())
        return dialog.exec();

    const Fill fill = std::move(Fillers().front());
    Fillers().pop_front();

    // A filler may close the dialog itself (accept(), reject(), a button click); then its result stands.
    bool finished = false;
    const auto connection = QObject::connect(&dialog, &QDialog::finished, &dialog, [&finished] { finished = true; });
    const int code = fill(dialog);
    if (!finished) {
        // accept() and reject() rather than done(), so that dialogs overriding them store or refuse.
        if (code == QDialog::Accepted)
            dialog.accept();
        else if (code == QDialog::Rejected)
            dialog.reject();
        else
            dialog.done(code);
    }
    QObject::disconnect(connection);
    // A dialog that refused to close (a failed check in accept()) counts as cancelled.
    return finished ? dialog.result() : static_cast<int>(QDialog::Rejected);
}

} // namespace korimbo
