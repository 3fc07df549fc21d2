#include "util/MessageText.h"

namespace korimbo {

QString WithPath(const QString& text, const QString& path, PathSeparator separator) {
    switch (separator) {
    case PathSeparator::Line:
        return text + u'\n' + path;
    case PathSeparator::Paragraph:
        return text + QStringLiteral("\n\n") + path;
    case PathSeparator::Bracketed:
        return text + QStringLiteral("\n( ") + path + QStringLiteral(" )");
    }
    return text + u'\n' + path;
}

int ReportMessage(Interaction& ui, MessageSource& messages, int number, const QString& tail, Icon icon) {
    ui.Message(messages.MsgA(number) + tail, icon, Buttons::Ok, 0, number);
    return -1;
}

} // namespace korimbo
