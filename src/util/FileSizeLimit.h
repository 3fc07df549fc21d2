#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace korimbo {

// The largest file a file system of type `fsType` (as /proc/self/mountinfo names it) can hold, or -1 for
// no limit worth checking: FAT (vfat, msdos, fusefat) stores a size in 32 bits.
[[nodiscard]] qint64 LargestFileFor(const QByteArray& fsType);

// The same for the volume that holds `folder` (its nearest existing parent); -1 when it cannot be told.
[[nodiscard]] qint64 LargestFileIn(const QString& folder);

// Whether a file of `size` bytes fits on the volume that holds `folder`; the volume is looked up only for a
// size past the smallest limit there is.
[[nodiscard]] bool FitsIn(qint64 size, const QString& folder);

} // namespace korimbo
