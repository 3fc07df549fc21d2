// A program folder on a volume that cannot keep files private (FAT, exFAT, NTFS, or any removable disk):
// the plaintext areas live in a private folder of the runtime folder, the name-file mirror stays.

#include "CopiesRig.h"
#include "ScriptedTakeOutPrompts.h"
#include "state/WorkAreas.h"
#include "workspace/TakeOut.h"

#include <QDateTime>
#include <QDirIterator>
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

    void AreasFollowTheVolume_data() {
        QTest::addColumn<bool>("ownerModes");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("isPrivate");
        QTest::newRow("fixed disk with owners") << true << int(DriveType::Fixed) << false;
        QTest::newRow("exFAT on a fixed disk") << false << int(DriveType::Fixed) << true;
        QTest::newRow("removable disk with owners") << true << int(DriveType::Removable) << true;
    }
    void AreasFollowTheVolume() {
        QFETCH(bool, ownerModes);
        QFETCH(int, type);
        QFETCH(bool, isPrivate);
        auto rig = Started(ownerModes, DriveType(type));
        QVERIFY(rig);
        const QString workBase = rig->app.State().workFolder->angoTempFolder + u'/' + FolderRig::kWorkId;
        const int slot = rig->Slot(rig->folder);
        for (const QString& area : {WorkAreas::kEditing, WorkAreas::kTakeOut, WorkAreas::kReturn, WorkAreas::kCreation})
            QCOMPARE(rig->app.WorkAreaOf(slot, area), (isPrivate ? PlainBase(*rig) : workBase) + u'/' + area);
        QCOMPARE(rig->app.WorkAreaOf(slot, WorkAreas::kNameFile), workBase + QStringLiteral("/Nf"));
        QVERIFY(!isPrivate || CopiesRig::Mode(Ckelpie5App::PrivatePlainRoot(rig->app.ProgramFolder())) == 0700);
    }

    // Open, write back and take out on a stick: copies and staging in the runtime folder, no decrypted
    // byte below the program or the folder, and the room for copies asked of the folder that takes them.
    void NoPlaintextOnTheStick() {
        auto rig = Started(false, DriveType::Removable);
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "alpha secret");
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QCOMPARE(copy, PlainBase(*rig) + QStringLiteral("/Ac/a.txt"));
        QVERIFY(CopiesRig::Edit(copy, "bravo secret"));
        rig->EndAndTick(rig->launcher.pid);
        QVERIFY(rig->Opens(container, QStringLiteral("a.txt"), "bravo secret"));

        ScriptedTakeOutPrompts dialogs;
        CTakeOut takeOut(*rig->copies, rig->Services(), dialogs);
        QByteArray staged;
        dialogs.window = [&](const TakeOutWindowRequest&, CTakeOut&) {
            staged = CopiesRig::Bytes(PlainBase(*rig) + QStringLiteral("/To/a.txt"));
            return int(TakeOutPrompts::kDragged);
        };
        QCOMPARE(takeOut.Run(TakeOutKind::kDecrypted, {container}), 0);
        QCOMPARE(staged, QByteArray("bravo secret"));
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        for (const QString& stick : {rig->app.ProgramFolder(), rig->folder})
            for (QDirIterator it(stick, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
                QVERIFY2(!CopiesRig::Bytes(it.next()).contains("secret"), qPrintable(it.filePath()));

        rig->fs.freeBytes = 3;
        QCOMPARE(takeOut.Run(TakeOutKind::kDecrypted, {container}), -1);
        const QString plainRoot = Ckelpie5App::PrivatePlainRoot(rig->app.ProgramFolder());
        QVERIFY(rig->ui.Find(CTakeOut::kMsgNoRoomForCopies)->text.contains(plainRoot));
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
        QCOMPARE(rig->fs.SetModificationTime(container, 1700000001), 0);
        rig->fs.timeStep = 2; // the work root plays FAT
        const QByteArray before = CopiesRig::Bytes(container);
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), 1700000000);
        if (edit)
            QVERIFY(CopiesRig::WriteRaw(copy, "twelve BYTES") &&
                    rig->fs.SetModificationTime(copy, QDateTime::currentSecsSinceEpoch()) == 0);
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
