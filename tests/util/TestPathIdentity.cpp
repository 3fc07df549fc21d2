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
//   real/a/b/file, real/a/bc, real/a/hard (hard link to file), real/a/pipe, alias -> real, bindb -> real/a/b,
//   real/a/b/up -> ../.., real/a/b/dead -> nowhere
class TestPathIdentity : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString At(const QString& relative) const { return m_dir.filePath(relative); }
    static bool Link(const char* to, const QString& at) {
        return ::symlink(to, QFile::encodeName(at).constData()) == 0;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("real/a/b")) &&
                QDir(m_dir.path()).mkpath(QStringLiteral("real/a/bc")));
        QFile file(At(QStringLiteral("real/a/b/file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(Link("real", At(QStringLiteral("alias"))) && Link("real/a/b", At(QStringLiteral("bindb"))));
        QVERIFY(Link("../..", At(QStringLiteral("real/a/b/up"))) &&
                Link("nowhere", At(QStringLiteral("real/a/b/dead"))));
        QVERIFY(::link(QFile::encodeName(file.fileName()).constData(),
                       QFile::encodeName(At(QStringLiteral("real/a/hard"))).constData()) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(At(QStringLiteral("real/a/pipe"))).constData(), 0600) == 0);
    }

    // `resolved` rows go through IsWithinResolved on paths below the tree, the others through the text-only
    // IsWithinPath.
    void Within_data() {
        QTest::addColumn<bool>("resolved");
        QTest::addColumn<QString>("inner");
        QTest::addColumn<QString>("outer");
        QTest::addColumn<bool>("within");
        QTest::newRow("symlinked parent") << true << "alias/a/b"
                                          << "real/a" << true;
        QTest::newRow("outer through the link") << true << "real/a/b/file"
                                                << "alias/a/b//" << true;
        QTest::newRow("prefix through the link") << true << "alias/a/bc"
                                                 << "bindb" << false;
        QTest::newRow("missing target below") << true << "bindb/missing/deeper"
                                              << "real/a/b" << true;
        QTest::newRow("link to an ancestor leads out") << true << "real/a/b/up"
                                                       << "real/a/b" << false;
        QTest::newRow("dangling link stays below") << true << "real/a/b/dead"
                                                   << "real/a/b" << true;
        QTest::newRow("text: name prefix") << false << "/a/bc"
                                           << "/a/b" << false;
        QTest::newRow("text: slashes") << false << "/a/b/"
                                       << "/a/b/" << true;
        QTest::newRow("text: root") << false << "/a"
                                    << "/" << true;
    }
    void Within() {
        QFETCH(bool, resolved);
        QFETCH(QString, inner);
        QFETCH(QString, outer);
        QFETCH(bool, within);
        QCOMPARE(resolved ? IsWithinResolved(At(inner), At(outer)) : IsWithinPath(inner, outer), within);
    }

    void SameAndKind() {
        LocalFileSystem files;
        QVERIFY(SameItem(files, At(QStringLiteral("alias/a/b/file")), At(QStringLiteral("real/a/hard"))));
        QVERIFY(!SameItem(files, At(QStringLiteral("bindb")), At(QStringLiteral("real/a/b"))));
        QVERIFY(!SameItem(files, At(QStringLiteral("real/missing")), At(QStringLiteral("real/missing"))));
        QVERIFY(KindOf(At(QStringLiteral("alias/a"))) == ItemKind::Folder);
        QVERIFY(KindOf(At(QStringLiteral("alias"))) == ItemKind::Link);
        QVERIFY(KindOf(At(QStringLiteral("real/a/b/dead"))) == ItemKind::Link);
        QVERIFY(KindOf(At(QStringLiteral("real/a/pipe"))) == ItemKind::Special);
        QVERIFY(KindOf(At(QStringLiteral("real/missing"))) == ItemKind::Missing);
    }

    // A folder that keeps case holds "b" and "B" as two items: neither is the other's, nor is a missing
    // name or one without letters. The folding side needs a FAT or exFAT volume (TestStickMounts).
    void HeldUnderOtherNameWhereCaseIsKept() {
        QVERIFY(QDir(At(QStringLiteral("real/a"))).mkpath(QStringLiteral("B")));
        QVERIFY(QDir(At(QStringLiteral("real/a"))).mkpath(QStringLiteral("1-2")));
        for (const char* relative : {"real/a/b", "real/a/B", "real/a/bC", "real/a/1-2", "real/a/b/FILE"})
            QCOMPARE(HeldUnderOtherName(At(QString::fromLatin1(relative))), QString());
        QCOMPARE(HeldUnderOtherNameBelow(At(QStringLiteral("real")), At(QStringLiteral("real/a/B/missing"))),
                 QString());
    }
};

QTEST_GUILESS_MAIN(TestPathIdentity)
#include "TestPathIdentity.moc"
