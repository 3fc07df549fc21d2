#include "DialogChecks.h"
#include "ScriptedInteraction.h"

#include <QTest>

using namespace korimbo;

// The strict rig fails the tests that misuse it. The functions named Fails* are meant to fail: CTest runs
// each alone with KORIMBO_RIG_FAILURES set and passes it when the output names the expected failure
// (tests/support/CMakeLists.txt); in the ordinary run they skip.
class TestStrictRig : public QObject {
    Q_OBJECT

private:
    ScriptedInteraction m_ui; // lives across the test functions, as a fixture member does

    static bool FailuresWanted() { return qEnvironmentVariableIsSet("KORIMBO_RIG_FAILURES"); }

private Q_SLOTS:
    void cleanup() {
        VERIFY_SETTLED(m_ui);
        VERIFY_DIALOGS_SETTLED();
    }

    void AnswersGoToQuestionsOnly() {
        ScriptedInteraction ui;
        ui.QueueAnswer(kAnswerNo);
        ui.QueueAnswer(kAnswerCancel);
        QCOMPARE(ui.Message(QStringLiteral("notice"), Icon::Information, Buttons::Ok, 0, 4), int(kAnswerOk));
        QCOMPARE(ui.QueuedAnswers(), 2); // a plain OK message takes no answer
        QCOMPARE(ui.Message(QStringLiteral("first?"), Icon::Question, Buttons::YesNo, 0, 5), int(kAnswerNo));
        QCOMPARE(ui.Unsettled(), QStringLiteral("1 queued answer(s) never asked for: Cancel"));
        QCOMPARE(ui.Message(QStringLiteral("second?"), Icon::Warning, Buttons::OkCancel, 0, 6), int(kAnswerCancel));
        QCOMPARE(ui.QueuedAnswers(), 0);
        QCOMPARE(ui.Unsettled(), QString());
        QCOMPARE(ui.Numbers(), (QList<int>{4, 5, 6}));
        QVERIFY(ui.CheckSettled(__FILE__, __LINE__));
    }

    void FailsOnUnansweredQuestion() {
        if (!FailuresWanted())
            QSKIP("meant to fail: run alone by CTest");
        ScriptedInteraction ui;
        // The code under test still gets the default answer and goes on.
        QCOMPARE(ui.Message(QStringLiteral("Go on?"), Icon::Question, Buttons::YesNoCancel, kAnswerNo, 77),
                 int(kAnswerNo));
    }

    void FailsOnLeftoverInRig() {
        if (!FailuresWanted())
            QSKIP("meant to fail: run alone by CTest");
        ScriptedInteraction ui;
        ui.QueueAnswer(kAnswerNo); // nobody asks: the rig's destruction fails the test
    }

    void FailsOnLeftoverInFixture() {
        if (!FailuresWanted())
            QSKIP("meant to fail: run alone by CTest");
        m_ui.QueueAnswer(kAnswerYes); // nobody asks: cleanup() fails the test
    }

    void FailsOnUnusedDialogAnswer() {
        if (!FailuresWanted())
            QSKIP("meant to fail: run alone by CTest");
        DialogHook::Queue([](QDialog&) { return int(QDialog::Accepted); });
    }
};

QTEST_GUILESS_MAIN(TestStrictRig)
#include "TestStrictRig.moc"
