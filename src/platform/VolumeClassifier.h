#pragma once

#include "platform/Volumes.h"

#include <QByteArray>
#include <QString>

namespace korimbo {

// The decisions behind LocalVolumes, kept apart from the live system so that tests can feed them any
// file-system type, device and a hand-made /sys/class/block tree.

// The kind of a mounted volume. `device` is the mount's source with /dev symlinks already resolved
// ("/dev/sdb1", "/dev/dm-0", "server:/export", "tmpfs"); `sysBlockRoot` stands for /sys/class/block.
// An empty type means the volume was not found: Unknown.
DriveType ClassifyVolume(const QByteArray& fsType, const QByteArray& device, const QString& sysBlockRoot);

// Whether the disk under the block device `name` ("sdb1", "dm-0") can be taken away: its disk says
// `removable` = 1 or hangs off a USB bus. Device-mapper and similar devices are traced through `slaves/`.
bool IsRemovableBlock(const QString& name, const QString& sysBlockRoot);

// Whether a volume keeps access control, from its file-system type and the errno of the
// getxattr("system.posix_acl_access") probe (0 when the probe read an ACL).
bool KeepsAccessControlFor(const QByteArray& fsType, int probeError);

// Whether a file system of type `fsType` (as /proc/self/mountinfo names it: "vfat", "fuseblk",
// "fuse.exfat") keeps an owner and a mode per file. A plain "fuseblk" mount counts as one that cannot:
// the FUSE drivers of block devices in use are those of NTFS, exFAT and FAT.
bool KeepsOwnerModesFor(const QByteArray& fsType);

} // namespace korimbo
