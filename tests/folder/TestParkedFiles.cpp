#include "ForwardingFileSystem.h"
#include "FolderRig.h"
#include "folder/ParkedFiles.h"
#include "state/WorkAreas.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"

#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace korimbo;

namespace {

// The work folder on a volume of its own: a rename between it and anywhere else fails with EXDEV.
class TwoVolumes final : public ForwardingFileSystem {
public:
    TwoVolumes(FileSystem& inner, const QString& workRoot) : ForwardingFileSystem(inner), m_work(workRoot + u'/') {}
    SysResult Rename(const QString& from, const QString& to) override {
        return from.startsWith(m_work) != to.startsWith(m_work) ? EXDEV : m_inner.Rename(from, to);
    }

private:
    QString m_work;
};

const QDateTime kOldTime(QDate(2001, 2, 3), QTime(4, 5, 6));

struct ParkRig : FolderRig {
    using FolderRig::FolderRig;
    QString Area() { return app.WorkAreaOf(Slot(folder), WorkAreas::kCreation); }
    QString Aside() { return Area() + QStringLiteral("/aside"); }
    // A user's file of the folder, with an old modification time.
    QString UserFile(const QString& name, const QByteArray& bytes) {
        QFile file(folder + u'/' + name);
        return WriteRaw(file.fileName(), bytes) && file.open(QIODevice::ReadWrite) &&
                       file.setFileTime(kOldTime, QFileDevice::FileModificationTime)
                   ? file.fileName()
                   : QString();
    }
    // What a run cut short after moving `names` aside leaves: the files in "Ce" and the journal.
    bool ParkAll(const QStringList& names, FileSystem* files = nullptr) {
        ParkedFiles parked(files ? *files : fs, Engine(), Area());
        for (const QString& name : names)
            if (parked.Load().Failed() || parked.Park(folder + u'/' + name, Aside() + u'/' + name).Failed())
                return false;
        return true;
    }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

class TestParkedFiles : public QObject {
    Q_OBJECT

    TestFolders m_folders;

    std::unique_ptr<ParkRig> Started() {
        auto rig = std::make_unique<ParkRig>(m_folders.NewFolder(QStringLiteral("program")));
        if (!rig->StartWith(m_folders.NewFolder(QStringLiteral("box"))) ||
            WorkAreas::MakePrivateFolder(rig->Aside()).Failed())
            return nullptr;
        return rig;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // The entry is on disk, the owner's alone, before the file moves; with the last entry dealt with the
    // journal goes. A journal that cannot be written keeps the file where it is.
    void JournalHoldsEachParkedFileUntilItIsDealtWith() {
        auto rig = Started();
        QVERIFY(rig);
        const QString parked = rig->Aside() + QStringLiteral("/a.txt");
        ParkedFiles files(rig->fs, rig->Engine(), rig->Area());
        QCOMPARE(files.Park(rig->UserFile(QStringLiteral("a.txt"), "alpha"), parked).error, 0);
        const QString journal = ParkedFiles::JournalOf(rig->Area());
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(journal).constData(), &st) == 0 && (st.st_mode & 0777) == 0600);
        ParkedFiles reread(rig->fs, rig->Engine(), rig->Area());
        QCOMPARE(reread.Load().error, 0);
        QCOMPARE(reread.Entries(), QList<ParkedFiles::Entry>({{parked, rig->folder}}));
        files.Forget(parked);
        QVERIFY(!QFileInfo::exists(journal));

        const QString user = rig->UserFile(QStringLiteral("b.txt"), "beta");
        rig->fs.writeFault = {QStringLiteral(".parked-files"), ENOSPC, 0};
        QCOMPARE(files.Park(user, rig->Aside() + QStringLiteral("/b.txt")).error, ENOSPC);
        QCOMPARE(ParkRig::Bytes(user), QByteArray("beta"));
    }

    // The start-up housekeeping gives back what a run cut short left aside, beside a namesake that arrived
    // meanwhile and under the bytes of a name that is not UTF-8; a file that cannot go back is named in
    // A660 and stays, journal and all, for a later start. An unreadable journal keeps all of "Ce".
    void StartUpPutsParkedFilesBack() {
        auto rig = Started();
        QVERIFY(rig);
        const QByteArray native = QFile::encodeName(rig->folder) + "/\x82\xa0.txt";
        QVERIFY(!rig->UserFile(QStringLiteral("a.txt"), "alpha").isEmpty() && MakeNativeFile(native, "sjis"));
        QVERIFY(!rig->UserFile(QStringLiteral("b.txt"), "beta").isEmpty());
        QVERIFY(rig->ParkAll({QStringLiteral("a.txt"), QStringLiteral("b.txt"), PathFromNative("\x82\xa0.txt")}));
        QVERIFY(FolderRig::WriteRaw(rig->folder + QStringLiteral("/b.txt"), "newcomer"));
        rig->fs.renameFault = {rig->Aside() + QStringLiteral("/a.txt"), EACCES, 0};
        rig->app.EmptyTemporaryWorkAreas(true);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kPutBackFailed});
        QCOMPARE(ParkRig::Bytes(rig->Aside() + QStringLiteral("/a.txt")), QByteArray("alpha"));

        rig->fs.renameFault = {};
        rig->ui.Clear();
        rig->app.EmptyTemporaryWorkAreas(true);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QCOMPARE(ParkRig::Bytes(rig->folder + QStringLiteral("/a.txt")), QByteArray("alpha"));
        QCOMPARE(ParkRig::Bytes(rig->folder + QStringLiteral("/b.txt")), QByteArray("newcomer"));
        QCOMPARE(ParkRig::Bytes(rig->folder + QStringLiteral("/b (2).txt")), QByteArray("beta"));
        QVERIFY(::access(native.constData(), F_OK) == 0);
        QVERIFY(QDir(rig->Area()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

        QVERIFY(FolderRig::WriteRaw(rig->Aside() + QStringLiteral("/a.txt"), "alpha"));
        QVERIFY(FolderRig::WriteRaw(ParkedFiles::JournalOf(rig->Area()), "{torn"));
        rig->app.EmptyTemporaryWorkAreas(true);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kPutBackFailed});
        QCOMPARE(ParkRig::Bytes(rig->Aside() + QStringLiteral("/a.txt")), QByteArray("alpha"));
    }

    // With the work folder on another volume the file is copied, synced and wiped, both ways, and keeps
    // its modification time: the container made from it stores that time.
    void AcrossVolumesTheFileKeepsItsTime() {
        auto rig = Started();
        QVERIFY(rig);
        TwoVolumes volumes(rig->fs, rig->app.State().workFolder->angoTempFolder);
        const QString user = rig->UserFile(QStringLiteral("a.txt"), "alpha");
        QVERIFY(rig->ParkAll({QStringLiteral("a.txt")}, &volumes));
        QCOMPARE(QFileInfo(rig->Aside() + QStringLiteral("/a.txt")).lastModified(), kOldTime);
        ParkedFiles files(volumes, rig->Engine(), rig->Area());
        QVERIFY(files.Load().Ok() && files.PutBackAll().isEmpty());
        QCOMPARE(ParkRig::Bytes(user), QByteArray("alpha"));
        QCOMPARE(QFileInfo(user).lastModified(), kOldTime);
        QCOMPARE(QDir(rig->folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("a.txt")});
    }
};

QTEST_GUILESS_MAIN(TestParkedFiles)
#include "TestParkedFiles.moc"
