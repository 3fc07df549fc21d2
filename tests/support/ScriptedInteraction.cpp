#include "ScriptedInteraction.h"

namespace korimbo {

int ScriptedInteraction::Message(const QString& text, Icon icon, Buttons buttons, int defaultButton, int number) {
    m_messages.append({number, text, icon, buttons});
    if (!m_answers.empty()) {
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
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

} // namespace korimbo
