#pragma once

#include "util/SysResult.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>

namespace korimbo {

enum class OpenMode {
    Read,           // byte-exact reading, shared with other programs
    WriteTruncate,  // created or truncated, for writing
    ReadWrite,      // existing file, read and written in place
    ReadWriteAlone, // read and written in place, refused while another program holds the file open
};

enum class Whence { Begin, End };

// The one rule for what holds plaintext or keys: folders are the owner's alone, and so are files.
constexpr unsigned kPrivateFolderMode = 0700;
constexpr unsigned kPrivateFileMode = 0600;

// What makes a file the same file: its device and inode, and what a save changes (size, times). Two
// identities taken of one path are equal only when nothing was written to it, nor another file renamed
// over it, in between.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0; // nanoseconds since the epoch
    qint64 changedNs = 0;  // status change (ctime), which a rename or chmod moves too
    quint64 links = 0;
    bool link = false; // a symbolic link (the identity is the link's own)
    bool operator==(const FileIdentity&) const = default;
    // Same file, same content as far as the metadata tells; the status time is left out, since our own
    // chmod and rename move it.
    bool SameContent(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs;
    }
};

// One open file. Every failing call leaves its errno in Error().
class File {
public:
    virtual ~File() = default;
    virtual qint64 Read(void* buffer, qint64 count) = 0;        // bytes read, 0 at the end, -1 on error
    virtual qint64 Write(const void* buffer, qint64 count) = 0; // bytes written (fewer on error), -1 on error
    virtual qint64 Seek(qint64 offset, Whence whence) = 0;      // new position, -1 on error
    virtual qint64 Position() = 0;                              // -1 on error
    virtual bool Truncate(qint64 size) = 0;
    virtual bool Sync() = 0; // commit the file to disk
    // Hands what was written to the disk without waiting; a later Sync finds it there.
    virtual void StartSync() {}
    virtual bool ModificationTime(qint64& secondsSinceEpoch) = 0;
    virtual int Error() const = 0;
};

// A mark on one volume's record of failed write-backs, taken before a run of writes to it: Sync writes
// back everything on the volume and fails when writing back any file there failed since the mark, whether
// that file is still open or not. One sync then stands for the syncs of many small files.
class VolumeSync {
public:
    virtual ~VolumeSync() = default;
    // Once a sync failed, every later one fails with it: the kernel tells a mark of a failed write-back
    // once, and the sync that heard of it may have run for other files than the one that failed (files
    // written for the next sync while it ran).
    [[nodiscard]] SysResult Sync() {
        if (m_failure == 0)
            m_failure = SyncVolume().error;
        return m_failure;
    }
    // Whether `folder` is on the marked volume.
    [[nodiscard]] virtual bool Holds(const QString& folder) = 0;

protected:
    [[nodiscard]] virtual SysResult SyncVolume() = 0;

private:
    int m_failure = 0;
};

// The file layer under every operation that reads or writes user files. The real one works on the
// local disk; tests put a fault-injecting one in its place (a full disk, a short write, a read error
// after N bytes, a file held open elsewhere), since permission bits mean nothing to root.
// Calls that return a SysResult give 0 or an errno.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual std::unique_ptr<File> Open(const QString& path, OpenMode mode, int& error) = 0;
    virtual bool Exists(const QString& path) = 0;
    virtual SysResult Size(const QString& path, qint64& size) = 0;
    // The identity of the file at `path` (links not followed).
    virtual SysResult Identify(const QString& path, FileIdentity& identity);
    virtual SysResult Remove(const QString& path) = 0;
    virtual SysResult Rename(const QString& from, const QString& to) = 0; // replaces an existing target
    virtual SysResult FreeBytes(const QString& folder, qint64& bytes) = 0;
    virtual SysResult SetModificationTime(const QString& path, qint64 secondsSinceEpoch) = 0;
    // Clears read-only (and the FAT hidden/system bits); a link is left alone, never what it points to.
    virtual SysResult MakeWritable(const QString& path) = 0;
    virtual SysResult SetReadOnly(const QString& path) = 0;
    virtual SysResult SyncFolder(const QString& folder) = 0; // makes a rename in the folder durable
    // A mark on the volume of `folder`; null where the volume cannot keep that promise (FUSE, network
    // and other file systems whose failures may not reach the mark): each file is then synced alone.
    virtual std::unique_ptr<VolumeSync> MarkVolume(const QString& folder);
    // Replaces the whole file, all or nothing: a failure or a crash part-way leaves the old file as it was.
    virtual SysResult ReplaceContents(const QString& path, const QByteArray& data) = 0;
    // Reads the whole file (for small state files only).
    virtual SysResult ReadContents(const QString& path, QByteArray& data) = 0;
    // One level of folder. Below a private folder it is 0700 from its first moment, elsewhere the umask's.
    virtual SysResult MakeFolder(const QString& path) = 0;
    virtual SysResult RemoveFolder(const QString& path) = 0; // an empty one
    // The permission bits (07777); a link is left alone, never what it points to.
    virtual SysResult SetPermissions(const QString& path, unsigned mode) = 0;

    // Every missing level of `path` (an existing folder is fine; a file or link in the way is ENOTDIR).
    SysResult MakeFolderPath(const QString& path);
    // The same, each level made here 0700, and the last one made 0700 when it already was there.
    SysResult MakePrivateFolder(const QString& path);
    // Folders whose files are the owner's alone: a file written below one of them (Open for writing,
    // ReplaceContents) is made 0600 whatever the umask. The work areas, which hold plaintext.
    virtual void SetPrivateFolders(const QStringList& folders) { m_privateFolders = folders; }
    bool IsPrivate(const QString& path) const;

private:
    SysResult MakeLevels(const QString& path, bool privately);

    QStringList m_privateFolders;
};

// The real file system (POSIX calls).
class LocalFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> Open(const QString& path, OpenMode mode, int& error) override;
    bool Exists(const QString& path) override;
    SysResult Size(const QString& path, qint64& size) override;
    SysResult Remove(const QString& path) override;
    SysResult Rename(const QString& from, const QString& to) override;
    SysResult FreeBytes(const QString& folder, qint64& bytes) override;
    SysResult SetModificationTime(const QString& path, qint64 secondsSinceEpoch) override;
    SysResult MakeWritable(const QString& path) override;
    SysResult SetReadOnly(const QString& path) override;
    SysResult SyncFolder(const QString& folder) override;
    std::unique_ptr<VolumeSync> MarkVolume(const QString& folder) override;
    SysResult ReplaceContents(const QString& path, const QByteArray& data) override;
    SysResult ReadContents(const QString& path, QByteArray& data) override;
    SysResult MakeFolder(const QString& path) override;
    SysResult RemoveFolder(const QString& path) override;
    SysResult SetPermissions(const QString& path, unsigned mode) override;
};

} // namespace korimbo
