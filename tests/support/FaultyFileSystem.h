#pragma once

#include "util/FileSystem.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace korimbo {

// The local file system with faults put in on purpose. A fault applies to every path that contains
// its pattern (an empty pattern matches nothing).
class FaultyFileSystem final : public FileSystem {
public:
    struct Fault {
        QString pattern;
        int error = 0;
        qint64 afterBytes = 0; // for read and write faults: bytes that still pass
    };

    Fault openFault;       // Open fails with `error`
    Fault readFault;       // reads fail with `error` once `afterBytes` were read from one handle
    Fault writeFault;      // writes stop short with `error` once `afterBytes` were written to one handle
    Fault seekFault;       // seeks fail with `error`
    Fault removeFault;     // Remove fails with `error`
    Fault renameFault;     // Rename (from or to a matching path) fails with `error`
    Fault heldOpen;        // another program holds the file: ReadWriteAlone fails with EBUSY
    Fault syncFault;       // File::Sync on a matching file fails with `error` (the disk would not commit it)
    Fault syncFolderFault; // SyncFolder on a matching folder fails with `error`
    // With `markVolumes` on, every folder lies on one marked volume (MarkVolume), whose files need no syncs
    // of their own; its first sync fails with `error` when marked through a matching folder, as the kernel
    // tells each mark of a failed write-back once.
    bool markVolumes = false;
    Fault volumeSyncFault;
    Fault makeFolderFault; // MakeFolder fails with `error`
    Fault removeFolderFault; // RemoveFolder fails with `error`
    Fault corruptFault;    // writes pass, but the byte at `afterBytes` of one handle is stored with a bit flipped
    // A handle opened for reading reads nothing past the size the file had when it was opened, as fusefat's
    // do: each keeps the clusters the file had then.
    Fault staleReadFault;
    std::optional<qint64> freeBytes;
    QStringList contentsReads; // the path of every ReadContents call, for tests that count reads
    // Write permission as a user other than root meets it: opening a file without write bits for
    // writing, or replacing it, fails with EACCES (root passes such checks, and CI runs as root).
    bool honourWriteBits = false;
    qint64 timeStep = 1; // seconds of the file system's time stamps (2: FAT)

    std::unique_ptr<File> Open(const QString& path, OpenMode mode, int& error) override;
    bool Exists(const QString& path) override { return m_local.Exists(path); }
    SysResult Size(const QString& path, qint64& size) override { return m_local.Size(path, size); }
    SysResult Remove(const QString& path) override;
    SysResult Rename(const QString& from, const QString& to) override;
    SysResult FreeBytes(const QString& folder, qint64& bytes) override;
    // FAT keeps times in steps of two seconds, cut down: `timeStep` 2 plays it on any disk.
    SysResult SetModificationTime(const QString& path, qint64 secs) override {
        return m_local.SetModificationTime(path, secs - secs % timeStep);
    }
    SysResult MakeWritable(const QString& path) override { return m_local.MakeWritable(path); }
    SysResult SetReadOnly(const QString& path) override { return m_local.SetReadOnly(path); }
    SysResult SyncFolder(const QString& folder) override {
        return Matches(syncFolderFault, folder) ? syncFolderFault.error : m_local.SyncFolder(folder);
    }
    std::unique_ptr<VolumeSync> MarkVolume(const QString& folder) override;
    // A write fault makes the replacement stop short, the way a full disk or a killed writer would.
    SysResult ReplaceContents(const QString& path, const QByteArray& data) override;
    SysResult ReadContents(const QString& path, QByteArray& data) override;
    SysResult MakeFolder(const QString& path) override {
        return Matches(makeFolderFault, path) ? makeFolderFault.error : m_local.MakeFolder(path);
    }
    SysResult RemoveFolder(const QString& path) override {
        return Matches(removeFolderFault, path) ? removeFolderFault.error : m_local.RemoveFolder(path);
    }
    SysResult SetPermissions(const QString& path, unsigned mode) override { return m_local.SetPermissions(path, mode); }

    static bool Matches(const Fault& fault, const QString& path) {
        return !fault.pattern.isEmpty() && path.contains(fault.pattern);
    }

    // The real layer under this one makes the files, so it must know the private folders too.
    void SetPrivateFolders(const QStringList& folders) override {
        FileSystem::SetPrivateFolders(folders);
        m_local.SetPrivateFolders(folders);
    }

    // 0, or EACCES when honourWriteBits is on and the existing file at `path` has no write bit.
    int WriteBitsRefuse(const QString& path) const;

private:
    LocalFileSystem m_local;
};

} // namespace korimbo
