#include "platform/Trash.h"
#include "util/FileNames.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

using namespace korimbo;

namespace {

// Every path on one volume mounted at a test folder, of a chosen kind.
class RootedVolumes final : public Volumes {
public:
    QString root;
    DriveType type = DriveType::Fixed;
    QString MountRoot(const QString&) override { return root; }
    DriveType TypeOf(const QString&) override { return type; }
    bool KeepsAccessControl(const QString&) override { return true; }
    SysResult FreeBytes(const QString&, qint64& bytes) override {
        bytes = 1 << 30;
        return 0;
    }
};

bool Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The freedesktop trash as the program writes and reads it.
class TestTrash : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A file goes into files/ with an info file whose Path= is percent-encoded; a second item of the same
    // name gets a name of its own; Restore puts it back and forgets the info file.
    void MoveAndRestore() {
        QTemporaryDir dir;
        RootedVolumes volumes;
        volumes.root = dir.path();
        FreedesktopTrash trash(dir.filePath(QStringLiteral("home/Trash")), volumes);
        const QString a = dir.filePath(QStringLiteral("box/暗号 a.zorf"));
        QVERIFY(Write(a, "first"));
        QCOMPARE(trash.MoveToTrash(a), 0);
        QVERIFY(Write(a, "second"));
        QCOMPARE(trash.MoveToTrash(a), 0);
        QVERIFY(!QFileInfo::exists(a));
        const QString info = QString::fromUtf8(Read(trash.HomeTrash() + QStringLiteral("/info/暗号 a.zorf.trashinfo")));
        QVERIFY(info.startsWith(QStringLiteral("[Trash Info]\nPath=")));
        QVERIFY(info.contains(QString::fromLatin1(QUrl::toPercentEncoding(a, "/"))));
        QVERIFY(info.contains(QStringLiteral("DeletionDate=")));
        QCOMPARE(Read(trash.HomeTrash() + QStringLiteral("/files/暗号 a.2.zorf")), QByteArray("second"));
        QCOMPARE(QFileInfo(trash.HomeTrash()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());

        QList<TrashEntry> entries;
        QCOMPARE(trash.Entries(a, entries), 0);
        QCOMPARE(entries.size(), 2);
        for (const TrashEntry& entry : entries)
            QCOMPARE(entry.originalPath, a);

        // Never over an existing file.
        QVERIFY(Write(a, "in the way"));
        QCOMPARE(trash.Restore(entries.first(), a), EEXIST);
        QVERIFY(QFile::remove(a));
        QCOMPARE(trash.Restore(entries.first(), a), 0);
        QVERIFY(!QFileInfo::exists(entries.first().infoPath));
        QVERIFY(!QFileInfo::exists(entries.first().trashedPath));
        QCOMPARE(trash.Entries(a, entries), 0);
        QCOMPARE(entries.size(), 1);
    }

    // A name that is not UTF-8 (a Shift-JIS file from an archive) goes and comes back under its own bytes.
    void NameThatIsNotTextKeepsItsBytes() {
        QTemporaryDir dir;
        RootedVolumes volumes;
        volumes.root = dir.path();
        FreedesktopTrash trash(dir.filePath(QStringLiteral("home/Trash")), volumes);
        const QByteArray raw = QFile::encodeName(dir.path()) + "/\x83\x65\x83\x58\x83\x67.txt";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0 && ::write(fd, "sjis", 4) == 4 && ::close(fd) == 0);
        const QString a = PathFromNative(raw);
        QCOMPARE(trash.MoveToTrash(a), 0);
        QVERIFY(::access(raw.constData(), F_OK) != 0);
        QList<TrashEntry> entries;
        QCOMPARE(trash.Entries(a, entries), 0);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().originalPath, a);
        QCOMPARE(trash.Restore(entries.first(), a), 0);
        QVERIFY(::access(raw.constData(), F_OK) == 0);
    }

    // Other writers put Path= down unencoded; both forms are read, relative ones against the volume.
    void ReadsPathsEncodedOrNot() {
        QTemporaryDir dir;
        RootedVolumes volumes;
        volumes.root = dir.filePath(QStringLiteral("stick"));
        FreedesktopTrash trash(dir.filePath(QStringLiteral("home/Trash")), volumes);
        const QString home = trash.HomeTrash();
        QVERIFY(Write(home + QStringLiteral("/files/x 100%.zorf"), "x"));
        QVERIFY(Write(home + QStringLiteral("/info/x 100%.zorf.trashinfo"),
                      "[Trash Info]\nPath=/data/box/x 100%.zorf\nDeletionDate=2026-01-02T03:04:05\n"));
        const QString volumeTrash = volumes.root + QStringLiteral("/.Trash-") + QString::number(::getuid());
        QVERIFY(Write(volumeTrash + QStringLiteral("/files/y.zorf"), "y"));
        QVERIFY(Write(volumeTrash + QStringLiteral("/info/y.zorf.trashinfo"),
                      "[Trash Info]\nPath=box/%E6%9A%97/y.zorf\nDeletionDate=2026-01-02T03:04:05\n"));
        // An info file whose item is gone is no entry.
        QVERIFY(Write(home + QStringLiteral("/info/gone.trashinfo"), "[Trash Info]\nPath=/gone\n"));

        QList<TrashEntry> entries;
        QCOMPARE(trash.Entries(volumes.root + QStringLiteral("/box"), entries), 0);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).rawPath, QStringLiteral("/data/box/x 100%.zorf"));
        QCOMPARE(entries.at(1).originalPath, volumes.root + QStringLiteral("/box/暗/y.zorf"));
    }

    // A folder on a removable volume goes to the volume's own trash, with Path= relative to its top.
    void RemovableVolumeKeepsItsOwnTrash() {
        QTemporaryDir dir;
        RootedVolumes volumes;
        volumes.root = dir.filePath(QStringLiteral("stick"));
        volumes.type = DriveType::Removable;
        FreedesktopTrash trash(dir.filePath(QStringLiteral("home/Trash")), volumes);
        const QString folder = volumes.root + QStringLiteral("/box/d");
        QVERIFY(Write(folder + QStringLiteral("/in.zorf"), "in"));
        QCOMPARE(trash.MoveToTrash(folder), 0);
        const QString own = volumes.root + QStringLiteral("/.Trash-") + QString::number(::getuid());
        QCOMPARE(Read(own + QStringLiteral("/files/d/in.zorf")), QByteArray("in"));
        QVERIFY(Read(own + QStringLiteral("/info/d.trashinfo")).contains("\nPath=box/d\n"));
        QVERIFY(!QFileInfo::exists(trash.HomeTrash() + QStringLiteral("/files")));
        QList<TrashEntry> entries;
        QCOMPARE(trash.Entries(folder, entries), 0);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().originalPath, folder);
    }

    void HomeTrashFollowsTheEnvironment() {
        const QByteArray keep = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/x/data");
        QCOMPARE(FreedesktopTrash::HomeTrashOfEnvironment(), QStringLiteral("/x/data/Trash"));
        qputenv("XDG_DATA_HOME", "relative");
        const QString home = QFile::decodeName(qgetenv("HOME"));
        QCOMPARE(FreedesktopTrash::HomeTrashOfEnvironment(),
                 QDir::cleanPath(home + QStringLiteral("/.local/share/Trash")));
        qputenv("XDG_DATA_HOME", keep);
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "TestTrash.moc"
