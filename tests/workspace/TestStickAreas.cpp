// A program folder on a volume that cannot keep files private (FAT, exFAT, NTFS through FUSE, or any
// removable disk): the plaintext areas live in a private folder of the runtime folder, the name-file
// mirror stays with the program, and nothing decrypted is ever written below the program's folder.

#include "CopiesRig.h"
#include "ScriptedPrompts.h"
#include "ScriptedTakeOutPrompts.h"
#include "state/WorkAreas.h"
#include "workspace/LoginManager.h"
#include "workspace/TakeOut.h"

#include <QDateTime>
#include <QDirIterator>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

namespace {

struct StickRig : CopiesRig {
    using CopiesRig::CopiesRig;
    ScriptedTakeOutPrompts dialogs;
    std::unique_ptr<CTakeOut> takeOut;

    bool Begin(const QString& root) {
        if (!StartIn(root))
            return false;
        AppState& s = app.State();
        takeOut = std::make_unique<CTakeOut>(*copies, *s.engine, *s.registry, *names, s.settings, *s.workFolder, fs, ui,
                                             *s.catalogue, probe, dialogs);
        return true;
    }
    QString PlainRoot() const { return Ckelpie5App::PrivatePlainRoot(app.ProgramFolder()); }
    QString WorkRoot() { return app.State().workFolder->angoTempFolder; }
};

// Whether any file below `folder` holds `bytes`.
bool AnyFileHolds(const QString& folder, const QByteArray& bytes) {
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (CopiesRig::Bytes(it.next()).contains(bytes))
            return true;
    return false;
}

} // namespace

class TestStickAreas : public QObject {
    Q_OBJECT

    TestFolders m_folders;

    // `ownerModes` false: FAT and its kin; `type`: fixed or removable.
    std::unique_ptr<StickRig> Started(bool ownerModes, DriveType type) {
        auto rig = std::make_unique<StickRig>(m_folders.NewFolder(QStringLiteral("program")));
        rig->volumes.ownerModes = ownerModes;
        rig->volumes.type = type;
        return rig->Begin(m_folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Which volumes send the plaintext areas to the runtime folder. Nf stays in the work root either way.
    void AreasFollowTheVolume_data() {
        QTest::addColumn<bool>("ownerModes");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("isPrivate");
        QTest::newRow("fixed disk with owners") << true << int(DriveType::Fixed) << false;
        QTest::newRow("FAT stick") << false << int(DriveType::Removable) << true;
        QTest::newRow("exFAT on a fixed disk") << false << int(DriveType::Fixed) << true;
        QTest::newRow("removable disk with owners") << true << int(DriveType::Removable) << true;
    }
    void AreasFollowTheVolume() {
        QFETCH(bool, ownerModes);
        QFETCH(int, type);
        QFETCH(bool, isPrivate);
        auto rig = Started(ownerModes, DriveType(type));
        QVERIFY(rig);
        const int slot = rig->Slot(rig->folder);
        const QString plainBase = (isPrivate ? rig->PlainRoot() : rig->WorkRoot()) + u'/' + FolderRig::kWorkId;
        for (const QString& area : {WorkAreas::kEditing, WorkAreas::kTakeOut, WorkAreas::kReturn, WorkAreas::kCreation})
            QCOMPARE(rig->app.WorkAreaOf(slot, area), plainBase + u'/' + area);
        QCOMPARE(rig->app.WorkAreaOf(slot, WorkAreas::kNameFile),
                 rig->WorkRoot() + u'/' + FolderRig::kWorkId + QStringLiteral("/Nf"));
        QCOMPARE(rig->app.State().workFolder->PlainRoot(), isPrivate ? rig->PlainRoot() : rig->WorkRoot());
        if (!isPrivate)
            return;
        QVERIFY(rig->PlainRoot().startsWith(QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")) + u'/'));
        QCOMPARE(CopiesRig::Mode(rig->PlainRoot()), 0700);
        QVERIFY(rig->fs.IsPrivate(plainBase + QStringLiteral("/Ac/a.txt")));

        // A login (the key is in already: no question) makes every area owner-only where it belongs.
        AppState& s = rig->app.State();
        CLoginManager login(*s.engine, *s.registry, *s.workFolder, s.settings, rig->fs, rig->ui, *s.catalogue);
        ScriptedPrompts prompts;
        QCOMPARE(login.Login(rig->folder, prompts), 0);
        for (const QString& area : WorkAreas::kAll)
            QCOMPARE(CopiesRig::Mode(login.WorkAreaOf(rig->folder, area)), 0700);
        QVERIFY(!QFileInfo::exists(rig->WorkRoot() + u'/' + FolderRig::kWorkId + QStringLiteral("/Ac")));
    }

    // Open, edit, write back and take out on a FAT stick: the copies and the staging are in the runtime
    // folder, the container gets the edit, and no decrypted byte lands below the program or the folder.
    void NoPlaintextOnTheStick() {
        auto rig = Started(false, DriveType::Removable);
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "alpha secret");
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QCOMPARE(copy, rig->PlainRoot() + u'/' + FolderRig::kWorkId + QStringLiteral("/Ac/a.txt"));
        QCOMPARE(CopiesRig::Mode(copy), 0600);
        QVERIFY(CopiesRig::Edit(copy, "bravo secret, edited"));
        rig->EndAndTick(rig->launcher.pid);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(rig->Opens(container, QStringLiteral("a.txt"), "bravo secret, edited"));

        QString staged;
        QByteArray stagedBytes;
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
            staged = request.items.first().staged;
            stagedBytes = CopiesRig::Bytes(staged);
            return int(TakeOutPrompts::kDragged);
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {container}), 0);
        QCOMPARE(staged, rig->PlainRoot() + u'/' + FolderRig::kWorkId + QStringLiteral("/To/a.txt"));
        QCOMPARE(stagedBytes, QByteArray("bravo secret, edited"));

        for (const QString& stick : {rig->app.ProgramFolder(), rig->folder}) {
            QVERIFY2(!AnyFileHolds(stick, "alpha secret"), qPrintable(stick));
            QVERIFY2(!AnyFileHolds(stick, "bravo secret"), qPrintable(stick));
        }
    }

    // The room for decrypted copies is asked of the folder that takes them, and the message names it.
    void FreeSpaceOfThePlaintextFolder() {
        auto rig = Started(false, DriveType::Removable);
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "some bytes");
        rig->fs.freeBytes = 3;
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {container}), -1);
        QCOMPARE(rig->ui.Numbers(), QList<int>({CTakeOut::kMsgNoRoomForCopies}));
        QVERIFY2(rig->ui.Find(CTakeOut::kMsgNoRoomForCopies)->text.contains(rig->PlainRoot()),
                 qPrintable(rig->ui.Find(CTakeOut::kMsgNoRoomForCopies)->text));
    }

    // FAT keeps times in two-second steps: an untouched copy whose container has an odd second is not an
    // edit, and an edit of the same size saved at a whole second still is one.
    void TwoSecondTimesOfFat_data() {
        QTest::addColumn<bool>("edit");
        QTest::newRow("untouched") << false;
        QTest::newRow("edited, same size") << true;
    }
    void TwoSecondTimesOfFat() {
        QFETCH(bool, edit);
        auto rig = Started(true, DriveType::Fixed);
        QVERIFY(rig);
        // The container lies on a disk that keeps odd seconds; the work root plays FAT.
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "twelve bytes");
        QCOMPARE(rig->fs.SetModificationTime(container, 1700000001), 0);
        rig->fs.timeStep = 2;
        const QByteArray before = CopiesRig::Bytes(container);
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), 1700000000); // as FAT keeps it
        if (edit) {
            QVERIFY(CopiesRig::WriteRaw(copy, "twelve BYTES"));
            QCOMPARE(rig->fs.SetModificationTime(copy, QDateTime::currentSecsSinceEpoch()), 0);
        }
        QCOMPARE(rig->copies->IsChanged(copy, container), edit);
        rig->EndAndTick(rig->launcher.pid);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QVERIFY(!QFileInfo::exists(copy));
        if (edit)
            QVERIFY(rig->Opens(container, QStringLiteral("a.txt"), "twelve BYTES"));
        else
            QCOMPARE(CopiesRig::Bytes(container), before);
    }

    // A copy a crash left in the runtime folder is found by the next run of the same program folder.
    void LeftCopiesAreFoundAgain() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        const QString box = m_folders.NewFolder(QStringLiteral("box"));
        QString copy;
        {
            StickRig first(program);
            first.volumes.ownerModes = false;
            QVERIFY(first.Begin(box));
            copy = first.Open(first.Encrypt(box, QStringLiteral("a.txt"), "left behind"));
            QVERIFY(copy.startsWith(first.PlainRoot()));
        } // the run ends without writing back, as a crash would leave it
        StickRig next(program);
        next.volumes.ownerModes = false;
        QVERIFY(next.Resume(box));
        next.app.EmptyTemporaryWorkAreas(true);
        next.app.ReportLeftWorkingCopies();
        QCOMPARE(next.ui.Numbers(), QList<int>({143}));
        QVERIFY(next.ui.Find(143)->text.contains(box));
        QCOMPARE(CopiesRig::Bytes(copy), QByteArray("left behind"));
    }
};

QTEST_GUILESS_MAIN(TestStickAreas)
#include "TestStickAreas.moc"
