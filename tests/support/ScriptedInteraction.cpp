#include "ScriptedInteraction.h"

#include <QStringList>
#include <QTest>

namespace korimbo {

namespace {

QString ButtonsText(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return QStringLiteral("Ok");
    case Buttons::OkCancel:
        return QStringLiteral("OkCancel");
    case Buttons::YesNo:
        return QStringLiteral("YesNo");
    case Buttons::YesNoCancel:
        return QStringLiteral("YesNoCancel");
    }
    return QString();
}

QString AnswerText(int answer) {
    switch (answer) {
    case kAnswerOk:
        return QStringLiteral("Ok");
    case kAnswerCancel:
        return QStringLiteral("Cancel");
    case kAnswerYes:
        return QStringLiteral("Yes");
    case kAnswerNo:
        return QStringLiteral("No");
    default:
        return QString::number(answer);
    }
}

// QTest records a failure only against a running test function; outside one (a fixture member destroyed
// after the last test) the complaint can only be printed.
void Fail(const QString& text, const char* file, int line) {
    if (QTest::currentTestFunction() != nullptr)
        QTest::qFail(qPrintable(text), file, line);
    else
        qCritical("%s (%s:%d)", qPrintable(text), file, line);
}

} // namespace

ScriptedInteraction::~ScriptedInteraction() {
    CheckSettled(__FILE__, __LINE__);
}

int ScriptedInteraction::Message(const QString& text, Icon icon, Buttons buttons, int defaultButton, int number) {
    m_messages.append({number, text, icon, buttons});
    if (buttons == Buttons::Ok)
        return kAnswerOk;
    if (!m_answers.empty()) {
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    Fail(QStringLiteral("A question came with no answer queued (QueueAnswer): A%1, %2 buttons: \"%3\"")
             .arg(number)
             .arg(ButtonsText(buttons), text),
         __FILE__, __LINE__);
    if (defaultButton != 0)
        return defaultButton;
    return (buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel) ? kAnswerYes : kAnswerOk;
}

void ScriptedInteraction::Pump() {
    ++m_pumps;
    if (m_onPump)
        m_onPump(m_pumps);
    if (m_stopAfter >= 0 && m_pumps >= m_stopAfter)
        m_stop = true;
}

void ScriptedInteraction::Sleep(int ms) {
    m_slept += ms;
    Pump();
}

QList<int> ScriptedInteraction::Numbers() const {
    QList<int> numbers;
    for (const Record& r : m_messages)
        numbers.append(r.number);
    return numbers;
}

bool ScriptedInteraction::Has(int number) const {
    return Find(number) != nullptr;
}

const ScriptedInteraction::Record* ScriptedInteraction::Find(int number) const {
    for (const Record& r : m_messages)
        if (r.number == number)
            return &r;
    return nullptr;
}

QString ScriptedInteraction::Unsettled() const {
    if (m_answers.empty())
        return QString();
    QStringList answers;
    for (const int answer : m_answers)
        answers.append(AnswerText(answer));
    return QStringLiteral("%1 queued answer(s) never asked for: %2").arg(m_answers.size()).arg(answers.join(u", "));
}

bool ScriptedInteraction::CheckSettled(const char* file, int line) {
    const QString unsettled = Unsettled();
    m_answers.clear();
    if (unsettled.isEmpty())
        return true;
    Fail(unsettled, file, line);
    return false;
}

} // namespace korimbo
