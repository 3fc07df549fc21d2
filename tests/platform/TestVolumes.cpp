#include "platform/VolumeClassifier.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace korimbo;

Q_DECLARE_METATYPE(korimbo::DriveType)

class TestVolumes : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_sys;

    QString BlockRoot() const { return m_sys.filePath(QStringLiteral("class/block")); }

    static void WriteFile(const QString& path, const QByteArray& data) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }

    // A device folder under devices/<bus>/ and its link in class/block, as the kernel lays them out.
    void AddDevice(const QString& folder, const QString& name, const QByteArray& removable = QByteArray()) {
        const QString dir = m_sys.filePath(QStringLiteral("devices/") + folder);
        QVERIFY(QDir().mkpath(dir));
        if (!removable.isEmpty())
            WriteFile(dir + QStringLiteral("/removable"), removable + '\n');
        QVERIFY(QFile::link(dir, BlockRoot() + u'/' + name));
    }

    void AddPartition(const QString& diskFolder, const QString& name) {
        AddDevice(diskFolder + u'/' + name, name);
        WriteFile(m_sys.filePath(QStringLiteral("devices/") + diskFolder + u'/' + name + QStringLiteral("/partition")),
                  "1\n");
    }

    void AddSlave(const QString& holderFolder, const QString& slave) {
        const QString slaves = m_sys.filePath(QStringLiteral("devices/") + holderFolder + QStringLiteral("/slaves"));
        QVERIFY(QDir().mkpath(slaves));
        QVERIFY(QFile::link(QFileInfo(BlockRoot() + u'/' + slave).canonicalFilePath(), slaves + u'/' + slave));
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_sys.isValid());
        QVERIFY(QDir().mkpath(BlockRoot()));
        // A SATA disk, a USB stick that claims to be fixed, a card reader that says removable.
        AddDevice(QStringLiteral("pci0/ata1/block/sda"), QStringLiteral("sda"), "0");
        AddPartition(QStringLiteral("pci0/ata1/block/sda"), QStringLiteral("sda1"));
        AddPartition(QStringLiteral("pci0/ata1/block/sda"), QStringLiteral("sda2"));
        AddDevice(QStringLiteral("pci0/usb2/2-1/host6/block/sdb"), QStringLiteral("sdb"), "0");
        AddPartition(QStringLiteral("pci0/usb2/2-1/host6/block/sdb"), QStringLiteral("sdb1"));
        AddDevice(QStringLiteral("pci0/sdhci/block/sdc"), QStringLiteral("sdc"), "1");
        AddPartition(QStringLiteral("pci0/sdhci/block/sdc"), QStringLiteral("sdc1"));
        // dm-0 on the stick, dm-1 on the disk, dm-2 stacked on dm-0.
        for (const char* dm : {"dm-0", "dm-1", "dm-2"})
            AddDevice(QStringLiteral("virtual/block/") + QLatin1String(dm), QLatin1String(dm), "0");
        AddSlave(QStringLiteral("virtual/block/dm-0"), QStringLiteral("sdb1"));
        AddSlave(QStringLiteral("virtual/block/dm-1"), QStringLiteral("sda2"));
        AddSlave(QStringLiteral("virtual/block/dm-2"), QStringLiteral("dm-0"));
    }

    void Classify_data() {
        QTest::addColumn<QByteArray>("fsType");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<DriveType>("expected");
        QTest::newRow("ext4 on sata") << QByteArray("ext4") << QByteArray("/dev/sda1") << DriveType::Fixed;
        QTest::newRow("vfat on sata") << QByteArray("vfat") << QByteArray("/dev/sda2") << DriveType::Fixed;
        QTest::newRow("vfat removable=1") << QByteArray("vfat") << QByteArray("/dev/sdc1") << DriveType::Removable;
        QTest::newRow("exfat on usb") << QByteArray("exfat") << QByteArray("/dev/sdb1") << DriveType::Removable;
        QTest::newRow("fuseblk on usb") << QByteArray("fuseblk") << QByteArray("/dev/sdb1") << DriveType::Removable;
        QTest::newRow("whole usb disk") << QByteArray("vfat") << QByteArray("/dev/sdb") << DriveType::Removable;
        QTest::newRow("dm on usb") << QByteArray("ext4") << QByteArray("/dev/dm-0") << DriveType::Removable;
        QTest::newRow("dm on sata") << QByteArray("xfs") << QByteArray("/dev/dm-1") << DriveType::Fixed;
        QTest::newRow("dm on dm on usb") << QByteArray("btrfs") << QByteArray("/dev/dm-2") << DriveType::Removable;
        QTest::newRow("not in sysfs") << QByteArray("ext4") << QByteArray("/dev/nvme0n1p1") << DriveType::Fixed;
        QTest::newRow("overlay") << QByteArray("overlay") << QByteArray("overlay") << DriveType::Fixed;
        QTest::newRow("zfs dataset") << QByteArray("zfs") << QByteArray("tank/home") << DriveType::Fixed;
        QTest::newRow("tmpfs") << QByteArray("tmpfs") << QByteArray("tmpfs") << DriveType::RamDisk;
        QTest::newRow("ext4 on zram") << QByteArray("ext4") << QByteArray("/dev/zram0") << DriveType::RamDisk;
        QTest::newRow("nfs") << QByteArray("nfs") << QByteArray("server:/export") << DriveType::Network;
        QTest::newRow("nfs4") << QByteArray("nfs4") << QByteArray("server:/") << DriveType::Network;
        QTest::newRow("cifs") << QByteArray("cifs") << QByteArray("//server/share") << DriveType::Network;
        QTest::newRow("sshfs") << QByteArray("fuse.sshfs") << QByteArray("me@host:") << DriveType::Network;
        QTest::newRow("iso9660") << QByteArray("iso9660") << QByteArray("/dev/loop0") << DriveType::Optical;
        QTest::newRow("udf on removable") << QByteArray("udf") << QByteArray("/dev/sdc1") << DriveType::Optical;
        QTest::newRow("sr0") << QByteArray("hfsplus") << QByteArray("/dev/sr0") << DriveType::Optical;
        QTest::newRow("no volume") << QByteArray() << QByteArray() << DriveType::Unknown;
    }
    void Classify() {
        QFETCH(QByteArray, fsType);
        QFETCH(QByteArray, device);
        QFETCH(DriveType, expected);
        QCOMPARE(ClassifyVolume(fsType, device, BlockRoot()), expected);
    }

    void RemovableWithoutSysfs() {
        QVERIFY(!IsRemovableBlock(QStringLiteral("sdb1"), m_sys.filePath(QStringLiteral("nowhere"))));
        QCOMPARE(ClassifyVolume("vfat", "/dev/sdb1", m_sys.filePath(QStringLiteral("nowhere"))), DriveType::Fixed);
    }

    void AccessControlByType_data() {
        QTest::addColumn<QByteArray>("fsType");
        QTest::addColumn<int>("probeError");
        QTest::addColumn<bool>("expected");
        QTest::newRow("ext4 with acl") << QByteArray("ext4") << 0 << true;
        QTest::newRow("ext4 no acl yet") << QByteArray("ext4") << int(ENODATA) << true;
        QTest::newRow("not supported") << QByteArray("ext4") << int(EOPNOTSUPP) << false;
        QTest::newRow("cannot tell") << QByteArray("nfs") << int(EACCES) << false;
        QTest::newRow("vfat") << QByteArray("vfat") << int(ENODATA) << false;
        QTest::newRow("exfat") << QByteArray("exfat") << 0 << false;
        QTest::newRow("msdos") << QByteArray("msdos") << int(ENODATA) << false;
        QTest::newRow("iso9660") << QByteArray("iso9660") << int(ENODATA) << false;
        QTest::newRow("udf") << QByteArray("udf") << int(ENODATA) << false;
    }
    void AccessControlByType() {
        QFETCH(QByteArray, fsType);
        QFETCH(int, probeError);
        QFETCH(bool, expected);
        QCOMPARE(KeepsAccessControlFor(fsType, probeError), expected);
    }

    // Sticks' file systems keep no owner per file, whatever driver mounts them; the rest do.
    void OwnerModesByType_data() {
        QTest::addColumn<QByteArray>("fsType");
        QTest::addColumn<bool>("expected");
        for (const char* type :
             {"vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "fuse.exfat", "fuse.fusefat", "fuse.ntfs-3g"})
            QTest::newRow(type) << QByteArray(type) << false;
        for (const char* type : {"ext4", "btrfs", "xfs", "f2fs", "tmpfs", "overlay", "fuse.sshfs", "nfs4"})
            QTest::newRow(type) << QByteArray(type) << true;
    }
    void OwnerModesByType() {
        QFETCH(QByteArray, fsType);
        QFETCH(bool, expected);
        QCOMPARE(KeepsOwnerModesFor(fsType), expected);
    }

    void LocalVolumesOnTempDir() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        LocalVolumes volumes;
        const QString root = volumes.MountRoot(dir.path());
        QVERIFY(!root.isEmpty());
        QVERIFY2(dir.path().startsWith(root), qPrintable(root));
        const DriveType type = volumes.TypeOf(dir.path());
        QVERIFY(type != DriveType::Unknown);

        // A path that does not exist yet belongs to its nearest existing parent's volume.
        const QString missing = dir.filePath(QStringLiteral("no/such/file.txt"));
        QCOMPARE(volumes.MountRoot(missing), root);
        QCOMPARE(volumes.TypeOf(missing), type);
        QCOMPARE(volumes.KeepsAccessControl(missing), volumes.KeepsAccessControl(dir.path()));
        QCOMPARE(volumes.KeepsOwnerModes(missing), KeepsOwnerModesFor(QStorageInfo(dir.path()).fileSystemType()));

        qint64 bytes = -1;
        QCOMPARE(volumes.FreeBytes(missing, bytes).error, 0);
        QVERIFY(bytes >= 0);
    }

    void LocalVolumesWithoutPath() {
        LocalVolumes volumes;
        QVERIFY(volumes.MountRoot(QString()).isEmpty());
        QCOMPARE(volumes.TypeOf(QString()), DriveType::Unknown);
        QVERIFY(!volumes.KeepsAccessControl(QString()));
        qint64 bytes = -1;
        QVERIFY(volumes.FreeBytes(QString(), bytes).Failed());
    }
};

QTEST_GUILESS_MAIN(TestVolumes)
#include "TestVolumes.moc"
