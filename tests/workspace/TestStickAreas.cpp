// A program folder on a volume that cannot keep files private (FAT, exFAT, NTFS, or any removable disk):
// the plaintext areas live in a private folder of the runtime folder, the name-file mirror stays.

#include "CopiesRig.h"
#include "ScriptedTakeOutPrompts.h"
#include "state/WorkAreas.h"
#include "util/MessageNumbers.h"
#include "workspace/TakeOut.h"

#include <QDateTime>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

class TestStickAreas : public QObject {
    Q_OBJECT

    TestFolders m_folders;

    std::unique_ptr<CopiesRig> Started(bool ownerModes, DriveType type, const QString& program = QString()) {
        auto rig = std::make_unique<CopiesRig>(program.isEmpty() ? m_folders.NewFolder(QStringLiteral("p")) : program);
        rig->volumes.ownerModes = ownerModes;
        rig->volumes.type = type;
        return rig->StartIn(m_folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }
    static QString PlainBase(CopiesRig& rig) {
        return Ckelpie5App::PrivatePlainRoot(rig.app.ProgramFolder()) + u'/' + FolderRig::kWorkId;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // On a stick the copies go to the runtime folder, and the room for them is asked of that folder. The
    // whole round on real FAT and exFAT images is in TestStickMounts.
    void CopiesAndTheirRoomLiveInTheRuntimeFolder() {
        auto rig = Started(false, DriveType::Removable);
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "alpha secret");
        QString copy; // decrypted only: no program holds it
        QCOMPARE(rig->copies->OpenOne(container, false, QString(), WorkAreas::kEditing, &copy), OpResult::kDone);
        QCOMPARE(copy, PlainBase(*rig) + QStringLiteral("/Ac/a.txt"));
        ScriptedTakeOutPrompts dialogs;
        CTakeOut takeOut(*rig->copies, rig->Services(), dialogs);
        rig->fs.freeBytes = 3;
        rig->ui.QueueAnswer(kAnswerYes); // the copy is released first
        QCOMPARE(takeOut.Run(TakeOutKind::kDecrypted, {container}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kReleaseCopiesQuestion, msg::kNoRoomForCopies}));
        QVERIFY(rig->ui.Find(msg::kNoRoomForCopies)->text.contains(PlainBase(*rig).section(u'/', 0, -2)));
    }

    // FAT keeps times in two-second steps: an untouched copy of a container with an odd second is no edit,
    // and an edit of the same size saved at a whole second still is one.
    void TwoSecondTimesOfFat_data() {
        QTest::addColumn<bool>("edit");
        QTest::newRow("untouched") << false;
        QTest::newRow("edited, same size") << true;
    }
    void TwoSecondTimesOfFat() {
        QFETCH(bool, edit);
        auto rig = Started(true, DriveType::Fixed);
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "twelve bytes");
        QCOMPARE(rig->fs.SetModificationTime(container, 1700000001).error, 0);
        rig->fs.timeStep = 2; // the work root plays FAT
        const QByteArray before = CopiesRig::Bytes(container);
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), 1700000000);
        if (edit)
            QVERIFY(CopiesRig::WriteRaw(copy, "twelve BYTES") &&
                    rig->fs.SetModificationTime(copy, QDateTime::currentSecsSinceEpoch()).Ok());
        QCOMPARE(rig->copies->IsChanged(copy, container), edit);
        rig->EndAndTick(rig->launcher.pid);
        QVERIFY(edit ? rig->Opens(container, QStringLiteral("a.txt"), "twelve BYTES")
                     : CopiesRig::Bytes(container) == before);
    }

    // A copy a crash left in the runtime folder is found by the next run of the same program folder.
    void LeftCopiesAreFoundAgain() {
        const QString program = m_folders.NewFolder(QStringLiteral("p"));
        QString box;
        {
            auto first = Started(false, DriveType::Removable, program);
            QVERIFY(first);
            box = first->folder;
            QVERIFY(
                first->Open(first->Encrypt(box, QStringLiteral("a.txt"), "left behind")).startsWith(PlainBase(*first)));
        } // ends without a write-back, as a crash leaves it
        CopiesRig next(program);
        next.volumes.ownerModes = false;
        QVERIFY(next.Resume(box));
        next.app.ReportLeftWorkingCopies();
        QCOMPARE(next.ui.Numbers(), QList<int>({143}));
        QVERIFY(next.ui.Find(143)->text.contains(box));
    }
};

QTEST_GUILESS_MAIN(TestStickAreas)
#include "TestStickAreas.moc"
