#include "FolderRig.h"
#include "folder/FolderBackup.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>

using namespace korimbo;

namespace {

// Every file below `directory` (hidden ones too) by its path from there.
QStringList FilesBelow(const QString& directory) {
    QStringList files;
    QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next().mid(directory.size() + 1));
    return files;
}

QByteArray RandomBytes(int size) {
    QByteArray bytes(size, '\0');
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Flips one bit of a file in place and gives it back its modification time, as silent damage would.
bool FlipBitKeepingTime(const QString& path, qint64 offset) {
    const QDateTime modified = QFileInfo(path).lastModified();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile file(path);
    char byte = 0;
    return file.open(QIODevice::ReadWrite) && file.seek(offset) && file.getChar(&byte) && file.seek(offset) &&
           file.putChar(char(byte ^ 0x10)) && file.flush() &&
           file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// A registered folder holding one container `first`, and a destination beside it.
struct BackupRig : FolderRig {
    using FolderRig::FolderRig;
    QString destination;
    QString first;
    BackupCounts counts;

    OpResult Backup() {
        ui.Clear();
        CFolderBackup backup(Engine(), fs, ui, *app.State().catalogue);
        const OpResult rc = backup.Run(folder, destination);
        counts = backup.Counts();
        return rc;
    }
    QString Target() const { return CFolderBackup::TargetOf(folder, destination); }
    QString CopyOf(const QString& container) const { return Target() + container.mid(folder.size()); }
};

} // namespace

// The backup of an encrypted folder: what it carries and skips, and how it ends early.
class TestFolderBackup : public QObject {
    Q_OBJECT

    TestFolders m_folders;

    std::unique_ptr<BackupRig> Started(const QByteArray& contents = RandomBytes(5000)) {
        auto rig = std::make_unique<BackupRig>(m_folders.NewFolder(QStringLiteral("program")));
        rig->destination = m_folders.NewFolder(QStringLiteral("backup-dest"));
        if (rig->StartWith(m_folders.NewFolder(QStringLiteral("box"))))
            rig->first = rig->Encrypt(rig->folder, QStringLiteral("a.bin"), contents);
        return rig->first.isEmpty() ? nullptr : std::move(rig);
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Containers go, not a plain file nor one of another password nor a broken one. A second run copies what is
    // new or changed and copies damaged where they lie (size and time kept), and keeps what the folder lost. A copy
    // damaged on its way does not count nor replace a good one. Registered, the backup decrypts to the same bytes.
    void BackupCarriesTheContainersThenWhatChanged() {
        auto rig = Started("alpha");
        QVERIFY(rig);
        const QString sub = rig->folder + QStringLiteral("/reports");
        QVERIFY(QDir().mkpath(sub));
        QStringList plains{QStringLiteral("alpha")}; // in order, with "delta" added later at the end
        QStringList c;                               // removed, damaged in the header, damaged at the end, unchanged
        for (int i = 0; i < 4; ++i) {
            plains.append(QStringLiteral("c%1").arg(i));
            c.append(rig->Encrypt(i % 2 ? sub : rig->folder, plains.last(), plains.last().toLatin1()));
        }
        QVERIFY(rig->EnterKey(QStringLiteral("other"), QStringLiteral("Other#Pw2")) &&
                !rig->Encrypt(sub, QStringLiteral("foreign.txt"), "x", QStringLiteral("other")).isEmpty());
        QVERIFY(FolderRig::WriteRaw(rig->folder + QStringLiteral("/notes.txt"), "plaintext"));
        const QString broken = rig->Encrypt(sub, QStringLiteral("broken"), RandomBytes(200000));
        QVERIFY(QFile::setPermissions(broken, QFile::ReadOwner | QFile::WriteOwner) &&
                QFile::resize(broken, QFileInfo(broken).size() / 2));
        QCOMPARE(rig->Backup(), OpResult::kDone);
        const auto* rejected = rig->ui.Find(msg::kBackupCopyRejected);
        QVERIFY(rejected && rejected->icon == Icon::Warning);

        QVERIFY(FolderRig::Touch(rig->first, 60) && QFile::remove(c[0]));
        QVERIFY(FlipBitKeepingTime(rig->CopyOf(c[1]), 40));
        QVERIFY(FlipBitKeepingTime(rig->CopyOf(c[2]), QFileInfo(c[2]).size() - 1));
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("d.txt"), "delta").isEmpty());
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 4);
        QCOMPARE(rig->counts.unchanged, 1);

        QVERIFY(FolderRig::Touch(rig->first, 60) &&
                !rig->Encrypt(rig->folder, QStringLiteral("e"), "epsilon").isEmpty());
        rig->fs.corruptFault = {QStringLiteral("backup-dest"), 0, 40};
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 0);
        QCOMPARE(rig->counts.rejected, 3);
        rig->fs.corruptFault = {};

        const QString target = rig->Target();
        QCOMPARE(rig->Add(target, FolderRig::kPassword, QStringLiteral("0"), QStringLiteral("BACKUP")), 0);
        QVERIFY(rig->EnterKey(target, FolderRig::kPassword));
        QStringList shown;
        for (const QString& file : FilesBelow(target)) {
            const QString out = rig->scratch.filePath(file.section(u'/', -1));
            QCOMPARE(rig->Engine().DecryptFile(target + u'/' + file, out, target), kOk);
            QFile plain(out);
            QVERIFY(plain.open(QIODevice::ReadOnly));
            shown.append(QString::fromLatin1(plain.readAll()));
        }
        shown.sort();
        QCOMPARE(shown, plains << QStringLiteral("delta"));
    }

    // Every way a backup ends early says why and leaves nothing of it at the destination, nor in the folder.
    void EndsEarlyLeavingNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("error");
        const int error = int(Icon::Error);
        QTest::newRow("folder cannot be made") << "makeFolder" << msg::kBackupFolderFailed << error << EACCES;
        QTest::newRow("disk full") << "write" << msg::kBackupCopyFailed << error << ENOSPC;
        QTest::newRow("source unreadable") << "read" << msg::kBackupCopyFailed << error << EIO;
        QTest::newRow("source cannot be opened") << "open" << msg::kBackupCopyFailed << error << EACCES;
        // Copied in pieces of 1 MiB, read back to be checked in pieces of 128000 bytes.
        QTest::newRow("stop while copying") << "1" << msg::kBackupStopped << int(Icon::Information) << 0;
        QTest::newRow("stop while checking") << "10" << msg::kBackupStopped << int(Icon::Information) << 0;
        QTest::newRow("destination inside") << "inside" << msg::kBackupInsideFolder << int(Icon::Warning) << 0;
        QTest::newRow("destination around") << "parent" << msg::kBackupInsideFolder << int(Icon::Warning) << 0;
    }
    void EndsEarlyLeavingNothing() {
        QFETCH(QString, how);
        QFETCH(int, number);
        QFETCH(int, icon);
        QFETCH(int, error);
        auto rig = Started(RandomBytes(3 * 1024 * 1024));
        QVERIFY(rig);
        const QString destination = rig->destination;
        const QStringList before = FilesBelow(rig->folder);
        const int stopAt = how.toInt();
        int seen = 0;
        rig->ui.OnPump([&](int) {
            if (stopAt > 0 && !FilesBelow(destination).isEmpty() && ++seen == stopAt)
                rig->ui.SetStop(true);
        });
        const int fault = QStringList{QStringLiteral("makeFolder"), QStringLiteral("write"), QStringLiteral("read"),
                                      QStringLiteral("open")}
                              .indexOf(how);
        FaultyFileSystem& fs = rig->fs;
        FaultyFileSystem::Fault* const faults[] = {&fs.makeFolderFault, &fs.writeFault, &fs.readFault, &fs.openFault};
        if (fault >= 0) // the first two where the copy goes, the others at the container
            *faults[fault] = {fault < 2 ? QStringLiteral("backup-dest") : QFileInfo(rig->first).fileName(), error,
                              1000};
        else if (stopAt == 0)
            rig->destination = how == QLatin1String("inside") ? rig->folder + QStringLiteral("/copies")
                                                              : QFileInfo(rig->folder).path();
        QCOMPARE(rig->Backup(), stopAt > 0 ? OpResult::kDeclined : OpResult::kFailed);
        QCOMPARE(seen, stopAt);
        QCOMPARE(rig->ui.Numbers(), QList<int>{number});
        QCOMPARE(int(rig->ui.Messages()[0].icon), icon);
        QVERIFY(error == 0 || rig->ui.Messages()[0].text.contains(ErrnoText(error)));
        QCOMPARE(FilesBelow(destination), QStringList());
        QCOMPARE(FilesBelow(rig->folder), before);
        QVERIFY(!QFileInfo::exists(rig->folder + QStringLiteral("/copies")));
    }
};

QTEST_GUILESS_MAIN(TestFolderBackup)
#include "TestFolderBackup.moc"
