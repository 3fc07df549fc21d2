#include "platform/VolumeClassifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <initializer_list>

namespace korimbo {

namespace {

// dm over dm over a partition is as deep as real stacks go; the bound only guards against a bad tree.
constexpr int kMaxSlaveDepth = 8;

bool IsOneOf(const QByteArray& value, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (value == name)
            return true;
    }
    return false;
}

bool IsNetworkType(const QByteArray& fsType) {
    return IsOneOf(fsType,
                   {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "ceph", "davfs", "fuse.gvfsd-fuse"});
}

bool ReadsOne(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.readAll().trimmed() == "1";
}

bool DiskIsRemovable(const QString& diskFolder) {
    if (ReadsOne(diskFolder + QStringLiteral("/removable")))
        return true;
    // Card readers and USB sticks often report removable = 0; the bus gives them away.
    return QFileInfo(diskFolder).canonicalFilePath().contains(QStringLiteral("/usb"));
}

bool IsRemovableBlockAt(const QString& name, const QString& sysBlockRoot, int depth) {
    if (name.isEmpty() || depth > kMaxSlaveDepth)
        return false;
    const QString entry = sysBlockRoot + u'/' + name;
    const QString resolved = QFileInfo(entry).canonicalFilePath();
    if (resolved.isEmpty())
        return false;

    // A partition lives in its disk's folder: the disk carries `removable`.
    const bool isPartition = QFileInfo::exists(resolved + QStringLiteral("/partition"));
    const QString disk = isPartition ? QFileInfo(resolved).absolutePath() : resolved;

    // Device-mapper (and md, loop with a holder) sit on other block devices: the volume is as
    // removable as any disk under it.
    const QStringList slaves =
        QDir(disk + QStringLiteral("/slaves")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    if (!slaves.isEmpty()) {
        for (const QString& slave : slaves) {
            if (IsRemovableBlockAt(slave, sysBlockRoot, depth + 1))
                return true;
        }
        return false;
    }
    return DiskIsRemovable(disk);
}

} // namespace

bool IsRemovableBlock(const QString& name, const QString& sysBlockRoot) {
    return IsRemovableBlockAt(name, sysBlockRoot, 0);
}

DriveType ClassifyVolume(const QByteArray& fsType, const QByteArray& device, const QString& sysBlockRoot) {
    if (fsType.isEmpty())
        return DriveType::Unknown;
    if (IsNetworkType(fsType))
        return DriveType::Network;
    if (IsOneOf(fsType, {"iso9660", "udf"}) || device.startsWith("/dev/sr"))
        return DriveType::Optical;
    if (IsOneOf(fsType, {"tmpfs", "ramfs", "zram"}) || device.startsWith("/dev/zram"))
        return DriveType::RamDisk;
    if (device.startsWith("/dev/")) {
        // sysfs spells a slash inside a device name ("cciss/c0d0") as '!'.
        QString name = QFile::decodeName(device.mid(5));
        name.replace(u'/', u'!');
        if (IsRemovableBlock(name, sysBlockRoot))
            return DriveType::Removable;
    }
    return DriveType::Fixed;
}

bool KeepsOwnerModesFor(const QByteArray& fsType) {
    if (IsOneOf(fsType, {"vfat", "msdos", "fat", "exfat", "ntfs", "ntfs3", "fuseblk"}))
        return false;
    // fuse.exfat, fuse.ntfs-3g, fuse.fusefat and the like.
    if (fsType.startsWith("fuse.")) {
        const QByteArray driver = fsType.mid(5);
        return !(driver.contains("fat") || driver.contains("ntfs"));
    }
    return true;
}

bool KeepsAccessControlFor(const QByteArray& fsType, int probeError) {
    if (IsOneOf(fsType, {"vfat", "exfat", "msdos", "iso9660", "udf"}))
        return false;
    // ENODATA: the file has no ACL but the file system could hold one.
    return probeError == 0 || probeError == ENODATA;
}

} // namespace korimbo
