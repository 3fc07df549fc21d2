#include "ui/QtInteraction.h"

#include "ui/DialogHook.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>

namespace korimbo {

namespace {

QMessageBox::Icon BoxIcon(Icon icon) {
    switch (icon) {
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return QMessageBox::Ok;
    case Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton BoxButton(int answer) {
    switch (answer) {
    case kAnswerOk:
        return QMessageBox::Ok;
    case kAnswerCancel:
        return QMessageBox::Cancel;
    case kAnswerYes:
        return QMessageBox::Yes;
    case kAnswerNo:
        return QMessageBox::No;
    default:
        return QMessageBox::NoButton;
    }
}

int AnswerOf(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return kAnswerCancel;
    case QMessageBox::Yes:
        return kAnswerYes;
    case QMessageBox::No:
        return kAnswerNo;
    default:
        return kAnswerOk;
    }
}

// What a message box answers while the program ends without questions: the answer that does nothing.
int RefusingAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::YesNo:
        return kAnswerNo;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
        return kAnswerCancel;
    default:
        return kAnswerOk;
    }
}

} // namespace

int QtInteraction::Message(const QString& text, Icon icon, Buttons buttons, int defaultButton, int /*number*/) {
    QMessageBox box(BoxIcon(icon), kTitle, text, BoxButtons(buttons), m_parent);
    // The buttons speak the program's language whatever translations the system has.
    const struct {
        QMessageBox::StandardButton button;
        const char16_t* text;
    } kLabels[] = {{QMessageBox::Ok, u"OK"},
                   {QMessageBox::Cancel, u"キャンセル"},
                   {QMessageBox::Yes, u"はい(&Y)"},
                   {QMessageBox::No, u"いいえ(&N)"}};
    for (const auto& label : kLabels)
        if (QAbstractButton* button = box.button(label.button))
            button->setText(QString::fromUtf16(label.text));
    if (defaultButton != 0)
        box.setDefaultButton(BoxButton(defaultButton));
    const int answer = AnswerOf(DialogHook::Exec(box));
    return DialogHook::Ending() ? RefusingAnswer(buttons) : answer;
}

void QtInteraction::Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void QtInteraction::Sleep(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

} // namespace korimbo
