#include "ui/DialogHook.h"

#include <QApplication>

#include <deque>

namespace korimbo {

namespace {

bool g_ending = false;

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

void DialogHook::EndAll() {
    g_ending = true;
    // done() rather than reject(): a dialog that refuses a cancel by itself must close all the same.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            dialog->done(QDialog::Rejected);
    // A pop-up menu open now is a loop of its own.
    for (int round = 0; round < 8 && QApplication::activePopupWidget(); ++round)
        QApplication::activePopupWidget()->close();
}

bool DialogHook::Ending() {
    return g_ending;
}

int DialogHook::Exec(QDialog& dialog) {
    if (g_ending)
        return QDialog::Rejected;
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
