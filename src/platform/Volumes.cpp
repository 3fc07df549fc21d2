#include "platform/Volumes.h"

#include "platform/VolumeClassifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <linux/magic.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <sys/xattr.h>

namespace korimbo {

namespace {

const QString kSysBlockRoot = QStringLiteral("/sys/class/block");

// The path itself or its nearest existing parent; empty when nothing of it exists.
QString ExistingPart(const QString& path) {
    if (path.isEmpty())
        return QString();
    QString current = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(current)) {
        const QString parent = QFileInfo(current).absolutePath();
        if (parent == current)
            return QString();
        current = parent;
    }
    return current;
}

// The storage of the volume holding `path`; `existing` receives the path it was asked for.
QStorageInfo StorageOf(const QString& path, QString& existing) {
    existing = ExistingPart(path);
    if (existing.isEmpty())
        return QStorageInfo();
    return QStorageInfo(existing);
}

// The mount source with /dev/disk/by-* and /dev/mapper/* links followed, so sysfs knows its name.
QByteArray ResolvedDevice(const QByteArray& device) {
    if (!device.startsWith("/dev/"))
        return device;
    const QString resolved = QFileInfo(QFile::decodeName(device)).canonicalFilePath();
    return resolved.isEmpty() ? device : QFile::encodeName(resolved);
}

// The mount table's name of the file system that holds `existing`, for the kernel file systems without
// access control; empty for any other. One statfs: operations ask this for every file they take, and the
// mount table is long.
bool KernelTypeOf(const QString& existing, QByteArray& fsType) {
    struct statfs st {};
    if (::statfs(QFile::encodeName(existing).constData(), &st) != 0)
        return false;
    switch (static_cast<unsigned long>(st.f_type)) {
    case MSDOS_SUPER_MAGIC:
        fsType = "vfat";
        break;
    case EXFAT_SUPER_MAGIC:
        fsType = "exfat";
        break;
    case ISOFS_SUPER_MAGIC:
        fsType = "iso9660";
        break;
    case UDF_SUPER_MAGIC:
        fsType = "udf";
        break;
    default:
        fsType.clear();
    }
    return true;
}

} // namespace

QString LocalVolumes::MountRoot(const QString& path) {
    QString existing;
    const QStorageInfo storage = StorageOf(path, existing);
    return storage.isValid() ? storage.rootPath() : QString();
}

DriveType LocalVolumes::TypeOf(const QString& path) {
    QString existing;
    const QStorageInfo storage = StorageOf(path, existing);
    if (!storage.isValid())
        return DriveType::Unknown;
    return ClassifyVolume(storage.fileSystemType(), ResolvedDevice(storage.device()), kSysBlockRoot);
}

bool LocalVolumes::KeepsAccessControl(const QString& path) {
    const QString existing = ExistingPart(path);
    QByteArray fsType;
    if (existing.isEmpty() || !KernelTypeOf(existing, fsType))
        return false;
    // A size query is enough: it tells "no ACL here" (ENODATA) from "no ACLs on this volume".
    const ssize_t n = ::getxattr(QFile::encodeName(existing).constData(), "system.posix_acl_access", nullptr, 0);
    const int probeError = n >= 0 ? 0 : errno;
    return KeepsAccessControlFor(fsType, probeError);
}

bool LocalVolumes::KeepsOwnerModes(const QString& path) {
    QString existing;
    const QStorageInfo storage = StorageOf(path, existing);
    return !storage.isValid() || KeepsOwnerModesFor(storage.fileSystemType());
}

SysResult LocalVolumes::FreeBytes(const QString& path, qint64& bytes) {
    bytes = 0;
    const QString existing = ExistingPart(path);
    if (existing.isEmpty())
        return ENOENT;
    struct statvfs st {};
    if (::statvfs(QFile::encodeName(existing).constData(), &st) != 0)
        return errno;
    // Some FUSE drivers (fusefat) tell no size at all: unknown, not full.
    if (st.f_blocks == 0)
        return ENOTSUP;
    bytes = static_cast<qint64>(st.f_bavail) * static_cast<qint64>(st.f_frsize);
    return 0;
}

} // namespace korimbo
