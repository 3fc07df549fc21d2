#include "FolderRig.h"
#include "folder/PlainFileCheck.h"
#include "folder/StoredHint.h"
#include "util/MessageNumbers.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

// The check of an encrypted folder for what is not a container, and the stored hints the hint window shows.
class TestPlainFileCheck : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    // A folder with two containers of its own, one of another password, and below it what is not one.
    struct Mixed {
        QStringList plain;
        QString otherPassword;
        QString container;
    };
    static bool Fill(FolderRig& rig, Mixed& mixed) {
        const QString sub = rig.folder + QStringLiteral("/sub");
        if (!QDir().mkpath(sub))
            return false;
        mixed.container = rig.Encrypt(rig.folder, QStringLiteral("a.txt"), "a");
        if (mixed.container.isEmpty() || rig.Encrypt(sub, QStringLiteral("b.txt"), "b").isEmpty() ||
            !rig.EnterKey(QStringLiteral("other"), QStringLiteral("Other#Pw2")))
            return false;
        mixed.otherPassword = rig.Encrypt(sub, QStringLiteral("c.txt"), "c", QStringLiteral("other"));
        mixed.plain = {rig.folder + QStringLiteral("/notes.txt"), sub + QStringLiteral("/deep/short"),
                       sub + QStringLiteral("/link"), sub + QStringLiteral("/pipe")};
        return !mixed.otherPassword.isEmpty() && FolderRig::WriteRaw(mixed.plain[0], "plain text") &&
               FolderRig::WriteRaw(mixed.plain[1], "x") && QFile::link(mixed.container, mixed.plain[2]) &&
               MakeFifo(mixed.plain[3]);
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Files, links and pipes that are not containers are found at any depth; containers of another password
    // count as containers; a link to a container is not one.
    void FindsWhatIsNotAContainer() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        Mixed mixed;
        QVERIFY(Fill(*rig, mixed));
        CPlainFileCheck check(rig->Services());
        PlainFindings found = check.Find(rig->folder);
        found.plain.sort();
        mixed.plain.sort();
        QCOMPARE(found.plain, mixed.plain);
        QCOMPARE(found.containers, 3);
        QVERIFY(found.unreadable.isEmpty());
        QVERIFY(found.damaged.isEmpty());
    }

    // A container cut short before the end of its header keeps its name: it is reported as broken, not plain.
    void ShortContainerIsDamagedNotPlain() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "a");
        QVERIFY(!container.isEmpty());
        QFile::setPermissions(container, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QFile::resize(container, 100));
        CPlainFileCheck check(rig->Services());
        const PlainFindings found = check.Find(rig->folder);
        QCOMPARE(found.damaged, QStringList{container});
        QVERIFY(found.plain.isEmpty());
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    // No walks nothing; Yes reports the count and the paths relative to the folder, as a warning.
    void ReportNamesThePlainFiles() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        Mixed mixed;
        QVERIFY(Fill(*rig, mixed));
        CPlainFileCheck check(rig->Services());
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(check.Run(rig->folder), OpResult::kDeclined);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kPlainCheckQuestion});

        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(check.Run(rig->folder), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{msg::kPlainCheckQuestion, msg::kPlainCheckDone}));
        const auto* report = rig->ui.Find(msg::kPlainCheckDone);
        QCOMPARE(report->icon, Icon::Warning);
        QVERIFY(report->text.contains(rig->app.State().catalogue->MsgA(msg::kPlainFilesFound) + QStringLiteral("4") +
                                      rig->app.State().catalogue->MsgA(msg::kPlainFilesFoundTail)));
        QVERIFY(report->text.contains(QStringLiteral("\nsub/deep/short")));
        QVERIFY(report->text.contains(QStringLiteral("\nnotes.txt")));
        QVERIFY(!report->text.contains(rig->folder));
    }

    // A folder of containers only is reported whole, with the information icon.
    void CleanFolderIsReportedClean() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "a").isEmpty());
        CPlainFileCheck check(rig->Services());
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(check.Run(rig->folder), OpResult::kDone);
        const auto* report = rig->ui.Find(msg::kPlainCheckDone);
        QVERIFY(report);
        QCOMPARE(report->icon, Icon::Information);
        QVERIFY(report->text.endsWith(rig->app.State().catalogue->MsgA(msg::kNoPlainFiles)));
    }

    // The stop button ends the walk; the user is told it stopped, not that the folder is clean.
    void StopEndsTheWalk() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        for (int i = 0; i < 3 * 64; ++i)
            QVERIFY(FolderRig::WriteRaw(rig->folder + QStringLiteral("/p%1").arg(i), "p"));
        CPlainFileCheck check(rig->Services());
        rig->ui.QueueAnswer(kAnswerYes);
        rig->ui.StopAfterPumps(1);
        QCOMPARE(check.Run(rig->folder), OpResult::kDeclined);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{msg::kPlainCheckQuestion, msg::kStopped}));
    }

    // A folder the walk cannot enter is named as not checked.
    void UnreadableFolderIsNamed() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        const QString locked = rig->folder + QStringLiteral("/locked");
        QVERIFY(QDir().mkdir(locked));
        QVERIFY(FolderRig::WriteRaw(locked + QStringLiteral("/inside"), "x"));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        if (QFileInfo(locked + QStringLiteral("/inside")).exists()) {
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("the permissions do not hold for this user (root)");
        }
        CPlainFileCheck check(rig->Services());
        const PlainFindings found = check.Find(rig->folder);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(found.unreadable, QStringList{locked});
    }

    // The hint comes from the outer layer, without the folder's password; anything else says what it is.
    void StoredHints() {
        auto rig = FolderRig::Started(m_folders);
        QVERIFY(rig);
        Mixed mixed;
        QVERIFY(Fill(*rig, mixed));
        CCryptEngine& engine = rig->Engine();
        const StoredHint hint = ReadStoredHint(engine, mixed.otherPassword);
        QCOMPARE(hint.kind, StoredHint::Kind::kHint);
        QCOMPARE(hint.hint, QStringLiteral("hint"));
        QCOMPARE(StoredHintLine(*rig->app.State().catalogue, mixed.otherPassword, hint),
                 QFileInfo(mixed.otherPassword).fileName() + QStringLiteral("：\u3000hint"));
        QCOMPARE(ReadStoredHint(engine, mixed.plain[0]).kind, StoredHint::Kind::kNotContainer);
        QCOMPARE(ReadStoredHint(engine, mixed.plain[2]).kind, StoredHint::Kind::kNotContainer); // a link
        QCOMPARE(ReadStoredHint(engine, mixed.plain[3]).kind, StoredHint::Kind::kNotContainer); // a pipe
        QCOMPARE(ReadStoredHint(engine, rig->folder).kind, StoredHint::Kind::kFolder);
        QCOMPARE(ReadStoredHint(engine, rig->folder + QStringLiteral("/gone")).kind, StoredHint::Kind::kUnreadable);
        QVERIFY(rig->ui.Messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPlainFileCheck)
#include "TestPlainFileCheck.moc"
