#include "util/FileSystem.h"

#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <sys/time.h>
#include <unistd.h>

namespace korimbo {

namespace {

QByteArray Native(const QString& path) {
    return NativePath(path);
}

class LocalFile final : public File {
public:
    explicit LocalFile(int fd) : m_fd(fd) {}
    ~LocalFile() override { ::close(m_fd); }

    qint64 Read(void* buffer, qint64 count) override {
        char* out = static_cast<char*>(buffer);
        qint64 done = 0;
        while (done < count) {
            const ssize_t n = ::read(m_fd, out + done, static_cast<size_t>(count - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_error = errno;
                return -1;
            }
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }

    qint64 Write(const void* buffer, qint64 count) override {
        const char* in = static_cast<const char*>(buffer);
        qint64 done = 0;
        while (done < count) {
            const ssize_t n = ::write(m_fd, in + done, static_cast<size_t>(count - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                m_error = errno;
                return done > 0 ? done : -1;
            }
            done += n;
        }
        StartWriteBehind(done);
        return done;
    }

    qint64 Seek(qint64 offset, Whence whence) override {
        const off_t pos = ::lseek(m_fd, offset, whence == Whence::Begin ? SEEK_SET : SEEK_END);
        if (pos < 0)
            m_error = errno;
        return pos;
    }

    qint64 Position() override {
        const off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
        if (pos < 0)
            m_error = errno;
        return pos;
    }

    bool Truncate(qint64 size) override { return Check(::ftruncate(m_fd, size)); }
    bool Sync() override { return Check(::fsync(m_fd)); }
    // Only a head start for the Sync that follows: a file system without it loses nothing.
    void StartSync() override { static_cast<void>(::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE)); }

    bool ModificationTime(qint64& secondsSinceEpoch) override {
        struct stat st {};
        if (!Check(::fstat(m_fd, &st)))
            return false;
        secondsSinceEpoch = st.st_mtim.tv_sec;
        return true;
    }

    int Error() const override { return m_error; }

private:
    // Every few MiB written, the kernel is told to start putting them on disk, so that the final
    // fsync waits for the last stretch only instead of the whole file, and the disk works while we
    // compute. A hint: its errors show up at the fsync.
    void StartWriteBehind(qint64 written) {
        if (written <= 0)
            return;
        m_pending += written;
        if (m_pending < kWriteBehind)
            return;
        const off_t end = ::lseek(m_fd, 0, SEEK_CUR);
        if (end >= m_pending)
            ::sync_file_range(m_fd, end - m_pending, m_pending, SYNC_FILE_RANGE_WRITE);
        m_pending = 0;
    }

    static constexpr qint64 kWriteBehind = 4 * 1024 * 1024;

    bool Check(int rc) {
        if (rc == 0)
            return true;
        m_error = errno;
        return false;
    }

    int m_fd;
    int m_error = 0;
    qint64 m_pending = 0;
};

// Another program holds the file open when the kernel refuses a write lease on it. The lease is
// given back at once: it is a probe, not a lock. File systems without leases pass.
int HeldElsewhere(int fd) {
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return 0;
    }
    return (errno == EAGAIN || errno == EBUSY) ? EBUSY : 0;
}

bool LeadsToFolder(const QString& path) {
    struct stat st {};
    return ::stat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

int Result(int rc) {
    return rc == 0 ? 0 : errno;
}

// A file system without modes (fusefat) has no read-only attribute to set or clear: nothing fails.
int ModeResult(int rc) {
    const int error = Result(rc);
    return error == ENOSYS || error == EOPNOTSUPP ? 0 : error;
}

// On FAT volumes the read-only, hidden and system attributes live beside the permission bits; other
// file systems refuse the request, which is fine.
void ClearFatAttributes(const QString& path) {
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    __u32 attributes = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0 &&
        (attributes & (ATTR_RO | ATTR_HIDDEN | ATTR_SYS)) != 0) {
        attributes &= ~static_cast<__u32>(ATTR_RO | ATTR_HIDDEN | ATTR_SYS);
        ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes);
    }
    ::close(fd);
}

// Since Linux 5.8 a failed write-back is recorded on the volume as well as on the file, and syncfs
// reports what was recorded after its descriptor was opened. Before, syncfs only wrote back.
bool SyncfsReportsFailures() {
    static const bool reports = [] {
        utsname name {};
        int major = 0;
        int minor = 0;
        return ::uname(&name) == 0 && std::sscanf(name.release, "%d.%d", &major, &minor) == 2 &&
               (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

// The kernel's own disk file systems, which record a failed write-back through the common page cache
// code. FUSE, network and stacked file systems are left out: a failure there may never reach the mark.
bool KeepsVolumeFailures(unsigned long type) {
    switch (type) {
    case EXT4_SUPER_MAGIC: // ext2, ext3 and ext4
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

class LocalVolumeSync final : public VolumeSync {
public:
    LocalVolumeSync(int fd, dev_t device) : m_fd(fd), m_device(device) {}
    ~LocalVolumeSync() override { ::close(m_fd); }
    LocalVolumeSync(const LocalVolumeSync&) = delete;
    LocalVolumeSync& operator=(const LocalVolumeSync&) = delete;

    // Asked for each file, mostly of one folder after another: the last answer is kept.
    bool Holds(const QString& folder) override {
        if (folder != m_lastFolder) {
            struct stat st {};
            m_lastFolder = folder;
            m_lastAnswer = ::stat(Native(folder).constData(), &st) == 0 && st.st_dev == m_device;
        }
        return m_lastAnswer;
    }

private:
    SysResult SyncVolume() override { return ::syncfs(m_fd) == 0 ? 0 : errno; }

    const int m_fd;
    const dev_t m_device;
    QString m_lastFolder;
    bool m_lastAnswer = false;
};

} // namespace

bool FileSystem::IsPrivate(const QString& path) const {
    for (const QString& folder : m_privateFolders)
        if (!folder.isEmpty() && path.startsWith(folder) &&
            (path.size() == folder.size() || path.at(folder.size()) == u'/'))
            return true;
    return false;
}

SysResult FileSystem::MakeFolderPath(const QString& path) {
    return MakeLevels(path, false);
}

SysResult FileSystem::MakePrivateFolder(const QString& path) {
    return MakeLevels(path, true);
}

// One level after the other, so that each level made for a private folder is 0700 from its first moment.
SysResult FileSystem::MakeLevels(const QString& path, bool privately) {
    const QString clean = CleanPath(path);
    if (path.isEmpty() || clean.isEmpty())
        return ENOENT;
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString level;
    for (const QString& part : parts) {
        level += u'/' + part;
        const ItemKind kind = KindOf(level);
        // A link to a folder leads on (a linked home, /var/run, a work folder the user keeps elsewhere).
        if (kind == ItemKind::Folder || (kind == ItemKind::Link && LeadsToFolder(level)))
            continue;
        if (kind != ItemKind::Missing)
            return ENOTDIR;
        if (const int rc = MakeFolder(level).error; rc != 0 && rc != EEXIST)
            return rc;
        if (privately)
            if (const int rc = SetPermissions(level, kPrivateFolderMode).error; rc != 0)
                return rc;
    }
    return privately ? SetPermissions(ResolvedPath(clean), kPrivateFolderMode) : 0;
}

std::unique_ptr<File> LocalFileSystem::Open(const QString& path, OpenMode mode, int& error) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case OpenMode::Read:
        flags |= O_RDONLY;
        break;
    case OpenMode::WriteTruncate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case OpenMode::ReadWrite:
        flags |= O_RDWR;
        break;
    case OpenMode::ReadWriteAlone:
        flags |= O_RDWR | O_CREAT;
        break;
    }
    const bool owned = mode != OpenMode::Read && IsPrivate(path);
    // Without O_NONBLOCK a pipe put in the file's place would block the open until a writer comes.
    const int fd = ::open(Native(path).constData(), flags | O_NONBLOCK, owned ? 0600 : 0666);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        // A pipe, socket or device is no file of ours: reading it could wait for ever or touch hardware.
        error = statted ? ENXIO : errno;
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // An older file keeps its mode through O_CREAT: take what group and others had.
    if (owned && (st.st_mode & 077) != 0)
        ::fchmod(fd, st.st_mode & 0700);
    if (mode == OpenMode::ReadWriteAlone) {
        if (const int held = HeldElsewhere(fd); held != 0) {
            ::close(fd);
            error = held;
            return nullptr;
        }
    }
    error = 0;
    return std::make_unique<LocalFile>(fd);
}

bool LocalFileSystem::Exists(const QString& path) {
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0;
}

SysResult FileSystem::Identify(const QString& path, FileIdentity& identity) {
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) != 0)
        return errno;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    identity.changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    identity.links = st.st_nlink;
    identity.link = S_ISLNK(st.st_mode);
    return 0;
}

SysResult LocalFileSystem::Size(const QString& path, qint64& size) {
    struct stat st {};
    if (::stat(Native(path).constData(), &st) != 0)
        return errno;
    size = st.st_size;
    return 0;
}

SysResult LocalFileSystem::Remove(const QString& path) {
    return Result(::unlink(Native(path).constData()));
}

SysResult LocalFileSystem::Rename(const QString& from, const QString& to) {
    return Result(::rename(Native(from).constData(), Native(to).constData()));
}

SysResult LocalFileSystem::FreeBytes(const QString& folder, qint64& bytes) {
    struct statvfs vfs {};
    if (::statvfs(Native(folder).constData(), &vfs) != 0)
        return errno;
    // Some FUSE drivers (fusefat) tell no size at all: unknown, not full.
    if (vfs.f_blocks == 0)
        return ENOTSUP;
    bytes = static_cast<qint64>(vfs.f_bavail) * static_cast<qint64>(vfs.f_frsize);
    return 0;
}

SysResult LocalFileSystem::SetModificationTime(const QString& path, qint64 secondsSinceEpoch) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = secondsSinceEpoch;
    times[1].tv_nsec = 0;
    return Result(::utimensat(AT_FDCWD, Native(path).constData(), times, 0));
}

SysResult LocalFileSystem::MakeWritable(const QString& path) {
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) != 0)
        return errno;
    // A link has no mode of its own; changing the one of what it points to would reach outside.
    if (S_ISLNK(st.st_mode))
        return 0;
    ClearFatAttributes(path);
    if (st.st_mode & S_IWUSR)
        return 0;
    return ModeResult(::chmod(Native(path).constData(), (st.st_mode & 07777) | S_IWUSR));
}

SysResult LocalFileSystem::SetReadOnly(const QString& path) {
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode))
        return 0;
    return ModeResult(::chmod(Native(path).constData(), (st.st_mode & 07777) & ~(S_IWUSR | S_IWGRP | S_IWOTH)));
}

SysResult LocalFileSystem::SyncFolder(const QString& folder) {
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int rc = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return rc;
}

std::unique_ptr<VolumeSync> FileSystem::MarkVolume(const QString&) {
    return nullptr;
}

std::unique_ptr<VolumeSync> LocalFileSystem::MarkVolume(const QString& folder) {
    if (!SyncfsReportsFailures())
        return nullptr;
    // The descriptor's open takes the mark.
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct statfs volume {};
    struct stat st {};
    if (::fstatfs(fd, &volume) != 0 || !KeepsVolumeFailures(static_cast<unsigned long>(volume.f_type)) ||
        ::fstat(fd, &st) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<LocalVolumeSync>(fd, st.st_dev);
}

SysResult LocalFileSystem::ReplaceContents(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return errno != 0 ? errno : EIO;
    // The new file takes the old one's mode, or the umask's: below a private folder it is 0600.
    if (IsPrivate(path))
        ::fchmod(file.handle(), 0600);
    if (file.write(data) != data.size()) {
        const int error = errno != 0 ? errno : EIO;
        file.cancelWriting();
        return error;
    }
    errno = 0;
    if (!file.commit())
        return errno != 0 ? errno : EIO;
    return 0;
}

SysResult LocalFileSystem::ReadContents(const QString& path, QByteArray& data) {
    int error = 0;
    std::unique_ptr<File> file = Open(path, OpenMode::Read, error);
    if (!file)
        return error;
    const qint64 size = file->Seek(0, Whence::End);
    if (size < 0 || file->Seek(0, Whence::Begin) < 0)
        return file->Error();
    data.resize(size);
    if (file->Read(data.data(), size) != size)
        return file->Error() != 0 ? file->Error() : EIO;
    return 0;
}

SysResult LocalFileSystem::MakeFolder(const QString& path) {
    return Result(::mkdir(Native(path).constData(), IsPrivate(path) ? kPrivateFolderMode : 0777));
}

SysResult LocalFileSystem::RemoveFolder(const QString& path) {
    return Result(::rmdir(Native(path).constData()));
}

SysResult LocalFileSystem::SetPermissions(const QString& path, unsigned mode) {
    struct stat st {};
    if (::lstat(Native(path).constData(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode))
        return 0;
    if ((st.st_mode & 07777) == mode)
        return 0;
    return ModeResult(::chmod(Native(path).constData(), mode));
}

} // namespace korimbo
