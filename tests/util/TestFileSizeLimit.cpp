// FAT keeps a file's size in 32 bits; the other file systems of sticks and disks have no limit to check.

#include "util/FileSizeLimit.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

class TestFileSizeLimit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void ByType_data() {
        QTest::addColumn<QByteArray>("fsType");
        QTest::addColumn<qint64>("largest");
        for (const char* fat : {"vfat", "msdos", "fat", "fuse.fusefat"})
            QTest::newRow(fat) << QByteArray(fat) << qint64(4294967295);
        for (const char* other : {"exfat", "fuseblk", "ntfs3", "ext4", "tmpfs", ""})
            QTest::newRow(other) << QByteArray(other) << qint64(-1);
    }
    void ByType() {
        QFETCH(QByteArray, fsType);
        QFETCH(qint64, largest);
        QCOMPARE(LargestFileFor(fsType), largest);
    }

    // A folder still to be made is judged by the volume it will be made on.
    void MissingFolderTakesItsParentsVolume() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(LargestFileIn(dir.filePath(QStringLiteral("not/yet"))), LargestFileIn(dir.path()));
    }
};

QTEST_GUILESS_MAIN(TestFileSizeLimit)
#include "TestFileSizeLimit.moc"
