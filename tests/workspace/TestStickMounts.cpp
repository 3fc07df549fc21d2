// The program and its folder on real FAT32 and exFAT images mounted through FUSE (fusefat; exfat-fuse on a
// loop device with the mask desktops use): start-up, take-out, open, write-back, the 4 GiB limit, the
// stick's own trash, no decrypted byte on the stick, and names that differ only in case. Needs root and dosfstools, exfatprogs, fusefat, exfat-fuse; else it skips.

#include "CopiesRig.h"
#include "ScriptedTakeOutPrompts.h"
#include "folder/FolderOperations.h"
#include "state/WorkAreas.h"
#include "platform/Trash.h"
#include "util/MessageNumbers.h"
#include "workspace/TakeOut.h"
#include "workspace/TakeOutCopy.h"

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

using namespace korimbo;

namespace {

const QString kMount = QStringLiteral(R"(set -e; truncate -s 64M "$1"
if [ "$3" = fat ]; then mkfs.vfat -F 32 "$1" >/dev/null; fusefat -o rw+ "$1" "$2"
else mkfs.exfat "$1" >/dev/null; loop=$(losetup -f --show "$1"); mount.exfat-fuse -o fmask=0133 "$loop" "$2"; fi)");
const QString kUnmount =
    QStringLiteral(R"(umount "$2"; loop=$(losetup -j "$1" -O NAME -n); [ -z "$loop" ] || losetup -d $loop)");

// The script's output when it failed, else empty.
QString Sh(const QString& script, const QStringList& arguments) {
    QProcess sh;
    sh.setProcessChannelMode(QProcess::MergedChannels);
    sh.start(QStringLiteral("sh"), QStringList{QStringLiteral("-c"), script, QStringLiteral("sh")} + arguments);
    const bool ok = sh.waitForFinished(30000) && sh.exitStatus() == QProcess::NormalExit && sh.exitCode() == 0;
    return ok ? QString() : QStringLiteral("cannot mount an image here: ") + QString::fromLocal8Bit(sh.readAll());
}

// An image of one kind made and mounted for one test, unmounted when it goes.
struct StickImage {
    QTemporaryDir images{QStringLiteral("/var/tmp/korimbo-stick-XXXXXX")};
    QStringList place{images.filePath(QStringLiteral("img")), images.filePath(QStringLiteral("mnt"))};
    bool folderMade = images.isValid() && QDir().mkpath(place[1]);
    QString why; // why it could not be mounted here, else empty

    explicit StickImage(const QString& kind) {
        if (folderMade)
            why = Sh(kMount, place + QStringList{kind});
    }
    ~StickImage() {
        if (folderMade && why.isEmpty())
            Sh(kUnmount, place);
    }
    StickImage(const StickImage&) = delete;
    StickImage& operator=(const StickImage&) = delete;
    QString Stick() const { return place[1]; }
};

// The volumes as mounted here, but every one a removable drive, as a USB stick is told to be.
class RemovableVolumes final : public Volumes {
public:
    QString MountRoot(const QString& path) override { return m_local.MountRoot(path); }
    DriveType TypeOf(const QString&) override { return DriveType::Removable; }
    bool KeepsAccessControl(const QString& path) override { return m_local.KeepsAccessControl(path); }
    SysResult FreeBytes(const QString& path, qint64& bytes) override { return m_local.FreeBytes(path, bytes); }
    bool KeepsOwnerModes(const QString& path) override { return m_local.KeepsOwnerModes(path); }

private:
    LocalVolumes m_local;
};

bool AnyFileHolds(const QString& folder, const QByteArray& bytes) {
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (CopiesRig::Bytes(it.next()).contains(bytes))
            return true;
    return false;
}

} // namespace

// The image of `kind` mounted, or the test skipped with the reason (the skip must stay in the test).
#define MOUNT_OR_SKIP(image, kind)                                                                   \
    if (::geteuid() != 0)                                                                            \
        QSKIP("mounting an image through FUSE needs root here (/dev/fuse and loop devices)");       \
    const StickImage image(kind);                                                                    \
    QVERIFY(image.folderMade);                                                                       \
    if (!image.why.isEmpty())                                                                        \
        QSKIP(qPrintable(image.why))

class TestStickMounts : public QObject {
    Q_OBJECT

    TestFolders m_folders;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        // The home trash of this test, on another volume than the stick.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_folders.Path(QStringLiteral("xdg-data"))));
    }

    void OnTheStick_data() { StickKinds(); }
    void OnTheStick() {
        QFETCH(QString, kind);
        MOUNT_OR_SKIP(image, kind);
        const QTemporaryDir& images = image.images;
        const QString stick = image.Stick();
        QVERIFY(!LocalVolumes().KeepsOwnerModes(stick)); // told by the mount, not by a name

        const QString program = stick + QStringLiteral("/korimbo-portable");
        const QString box = stick + QStringLiteral("/box");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(box));
        CopiesRig rig(program);
        rig.volumes.ownerModes = false;
        QVERIFY(rig.StartIn(box));
        const QString plainRoot = Ckelpie5App::PrivatePlainRoot(program) + u'/';
        ScriptedTakeOutPrompts dialogs;
        CTakeOut takeOut(*rig.copies, rig.Services(), dialogs);
        // A container made elsewhere and copied onto the stick, as people carry them.
        const QString container = box + QStringLiteral("/letter.zorf");
        QVERIFY(
            QFile::copy(rig.Encrypt(rig.scratch.path(), QStringLiteral("letter.txt"), "dear stick, first"), container));
        QString staged;
        dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
            staged = request.items.first().staged;
            return TakeOutPrompts::WindowResult::kDragged;
        };
        QCOMPARE(takeOut.Run(TakeOutKind::kDecrypted, {container}), OpResult::kDone);
        QVERIFY(staged.startsWith(plainRoot));
        rig.probe.running.insert(rig.launcher.pid);
        const QString copy = rig.Open(container);
        QVERIFY(copy.startsWith(plainRoot));
        // Incompressible, so that the container outgrows one cluster: fusefat loses a write that goes back
        // to the start of a file no larger than one cluster (through the handle that wrote it), and a
        // container's header is written last, at its start. The check catches that and the copy stays: the
        // fault is fusefat's own (a plain seek back and write of two bytes is lost the same way).
        QByteArray edit = "dear stick, second ";
        for (int i = 0; i < 2048; ++i)
            edit += QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        QVERIFY(CopiesRig::Edit(copy, edit));
        QCOMPARE(rig.ui.Numbers(), QList<int>());
        QVERIFY(!AnyFileHolds(stick, "dear stick"));

        if (kind == QStringLiteral("fat")) {
            // Refused before the first byte: a sparse 5 GiB file stands in for a large video.
            QFile big(images.filePath(QStringLiteral("video.bin")));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(5) << 30));
            QVERIFY(rig.Engine().EncryptFile(big.fileName(), box + QStringLiteral("/video.zorf"), rig.folder) != kOk);
            QVERIFY(rig.ui.Numbers().contains(781));
            QCOMPARE(QDir(box).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("letter.zorf")}));
            // The same file taken out to the stick: refused before the first byte, nothing left there.
            const QStringList before = QDir(stick).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            rig.ui.Clear();
            CTakeOutCopy copy(*rig.copies, rig.fs, rig.ui, *rig.app.State().catalogue, {big.fileName()}, false, {});
            QCOMPARE(copy.CopyItem(big.fileName(), stick + QStringLiteral("/video.bin")), -1);
            QCOMPARE(rig.ui.Numbers(), QList<int>({msg::kTooLargeForVolume}));
            QCOMPARE(QDir(stick).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
            rig.ui.Clear();
        }
        // The write-back writes a container on the stick: on fusefat the check's reader, opened while the
        // container grew, sees nothing of it past that size, and the check runs again once it is written.
        rig.EndAndTick(rig.launcher.pid);
        QCOMPARE(rig.ui.Numbers(), QList<int>());
        QVERIFY(rig.Opens(container, QStringLiteral("letter.txt"), edit));
        QVERIFY(!AnyFileHolds(stick, "dear stick"));
    }

    // A deleted container goes to the stick's own trash (.Trash-$uid, its path there relative to the
    // stick), not to the home trash on another volume, whether the stick is told removable or only found
    // on another volume than the home trash (a loop device here); undo brings it back where it was.
    void TrashOnTheStick_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removable");
        for (const bool removable : {true, false}) {
            const char* const told = removable ? "removable" : "as mounted";
            QTest::addRow("FAT32 through fusefat, %s", told) << QStringLiteral("fat") << removable;
            QTest::addRow("exFAT through exfat-fuse, %s", told) << QStringLiteral("exfat") << removable;
        }
    }
    void TrashOnTheStick() {
        QFETCH(QString, kind);
        QFETCH(bool, removable);
        MOUNT_OR_SKIP(image, kind);
        const QString stick = image.Stick();
        const QString program = stick + QStringLiteral("/korimbo-portable");
        const QString box = stick + QStringLiteral("/box");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(box));
        CopiesRig rig(program);
        rig.volumes.ownerModes = false;
        QVERIFY(rig.StartIn(box));
        const QString homeTrash = FreedesktopTrash::HomeTrashOfEnvironment();
        LocalVolumes mounted;
        RemovableVolumes stickVolumes;
        FreedesktopTrash trash(homeTrash, removable ? static_cast<Volumes&>(stickVolumes) : mounted);
        CUndoHistory history;
        CFolderOperations ops(rig.Services(), rig.prompts, &trash, history);
        ops.workRoot = rig.app.State().workFolder->angoTempFolder;
        // Made elsewhere and copied on: fusefat could not read a new container back behind its writer.
        const QString container = box + QStringLiteral("/letter.zorf");
        QVERIFY(QFile::copy(rig.Encrypt(rig.scratch.path(), QStringLiteral("letter.txt"), "dear stick"), container));
        const QString disk = QFileInfo(container).fileName();

        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(ops.Delete({container}, false), OpResult::kDone);
        const QString stickTrash = stick + QStringLiteral("/.Trash-") + QString::number(::getuid());
        QVERIFY(!QFileInfo::exists(container));
        QVERIFY(QFileInfo::exists(stickTrash + QStringLiteral("/files/") + disk));
        QCOMPARE(CopiesRig::Bytes(stickTrash + QStringLiteral("/info/") + disk + QStringLiteral(".trashinfo"))
                     .split('\n')
                     .value(1),
                 "Path=box/" + disk.toUtf8());
        QVERIFY(!QDirIterator(homeTrash, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories).hasNext());

        QCOMPARE(ops.Undo(), OpResult::kDone);
        QVERIFY(rig.Opens(container, QStringLiteral("letter.txt"), "dear stick"));
        QVERIFY(QDir(stickTrash + QStringLiteral("/files")).isEmpty());
        QVERIFY(QDir(stickTrash + QStringLiteral("/info")).isEmpty());
        QCOMPARE(rig.ui.Numbers(), QList<int>({msg::kTrashOne}));
    }

    // A work root on the stick that keeps the plaintext areas too (as a work folder the user chose there)
    // and an encrypted folder on a disk that keeps case, holding "Report.txt" beside "report.txt" and
    // "Docs/a.txt" beside "docs/a.txt": the second of each is never opened over the first's copy (take-out
    // staging opens the same way) nor listed from the first's name file.
    void CaseOnlyNamesOnAStickWorkRoot_data() { StickKinds(); }
    void CaseOnlyNamesOnAStickWorkRoot() {
        QFETCH(QString, kind);
        MOUNT_OR_SKIP(image, kind);
        const QString program = image.Stick() + QStringLiteral("/korimbo-portable");
        QVERIFY(QDir().mkpath(program));
        CopiesRig rig(program);
        rig.volumes.ownerModes = true;
        QVERIFY(rig.StartIn(m_folders.NewFolder(QStringLiteral("box"))));
        QVERIFY(QDir(rig.folder).mkpath(QStringLiteral("Docs")) && QDir(rig.folder).mkpath(QStringLiteral("docs")));
        const QStringList containers{
            rig.Encrypt(rig.folder, QStringLiteral("Report.txt"), "upper report"),
            rig.Encrypt(rig.folder, QStringLiteral("report.txt"), "lower report"),
            rig.Encrypt(rig.folder + QStringLiteral("/Docs"), QStringLiteral("a.txt"), "upper docs"),
            rig.Encrypt(rig.folder + QStringLiteral("/docs"), QStringLiteral("a.txt"), "lower docs")};
        QVERIFY(!containers.contains(QString()));

        for (int first = 0; first < containers.size(); first += 2) {
            QString copy;
            QCOMPARE(rig.copies->OpenOne(containers[first], false, QString(), WorkAreas::kEditing, &copy),
                     OpResult::kDone);
            QVERIFY(copy.startsWith(image.Stick()));
            const QByteArray bytes = CopiesRig::Bytes(copy);
            QCOMPARE(rig.copies->OpenOne(containers[first + 1], false, QString(), WorkAreas::kEditing, &copy),
                     OpResult::kFailed);
            QCOMPARE(rig.ui.Numbers(), QList<int>({msg::kCopyNameHeldOtherCase}));
            rig.ui.Clear();
            QCOMPARE(CopiesRig::Bytes(copy), bytes);
        }

        // Each directory keeps a name file of its own in the mirror on the stick.
        for (const QString& directory : {QStringLiteral("/Docs"), QStringLiteral("/docs")})
            QCOMPARE(rig.names->RefreshNameFile(rig.folder + directory, rig.folder), 0);
        for (int i : {2, 3}) {
            QList<NameEntry> entries;
            QCOMPARE(rig.names->LoadNameEntries(ParentOf(containers[i]), rig.folder, true, entries), 0);
            QCOMPARE(entries.size(), 1);
            QCOMPARE(entries[0].diskName, QFileInfo(containers[i]).fileName());
        }
    }

    // In an encrypted folder on the stick: a case-only rename of a folder or a plain file works, a rename
    // onto another item's other-case name is refused.
    void CaseOnlyNamesInAFolderOnTheStick_data() { StickKinds(); }
    void CaseOnlyNamesInAFolderOnTheStick() {
        QFETCH(QString, kind);
        MOUNT_OR_SKIP(image, kind);
        const QString stick = image.Stick();
        const QString program = stick + QStringLiteral("/korimbo-portable");
        const QString box = stick + QStringLiteral("/box");
        QVERIFY(QDir().mkpath(program) && QDir().mkpath(box + QStringLiteral("/docs")) &&
                QDir().mkpath(box + QStringLiteral("/other")) &&
                CopiesRig::WriteRaw(box + QStringLiteral("/a.txt"), "plain"));
        CopiesRig rig(program);
        rig.volumes.ownerModes = false;
        QVERIFY(rig.StartIn(box));
        CUndoHistory history;
        CFolderOperations ops(rig.Services(), rig.prompts, nullptr, history);
        QString renamed;
        QCOMPARE(ops.Rename(box + QStringLiteral("/docs"), QStringLiteral("docs"), QStringLiteral("Docs"), renamed),
                 OpResult::kDone);
        QCOMPARE(ops.Rename(box + QStringLiteral("/a.txt"), QStringLiteral("a.txt"), QStringLiteral("A.txt"), renamed),
                 OpResult::kDone);
        QCOMPARE(ops.Rename(box + QStringLiteral("/other"), QStringLiteral("other"), QStringLiteral("DOCS"), renamed),
                 OpResult::kFailed);
        QCOMPARE(rig.ui.Numbers(), QList<int>({msg::kFolderExists}));
        QCOMPARE(QDir(box).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("A.txt"), QStringLiteral("Docs"), QStringLiteral("other")}));

    }

private:
    static void StickKinds() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FAT32 through fusefat") << QStringLiteral("fat");
        QTest::newRow("exFAT through exfat-fuse, fmask=0133") << QStringLiteral("exfat");
    }
};

QTEST_GUILESS_MAIN(TestStickMounts)
#include "TestStickMounts.moc"
