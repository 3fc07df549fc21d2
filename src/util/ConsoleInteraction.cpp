#include "util/ConsoleInteraction.h"

#include <QThread>

#include <cstdio>

namespace korimbo {

int ConsoleInteraction::Message(const QString& text, Icon icon, Buttons buttons, int defaultButton, int number) {
    const char* tag = "";
    switch (icon) {
    case Icon::Error:
        tag = "エラー";
        break;
    case Icon::Warning:
        tag = "警告";
        break;
    case Icon::Information:
        tag = "情報";
        break;
    case Icon::Question:
        tag = "確認";
        break;
    case Icon::None:
        break;
    }
    QString line = QString::fromUtf8(tag);
    if (number > 0)
        line += QStringLiteral("[A%1]").arg(number);
    if (!line.isEmpty())
        line += QStringLiteral(": ");
    line += text;
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
    if (defaultButton != 0)
        return defaultButton;
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return kAnswerOk;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return kAnswerYes;
    }
    return kAnswerOk;
}

void ConsoleInteraction::Sleep(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace korimbo
