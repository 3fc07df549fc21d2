#include "FaultyFileSystem.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/TreeWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <type_traits>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimbo;

// A file layer result is read through Ok(), Failed() or its errno, never by turning it into a number.
static_assert(!std::is_convertible_v<SysResult, int>);
static_assert(!std::is_convertible_v<SysResult, bool>);

// The walk, the removal, the copy and the private folders, on a tree with links out of it:
//   tree/a/file, tree/a/up -> .. (an ancestor), tree/root -> /, tree/out -> ../outside (with its own file),
//   tree/locked (no permissions, with a file)
class TestFileKit : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString At(const QString& relative) const { return m_dir.filePath(relative); }
    static bool Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static bool Link(const char* to, const QString& at) {
        return ::symlink(to, QFile::encodeName(at).constData()) == 0;
    }
    static unsigned Mode(const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    void BuildTree() {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("tree/a")) &&
                QDir(m_dir.path()).mkpath(QStringLiteral("outside")) &&
                QDir(m_dir.path()).mkpath(QStringLiteral("tree/locked")));
        QVERIFY(Write(At(QStringLiteral("tree/a/file")), "abc") && Write(At(QStringLiteral("outside/keep")), "keep") &&
                Write(At(QStringLiteral("tree/locked/inner")), "x"));
        QVERIFY(Link("..", At(QStringLiteral("tree/a/up"))) && Link("/", At(QStringLiteral("tree/root"))) &&
                Link("../outside", At(QStringLiteral("tree/out"))));
        QVERIFY(::chmod(QFile::encodeName(At(QStringLiteral("tree/locked"))).constData(), 0) == 0);
    }

private Q_SLOTS:
    void WalkStaysInTheTree() {
        BuildTree();
        QStringList seen;
        const WalkResult walk = WalkTree(At(QStringLiteral("tree")), [&](const TreeEntry& entry) {
            seen.append(entry.path.mid(At(QStringLiteral("tree")).size() + 1) + u':' +
                        QString::number(int(entry.kind)));
            return Visit::Continue;
        });
        const QString link = QString::number(int(ItemKind::Link));
        QCOMPARE(seen, (QStringList{QStringLiteral("a:2"), QStringLiteral("a/file:1"), QStringLiteral("a/up:") + link,
                                    QStringLiteral("locked:2"), QStringLiteral("out:") + link,
                                    QStringLiteral("root:") + link}));
        // Root reads any folder; a user is refused the locked one, and the walk says so.
        if (::geteuid() != 0)
            QCOMPARE(walk.unreadable, QStringList{At(QStringLiteral("tree/locked"))});
        QVERIFY(!walk.stopped);
        QVERIFY(::chmod(QFile::encodeName(At(QStringLiteral("tree/locked"))).constData(), 0700) == 0);
    }

    void FailedCopyLeavesTheTarget_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("open") << 0;
        QTest::newRow("short write") << 1;
        QTest::newRow("rename") << 2;
    }
    void FailedCopyLeavesTheTarget() {
        QFETCH(int, fault);
        const QString from = At(QStringLiteral("source"));
        const QString to = At(QStringLiteral("copies/target"));
        QVERIFY(QDir().mkpath(At(QStringLiteral("copies"))));
        QVERIFY(Write(from, QByteArray(3 * 1024 * 1024, 'n')) && Write(to, "old"));
        FaultyFileSystem files;
        FaultyFileSystem::Fault& which = fault == 0   ? files.openFault
                                         : fault == 1 ? files.writeFault
                                                      : files.renameFault;
        which = {QStringLiteral(".part"), ENOSPC, 1024 * 1024};
        const CopyResult result = CopyFileTo(files, from, to);
        QVERIFY(!result.Ok() && !result.SourceFailed());
        QCOMPARE(result.error, ENOSPC);
        QCOMPARE(Read(to), QByteArray("old"));
        QCOMPARE(QDir(At(QStringLiteral("copies"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("target")});
    }

    void PrivateFolderEachLevel() {
        FaultyFileSystem files;
        files.makeFolderFault = {QStringLiteral("/p2"), EROFS, 0};
        QCOMPARE(files.MakePrivateFolder(At(QStringLiteral("p1/p2/p3"))).error, EROFS);
        QVERIFY(!QFileInfo::exists(At(QStringLiteral("p1/p2"))));
        files.makeFolderFault = {};
        QCOMPARE(files.MakePrivateFolder(At(QStringLiteral("p1/p2/p3"))).error, 0);
        for (const char* level : {"p1", "p1/p2", "p1/p2/p3"})
            QCOMPARE(Mode(At(QString::fromLatin1(level))), 0700u);
        QCOMPARE(files.MakePrivateFolder(At(QStringLiteral("source"))).error, ENOTDIR); // a file in the way
    }

    void FileLayerResults_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("error");
        QTest::newRow("remove a missing file") << QStringLiteral("remove missing") << ENOENT;
        QTest::newRow("rename a missing file") << QStringLiteral("rename missing") << ENOENT;
        QTest::newRow("make a folder that is there") << QStringLiteral("make existing") << EEXIST;
        QTest::newRow("remove a folder that is not empty") << QStringLiteral("remove full") << ENOTEMPTY;
        QTest::newRow("make a new folder") << QStringLiteral("make new") << 0;
    }
    void FileLayerResults() {
        QFETCH(QString, call);
        QFETCH(int, error);
        LocalFileSystem files;
        const QString full = At(QStringLiteral("results"));
        QVERIFY(QDir().mkpath(full + QStringLiteral("/inner")));
        SysResult result;
        if (call == QStringLiteral("remove missing"))
            result = files.Remove(At(QStringLiteral("nothing-here")));
        else if (call == QStringLiteral("rename missing"))
            result = files.Rename(At(QStringLiteral("nothing-here")), At(QStringLiteral("nor-here")));
        else if (call == QStringLiteral("make existing"))
            result = files.MakeFolder(full);
        else if (call == QStringLiteral("remove full"))
            result = files.RemoveFolder(full);
        else
            result = files.MakeFolder(At(QStringLiteral("results-new")));
        QCOMPARE(result.error, error);
        QCOMPARE(result.Ok(), error == 0);
        QCOMPARE(result.Failed(), error != 0);
    }

    void RemoveTreeStopsAtTheFirstFileThatStays() {
        const QString root = At(QStringLiteral("kept"));
        QVERIFY(QDir().mkpath(root));
        QVERIFY(Write(root + QStringLiteral("/one"), "1"));
        LocalFileSystem files;
        const RemoveResult removed =
            RemoveTree(files, root, [](const QString&) -> SysResult { return SysResult(EIO); });
        QCOMPARE(removed.error, EIO);
        QCOMPARE(removed.path, root + QStringLiteral("/one"));
        QVERIFY(QFileInfo::exists(root + QStringLiteral("/one")));
    }
};

QTEST_GUILESS_MAIN(TestFileKit)
#include "TestFileKit.moc"
