#include "util/FileSizeLimit.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace korimbo {

namespace {

constexpr qint64 kFatLargestFile = (qint64(1) << 32) - 1;

} // namespace

qint64 LargestFileFor(const QByteArray& fsType) {
    if (fsType == "vfat" || fsType == "msdos" || fsType == "fat" || fsType == "fuse.fusefat")
        return kFatLargestFile;
    return -1;
}

qint64 LargestFileIn(const QString& folder) {
    QString existing = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).absolutePath();
        if (parent == existing)
            return -1;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    return storage.isValid() ? LargestFileFor(storage.fileSystemType()) : -1;
}

bool FitsIn(qint64 size, const QString& folder) {
    if (size <= kFatLargestFile)
        return true;
    const qint64 largest = LargestFileIn(folder);
    return largest < 0 || size <= largest;
}

} // namespace korimbo
