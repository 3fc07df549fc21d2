#pragma once

#include "util/SysResult.h"

#include <QString>
#include <QtGlobal>

namespace korimbo {

// Drive types, numbered as they are stored in the folder registry.
enum class DriveType { Unknown = 0, NoRoot = 1, Removable = 2, Fixed = 3, Network = 4, Optical = 5, RamDisk = 6 };

// What the program asks about the volume a path lies on.
class Volumes {
public:
    virtual ~Volumes() = default;
    // The mount point of the volume holding `path` (the path need not exist: its nearest existing
    // parent decides); empty when no volume can be found.
    virtual QString MountRoot(const QString& path) = 0;
    // Unknown when the volume cannot be found or told.
    virtual DriveType TypeOf(const QString& path) = 0;
    // Whether the volume keeps access control (POSIX ACL support); false when it cannot be told.
    virtual bool KeepsAccessControl(const QString& path) = 0;
    virtual SysResult FreeBytes(const QString& path, qint64& bytes) = 0;
    // Whether files on the volume keep their owner and an owner-only mode (not FAT, exFAT, NTFS through
    // FUSE, whose mount options decide every file's mode); true when it cannot be told.
    virtual bool KeepsOwnerModes(const QString&) { return true; }
};

// The volumes of this machine: QStorageInfo for the mount, the file-system type and /sys for the kind.
class LocalVolumes final : public Volumes {
public:
    QString MountRoot(const QString& path) override;
    DriveType TypeOf(const QString& path) override;
    bool KeepsAccessControl(const QString& path) override;
    SysResult FreeBytes(const QString& path, qint64& bytes) override;
    bool KeepsOwnerModes(const QString& path) override;
};

} // namespace korimbo
