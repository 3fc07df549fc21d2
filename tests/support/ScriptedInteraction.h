#pragma once

#include "util/Interaction.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>

namespace korimbo {

// The Interaction of the tests: records every message, answers questions from a queue, counts pumps
// and can raise the stop request after a given number of pumps.
//
// It is strict. A question (any buttons but Ok) that finds no queued answer fails the running test with
// its number and text, and gets the default answer so the code under test goes on. Answers still queued
// when the test ends fail it too: every fixture checks in cleanup() with VERIFY_SETTLED, and a rig
// destroyed inside a test function checks itself. Plain OK messages take no answer from the queue.
class ScriptedInteraction final : public Interaction {
public:
    struct Record {
        int number;
        QString text;
        Icon icon;
        Buttons buttons;
    };

    ScriptedInteraction() = default;
    ScriptedInteraction(const ScriptedInteraction&) = delete;
    ScriptedInteraction& operator=(const ScriptedInteraction&) = delete;
    ~ScriptedInteraction() override;

    int Message(const QString& text, Icon icon, Buttons buttons = Buttons::Ok, int defaultButton = 0,
                int number = 0) override;
    void Pump() override;
    void Sleep(int ms) override;
    bool StopRequested() const override { return m_stop; }
    void SetStatusText(const QString& text) override {
        m_status = text;
        if (m_onStatus)
            m_onStatus(text);
    }

    // The answer to the next question (kAnswerYes, kAnswerNo, kAnswerOk, kAnswerCancel).
    void QueueAnswer(int answer) { m_answers.push_back(answer); }
    int QueuedAnswers() const { return int(m_answers.size()); }
    void StopAfterPumps(int pumps) { m_stopAfter = pumps; }
    void SetStop(bool stop) { m_stop = stop; }
    // Runs once per pump with the pump count, before the stop check (re-entry tests).
    void OnPump(std::function<void(int)> hook) { m_onPump = std::move(hook); }
    // Runs at every status text.
    void OnStatus(std::function<void(const QString&)> hook) { m_onStatus = std::move(hook); }

    const QList<Record>& Messages() const { return m_messages; }
    QList<int> Numbers() const;
    bool Has(int number) const;
    const Record* Find(int number) const;
    void Clear() { m_messages.clear(); }
    int Pumps() const { return m_pumps; }
    qint64 SleptMs() const { return m_slept; }
    const QString& Status() const { return m_status; }

    // What is left unsettled: answers nobody asked for. Empty when all is well.
    QString Unsettled() const;
    // Fails the running test (at file and line) when something is unsettled, then drops the leftovers so
    // the next test starts clean. Returns false on a failure.
    bool CheckSettled(const char* file, int line);

private:
    QList<Record> m_messages;
    std::deque<int> m_answers;
    std::function<void(int)> m_onPump;
    std::function<void(const QString&)> m_onStatus;
    int m_pumps = 0;
    int m_stopAfter = -1;
    bool m_stop = false;
    qint64 m_slept = 0;
    QString m_status;
};

} // namespace korimbo

// Every fixture's cleanup(): fails the test when queued answers were left unused.
#define VERIFY_SETTLED(ui)                                                                                             \
    do {                                                                                                               \
        if (!(ui).CheckSettled(__FILE__, __LINE__))                                                                    \
            return;                                                                                                    \
    } while (false)
