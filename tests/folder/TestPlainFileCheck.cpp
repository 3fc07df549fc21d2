#include "FolderRig.h"
#include "folder/PlainFileCheck.h"
#include "util/MessageNumbers.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

// The check of an encrypted folder for what is not a container, and the stored hints the hint window shows.
class TestPlainFileCheck : public QObject {
    Q_OBJECT

    TestFolders m_folders;
    std::unique_ptr<FolderRig> m_rig; // over a folder with two containers of its own and these:
    QString m_otherPassword;          // a container of another password
    QStringList m_plain;              // a file, a short one deeper, a link to a container, a pipe
    QString m_short;                  // a container cut short before the end of its header

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        m_rig = FolderRig::Started(m_folders);
        QVERIFY(m_rig);
        const QString sub = m_rig->folder + QStringLiteral("/sub");
        QVERIFY(QDir().mkpath(sub));
        const QString container = m_rig->Encrypt(m_rig->folder, QStringLiteral("a.txt"), "a");
        QVERIFY(!m_rig->Encrypt(sub, QStringLiteral("b.txt"), "b").isEmpty());
        QVERIFY(m_rig->EnterKey(QStringLiteral("other"), QStringLiteral("Other#Pw2")));
        m_otherPassword = m_rig->Encrypt(sub, QStringLiteral("c.txt"), "c", QStringLiteral("other"));
        m_plain = {m_rig->folder + QStringLiteral("/notes.txt"), sub + QStringLiteral("/deep/short"),
                   sub + QStringLiteral("/link"), sub + QStringLiteral("/pipe")};
        QVERIFY(!m_otherPassword.isEmpty() && FolderRig::WriteRaw(m_plain[0], "plain text") &&
                FolderRig::WriteRaw(m_plain[1], "x") && QFile::link(container, m_plain[2]) && MakeFifo(m_plain[3]));
        m_plain.sort();
        m_short = m_rig->Encrypt(sub, QStringLiteral("d.txt"), "d");
        QVERIFY(QFile::setPermissions(m_short, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QFile::resize(m_short, 100));
    }
    void init() { m_rig->ui.Clear(); }

    // Files, links and pipes that are not containers are found at any depth; containers of another password
    // count as containers; a short one keeps its name, broken but not plain. No walks nothing; Yes names them
    // relative to the folder, as a warning.
    void FindsAndNamesWhatIsNotAContainer() {
        CPlainFileCheck check(m_rig->Services());
        PlainFindings found = check.Find(m_rig->folder);
        found.plain.sort();
        QCOMPARE(found.plain, m_plain);
        QCOMPARE(found.containers, 3);
        QCOMPARE(found.damaged, QStringList{m_short});

        m_rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(check.Run(m_rig->folder), OpResult::kDeclined);
        QCOMPARE(m_rig->ui.Numbers(), QList<int>{msg::kPlainCheckQuestion});
        m_rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(check.Run(m_rig->folder), OpResult::kDone);
        const auto* report = m_rig->ui.Find(msg::kPlainCheckDone);
        QVERIFY(report);
        QCOMPARE(report->icon, Icon::Warning);
        QVERIFY(report->text.contains(QStringLiteral("\nsub/deep/short")));
    }

    // The stop ends the walk; the user is told it stopped, not that all is clean. Last: it adds plain files.
    void StopEndsTheWalk() {
        for (int i = 0; i < 3 * 64; ++i)
            QVERIFY(FolderRig::WriteRaw(m_rig->folder + QStringLiteral("/many/p%1").arg(i), "p"));
        m_rig->ui.QueueAnswer(kAnswerYes);
        m_rig->ui.StopAfterPumps(1);
        QCOMPARE(CPlainFileCheck(m_rig->Services()).Run(m_rig->folder), OpResult::kDeclined);
        QCOMPARE(m_rig->ui.Numbers(), (QList<int>{msg::kPlainCheckQuestion, msg::kStopped}));
    }
};

QTEST_GUILESS_MAIN(TestPlainFileCheck)
#include "TestPlainFileCheck.moc"
