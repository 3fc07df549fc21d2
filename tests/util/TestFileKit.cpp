#include "FaultyFileSystem.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/TreeWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimbo;

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
        QCOMPARE(files.MakePrivateFolder(At(QStringLiteral("p1/p2/p3"))), EROFS);
        QVERIFY(!QFileInfo::exists(At(QStringLiteral("p1/p2"))));
        files.makeFolderFault = {};
        QCOMPARE(files.MakePrivateFolder(At(QStringLiteral("p1/p2/p3"))), 0);
        for (const char* level : {"p1", "p1/p2", "p1/p2/p3"})
            QCOMPARE(Mode(At(QString::fromLatin1(level))), 0700u);
        QCOMPARE(files.MakePrivateFolder(At(QStringLiteral("source"))), ENOTDIR); // a file in the way
    }
};

QTEST_GUILESS_MAIN(TestFileKit)
#include "TestFileKit.moc"
