#include "FolderRig.h"
#include "folder/FolderBackup.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"

#include <QDirIterator>
#include <QMap>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <utime.h>

using namespace korimbo;

namespace {

struct BackupRig : FolderRig {
    using FolderRig::FolderRig;
    QString destination;

    OpResult Backup() {
        CFolderBackup backup(Engine(), fs, ui, *app.State().catalogue);
        const OpResult rc = backup.Run(folder, destination);
        counts = backup.Counts();
        return rc;
    }
    QString Target() const { return CFolderBackup::TargetOf(folder, destination); }
    QString Text(int number) { return app.State().catalogue->MsgA(number); }

    // Every file below `directory` (hidden ones too) by its path from there.
    static QStringList FilesBelow(const QString& directory) {
        QStringList files;
        QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next().mid(directory.size() + 1));
        files.sort();
        return files;
    }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Names shown for a directory of a registered folder, with the plain bytes behind each.
    QMap<QString, QByteArray> Shown(const QString& directory, const QString& key) {
        QMap<QString, QByteArray> shown;
        QList<NameEntry> entries;
        if (names->RefreshNameFile(directory, key) != 0 || names->LoadNameEntries(directory, key, true, entries) != 0)
            return shown;
        for (const NameEntry& entry : entries) {
            const QString path = directory + u'/' + entry.diskName;
            if (entry.kind == NameEntry::kFolder) {
                const QMap<QString, QByteArray> inner = Shown(path, key);
                for (auto it = inner.cbegin(); it != inner.cend(); ++it)
                    shown.insert(entry.displayName + u'/' + it.key(), it.value());
                continue;
            }
            const QString plain = scratch.path() + QStringLiteral("/shown.out");
            shown.insert(entry.displayName,
                         entry.kind == NameEntry::kContainer && Engine().DecryptFile(path, plain, key) == kOk
                             ? Bytes(plain)
                             : QByteArray("plain"));
            QFile::remove(plain);
        }
        return shown;
    }
    // The summary the end of a backup shows, made from the counts it should report.
    QString Summary(int copied, int unchanged, int notContainers = 0, int rejected = 0) {
        QString text = Text(msg::kBackupFinished) + u'\n' + Text(msg::kBackupCopiedCount) + QString::number(copied) +
                       u'\n' + Text(msg::kBackupUnchangedCount) + QString::number(unchanged);
        if (notContainers > 0)
            text += u'\n' + Text(msg::kBackupNotContainersCount) + QString::number(notContainers);
        if (rejected > 0)
            text += u'\n' + Text(msg::kBackupRejectedCount) + QString::number(rejected);
        return text;
    }

    BackupCounts counts;
};

QByteArray RandomBytes(int size) {
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

// Flips one bit of a file in place and gives it back its modification time, as silent damage would.
bool FlipBitKeepingTime(const QString& path, qint64 offset) {
    struct stat before {};
    if (::stat(QFile::encodeName(path).constData(), &before) != 0)
        return false;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset))
        return false;
    char byte = 0;
    if (!file.getChar(&byte) || !file.seek(offset) || !file.putChar(char(byte ^ 0x10)))
        return false;
    file.close();
    const utimbuf times{before.st_atime, before.st_mtime};
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

} // namespace

// The backup of an encrypted folder: what it carries, what a second run skips, what it refuses, and how
// failures, damaged copies and a stop leave the destination.
class TestFolderBackup : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<BackupRig> Started() {
        auto rig = std::make_unique<BackupRig>(m_folders.NewFolder(QStringLiteral("program")));
        if (!rig->StartWith(m_folders.NewFolder(QStringLiteral("box"))))
            return nullptr;
        rig->destination = m_folders.NewFolder(QStringLiteral("backup-dest"));
        return rig;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Containers and folders go; a plain file and a container of another password stay behind; registered
    // with the same password, the backup shows the same names and decrypts to the same bytes.
    void BackupCarriesTheContainersAndShowsTheSameNames() {
        auto rig = Started();
        QVERIFY(rig);
        const QString sub = rig->folder + QStringLiteral("/reports");
        QVERIFY(QDir().mkpath(sub));
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/empty")));
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "alpha").isEmpty());
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("b.bin"), RandomBytes(300000)).isEmpty());
        QVERIFY(!rig->Encrypt(sub, QStringLiteral("c.txt"), "gamma").isEmpty());
        QVERIFY(rig->EnterKey(QStringLiteral("other"), QStringLiteral("Other#Pw2")));
        QVERIFY(!rig->Encrypt(sub, QStringLiteral("foreign.txt"), "x", QStringLiteral("other")).isEmpty());
        QVERIFY(BackupRig::WriteRaw(rig->folder + QStringLiteral("/notes.txt"), "plaintext"));
        const QMap<QString, QByteArray> original = rig->Shown(rig->folder, rig->folder);
        rig->ui.Clear();

        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 3);
        QCOMPARE(rig->counts.notContainers, 2);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kBackupFinished});
        QCOMPARE(rig->ui.Messages()[0].text, rig->Summary(3, 0, 2));
        QCOMPARE(rig->ui.Messages()[0].icon, Icon::Information);
        const QString target = rig->Target();
        QCOMPARE(target, rig->destination + u'/' + QFileInfo(rig->folder).fileName());
        QVERIFY(QFileInfo(target + QStringLiteral("/empty")).isDir());
        QVERIFY(!QFileInfo::exists(target + QStringLiteral("/notes.txt")));
        QCOMPARE(BackupRig::FilesBelow(target).size(), 3);
        for (const QString& file : BackupRig::FilesBelow(target))
            QCOMPARE(BackupRig::Bytes(target + u'/' + file), BackupRig::Bytes(rig->folder + u'/' + file));

        QCOMPARE(rig->Add(target, FolderRig::kPassword, QStringLiteral("0"), QStringLiteral("BACKUP")), 0);
        QVERIFY(rig->EnterKey(target, FolderRig::kPassword));
        QMap<QString, QByteArray> expected;
        for (auto it = original.cbegin(); it != original.cend(); ++it)
            if (it.value() != "plain")
                expected.insert(it.key(), it.value());
        QCOMPARE(expected.size(), 3);
        QCOMPARE(expected.value(QStringLiteral("a.txt")), QByteArray("alpha"));
        QCOMPARE(expected.value(QStringLiteral("reports/c.txt")), QByteArray("gamma"));
        QCOMPARE(rig->Shown(target, target), expected);
    }

    // A second run copies what is new or changed, leaves the rest, and keeps what the folder no longer has.
    void SecondBackupCopiesOnlyWhatChanged() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "alpha");
        const QString b = rig->Encrypt(rig->folder, QStringLiteral("b.txt"), "beta");
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/sub")));
        QVERIFY(!rig->Encrypt(rig->folder + QStringLiteral("/sub"), QStringLiteral("c.txt"), "gamma").isEmpty());
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 3);

        QVERIFY(FolderRig::Touch(a, 60));
        QVERIFY(QFile::remove(b));
        const QString d = rig->Encrypt(rig->folder, QStringLiteral("d.txt"), "delta");
        rig->ui.Clear();
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 2);
        QCOMPARE(rig->counts.unchanged, 1);
        QCOMPARE(rig->ui.Messages().size(), 1);
        QCOMPARE(rig->ui.Messages()[0].text, rig->Summary(2, 1));
        const QString target = rig->Target();
        QCOMPARE(QFileInfo(target + u'/' + QFileInfo(a).fileName()).lastModified().toSecsSinceEpoch(),
                 QFileInfo(a).lastModified().toSecsSinceEpoch());
        QVERIFY(QFileInfo::exists(target + u'/' + QFileInfo(b).fileName())); // a backup never deletes
        QVERIFY(QFileInfo::exists(target + u'/' + QFileInfo(d).fileName()));

        rig->ui.Clear();
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 0);
        QCOMPARE(rig->counts.unchanged, 3);
    }

    // A copy damaged where it lies, its size and time kept, is copied again by the next run.
    void DamagedCopyIsReplaced_data() {
        QTest::addColumn<bool>("atEnd");
        QTest::newRow("header") << false;
        QTest::newRow("last byte") << true;
    }
    void DamagedCopyIsReplaced() {
        QFETCH(bool, atEnd);
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.bin"), RandomBytes(5000));
        QCOMPARE(rig->Backup(), OpResult::kDone);
        const QString copy = rig->Target() + u'/' + QFileInfo(container).fileName();
        const qint64 modified = QFileInfo(copy).lastModified().toSecsSinceEpoch();
        QVERIFY(FlipBitKeepingTime(copy, atEnd ? QFileInfo(copy).size() - 1 : 40));
        QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), modified);
        QVERIFY(BackupRig::Bytes(copy) != BackupRig::Bytes(container));

        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 1);
        QCOMPARE(rig->counts.unchanged, 0);
        QCOMPARE(BackupRig::Bytes(copy), BackupRig::Bytes(container));
    }

    // A copy damaged on its way is caught before it takes any place, removed, and reported; the original
    // stays as it was, and a good copy already there is not replaced by the bad one.
    void CopyDamagedOnTheWayIsRemoved() {
        auto rig = Started();
        QVERIFY(rig);
        const QString first = rig->Encrypt(rig->folder, QStringLiteral("a.bin"), RandomBytes(20000));
        const QString second = rig->Encrypt(rig->folder, QStringLiteral("b.bin"), RandomBytes(20000));
        const QByteArray original = BackupRig::Bytes(first);
        QCOMPARE(rig->Backup(), OpResult::kDone);
        const QString goodCopy = rig->Target() + u'/' + QFileInfo(first).fileName();
        QVERIFY(QFile::remove(rig->Target() + u'/' + QFileInfo(second).fileName()));
        QVERIFY(FolderRig::Touch(first, 60));

        rig->fs.corruptFault = {QStringLiteral("backup-dest"), 0, 9000};
        rig->ui.Clear();
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.rejected, 2);
        QCOMPARE(rig->counts.copied, 0);
        QCOMPARE(rig->ui.Numbers(),
                 (QList<int>{msg::kBackupCopyRejected, msg::kBackupCopyRejected, msg::kBackupFinished}));
        QCOMPARE(rig->ui.Messages()[0].icon, Icon::Warning);
        QVERIFY(rig->ui.Messages()[0].text.endsWith(first) || rig->ui.Messages()[1].text.endsWith(first));
        QCOMPARE(rig->ui.Messages()[2].text, rig->Summary(0, 0, 0, 2));
        QCOMPARE(rig->ui.Messages()[2].icon, Icon::Warning);
        QCOMPARE(BackupRig::Bytes(first), original);
        QCOMPARE(BackupRig::Bytes(goodCopy), original);
        QCOMPARE(BackupRig::FilesBelow(rig->Target()), QStringList{QFileInfo(first).fileName()});

        rig->fs.corruptFault = {};
        rig->ui.Clear();
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.copied, 2);
    }

    // A container damaged in the folder itself does not pass the check with the folder's key.
    void BrokenContainerIsNotCarried() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.bin"), RandomBytes(200000));
        QFile::setPermissions(container, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QFile::resize(container, QFileInfo(container).size() / 2));
        QCOMPARE(rig->Backup(), OpResult::kDone);
        QCOMPARE(rig->counts.rejected, 1);
        QVERIFY(rig->ui.Has(msg::kBackupCopyRejected));
        QVERIFY(BackupRig::FilesBelow(rig->Target()).isEmpty());
    }

    // A failure ends the backup with its message, and leaves no half-made file behind.
    void FailuresEndWithTheirMessage_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("error");
        QTest::newRow("folder cannot be made") << "makeFolder" << msg::kBackupFolderFailed << EACCES;
        QTest::newRow("disk full") << "write" << msg::kBackupCopyFailed << ENOSPC;
        QTest::newRow("source unreadable") << "read" << msg::kBackupCopyFailed << EIO;
        QTest::newRow("source cannot be opened") << "open" << msg::kBackupCopyFailed << EACCES;
    }
    void FailuresEndWithTheirMessage() {
        QFETCH(QString, fault);
        QFETCH(int, number);
        QFETCH(int, error);
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.bin"), RandomBytes(3000));
        const QString name = QFileInfo(container).fileName();
        if (fault == QLatin1String("makeFolder"))
            rig->fs.makeFolderFault = {QStringLiteral("backup-dest"), error};
        else if (fault == QLatin1String("write"))
            rig->fs.writeFault = {QStringLiteral("backup-dest"), error, 1000};
        else if (fault == QLatin1String("read"))
            rig->fs.readFault = {name, error, 1000};
        else
            rig->fs.openFault = {name, error};
        QCOMPARE(rig->Backup(), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{number});
        const ScriptedInteraction::Record& shown = rig->ui.Messages()[0];
        QCOMPARE(shown.icon, Icon::Error);
        QVERIFY2(shown.text.startsWith(rig->Text(number)), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(ErrnoText(error)), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(fault == QLatin1String("makeFolder") ? rig->Target() : name),
                 qPrintable(shown.text));
        QVERIFY(BackupRig::FilesBelow(rig->destination).isEmpty());
    }

    // A stop while a file is copied, or while its copy is checked, leaves nothing of it at the destination.
    void StopLeavesNoPartialFile_data() {
        QTest::addColumn<int>("pumpsSeen");
        QTest::newRow("while copying") << 1;   // the first piece of 1 MiB is written
        QTest::newRow("while checking") << 10; // the copy is complete and read back in pieces of 128000 bytes
    }
    void StopLeavesNoPartialFile() {
        QFETCH(int, pumpsSeen);
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("big.bin"), RandomBytes(3 * 1024 * 1024)).isEmpty());
        const QString target = rig->Target();
        int seen = 0;
        rig->ui.OnPump([&](int) {
            if (!BackupRig::FilesBelow(target).isEmpty() && ++seen == pumpsSeen)
                rig->ui.SetStop(true);
        });
        QCOMPARE(rig->Backup(), OpResult::kDeclined);
        QCOMPARE(seen, pumpsSeen);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kBackupStopped});
        QCOMPARE(rig->ui.Messages()[0].icon, Icon::Information);
        QCOMPARE(rig->counts.rejected, 0);
        QCOMPARE(BackupRig::FilesBelow(target), QStringList());
    }

    // The backup may not go into the folder, nor around it.
    void DestinationInOrAroundTheFolderIsRefused_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("inside") << "inside";
        QTest::newRow("the folder's own parent") << "parent";
    }
    void DestinationInOrAroundTheFolderIsRefused() {
        QFETCH(QString, where);
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "alpha").isEmpty());
        rig->destination =
            where == QLatin1String("inside") ? rig->folder + QStringLiteral("/copies") : QFileInfo(rig->folder).path();
        const QStringList before = BackupRig::FilesBelow(rig->folder);
        QCOMPARE(rig->Backup(), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kBackupInsideFolder});
        QCOMPARE(rig->ui.Messages()[0].icon, Icon::Warning);
        QCOMPARE(BackupRig::FilesBelow(rig->folder), before);
        QVERIFY(!QFileInfo::exists(rig->folder + QStringLiteral("/copies")));
    }

    void TargetIsNamedAfterTheFolder() {
        QCOMPARE(CFolderBackup::TargetOf(QStringLiteral("/a/box"), QStringLiteral("/media/stick/")),
                 QStringLiteral("/media/stick/box"));
        QCOMPARE(CFolderBackup::TargetOf(QStringLiteral("/a/box"), QStringLiteral("/")), QStringLiteral("/box"));
    }
};

QTEST_GUILESS_MAIN(TestFolderBackup)
#include "TestFolderBackup.moc"
