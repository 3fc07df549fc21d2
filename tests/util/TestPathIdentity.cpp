#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimbo;

// Identity by device and inode, containment on resolved paths, in a tree with real links:
//   real/a/b/file, real/a/bc, alias -> real, bindb -> real/a/b, real/a/b/up -> ../.., real/a/b/dead -> nowhere
class TestPathIdentity : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString At(const QString& relative) const { return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("real/a/b")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("real/a/bc")));
        QFile file(At(QStringLiteral("real/a/b/file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QFile::link(At(QStringLiteral("real")), At(QStringLiteral("alias"))));
        QVERIFY(QFile::link(At(QStringLiteral("real/a/b")), At(QStringLiteral("bindb"))));
        QVERIFY(::symlink("../..", QFile::encodeName(At(QStringLiteral("real/a/b/up"))).constData()) == 0);
        QVERIFY(::symlink("nowhere", QFile::encodeName(At(QStringLiteral("real/a/b/dead"))).constData()) == 0);
        QVERIFY(::link(QFile::encodeName(At(QStringLiteral("real/a/b/file"))).constData(),
                       QFile::encodeName(At(QStringLiteral("real/a/hard"))).constData()) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(At(QStringLiteral("real/a/pipe"))).constData(), 0600) == 0);
    }

    void WithinResolved_data() {
        QTest::addColumn<QString>("inner");
        QTest::addColumn<QString>("outer");
        QTest::addColumn<bool>("within");
        QTest::newRow("below") << "real/a/b/file" << "real/a" << true;
        QTest::newRow("the same path") << "real/a/b" << "real/a/b" << true;
        QTest::newRow("symlinked parent") << "alias/a/b" << "real/a" << true;
        QTest::newRow("outer through the link") << "real/a/b/file" << "alias/a/b" << true;
        QTest::newRow("bind-like alias") << "bindb/file" << "real/a/b" << true;
        QTest::newRow("alias is the folder") << "bindb" << "alias/a/b" << true;
        QTest::newRow("name prefix is not a parent") << "real/a/bc" << "real/a/b" << false;
        QTest::newRow("prefix through the link") << "alias/a/bc" << "bindb" << false;
        QTest::newRow("trailing slash inside") << "real/a/b/" << "real/a/b" << true;
        QTest::newRow("trailing slash outside") << "real/a/b" << "alias/a/b//" << true;
        QTest::newRow("parent is not inside") << "real/a" << "real/a/b" << false;
        QTest::newRow("missing target below") << "bindb/missing/deeper" << "real/a/b" << true;
        QTest::newRow("missing target beside") << "real/a/missing" << "real/a/b" << false;
        QTest::newRow("link to an ancestor leads out") << "real/a/b/up" << "real/a/b" << false;
        QTest::newRow("through a link to an ancestor") << "real/a/b/up/a" << "real/a" << true;
        QTest::newRow("dangling link stays below") << "real/a/b/dead" << "real/a/b" << true;
    }

    void WithinResolved() {
        QFETCH(QString, inner);
        QFETCH(QString, outer);
        QFETCH(bool, within);
        QCOMPARE(IsWithinResolved(At(inner), At(outer)), within);
    }

    void ResolvedPathOfMissing() {
        QCOMPARE(ResolvedPath(At(QStringLiteral("alias/a/new/x"))), QDir(At(QStringLiteral("real/a"))).canonicalPath() +
                                                                        QStringLiteral("/new/x"));
        QCOMPARE(ResolvedPath(At(QStringLiteral("bindb/"))), QDir(At(QStringLiteral("real/a/b"))).canonicalPath());
    }

    // The text-only test keeps "/a/bc" out of "/a/b" and ignores trailing separators.
    void WithinText_data() {
        QTest::addColumn<QString>("inner");
        QTest::addColumn<QString>("outer");
        QTest::addColumn<bool>("within");
        QTest::newRow("below") << "/a/b/c" << "/a/b" << true;
        QTest::newRow("same") << "/a/b" << "/a/b" << true;
        QTest::newRow("name prefix") << "/a/bc" << "/a/b" << false;
        QTest::newRow("outer slash") << "/a/b" << "/a/b/" << true;
        QTest::newRow("inner slash") << "/a/b/" << "/a/b" << true;
        QTest::newRow("root") << "/a" << "/" << true;
        QTest::newRow("empty outer") << "/a" << "" << false;
        QTest::newRow("case differs") << "/A/b" << "/a" << false;
    }

    void WithinText() {
        QFETCH(QString, inner);
        QFETCH(QString, outer);
        QFETCH(bool, within);
        QCOMPARE(IsWithinPath(inner, outer), within);
    }

    void Same_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("one path") << "real/a/b/file" << "real/a/b/file" << true;
        QTest::newRow("linked parent") << "alias/a/b/file" << "real/a/b/file" << true;
        QTest::newRow("bind-like folder") << "alias/a/b" << "bindb/." << true;
        QTest::newRow("hard link") << "real/a/hard" << "real/a/b/file" << true;
        QTest::newRow("link is not its target") << "bindb" << "real/a/b" << false;
        QTest::newRow("other file") << "real/a/bc" << "real/a/b" << false;
        QTest::newRow("missing") << "real/a/missing" << "real/a/missing" << false;
    }

    void Same() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        LocalFileSystem files;
        QCOMPARE(SameItem(files, At(first), At(second)), same);
    }

    void Kind_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind");
        QTest::newRow("file") << "real/a/b/file" << int(ItemKind::File);
        QTest::newRow("folder") << "real/a" << int(ItemKind::Folder);
        QTest::newRow("folder through a link") << "alias/a" << int(ItemKind::Folder);
        QTest::newRow("link to a folder") << "alias" << int(ItemKind::Link);
        QTest::newRow("link to an ancestor") << "real/a/b/up" << int(ItemKind::Link);
        QTest::newRow("dangling link") << "real/a/b/dead" << int(ItemKind::Link);
        QTest::newRow("pipe") << "real/a/pipe" << int(ItemKind::Special);
        QTest::newRow("missing") << "real/missing" << int(ItemKind::Missing);
    }

    void Kind() {
        QFETCH(QString, path);
        QFETCH(int, kind);
        QCOMPARE(int(KindOf(At(path))), kind);
    }
};

QTEST_GUILESS_MAIN(TestPathIdentity)
#include "TestPathIdentity.moc"
