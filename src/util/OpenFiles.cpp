#include "util/OpenFiles.h"

#include "util/EditorFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

namespace {

QByteArray CanonicalPath(const QString& file) {
    const QString canonical = QFileInfo(file).canonicalFilePath();
    return canonical.isEmpty() ? QByteArray() : QFile::encodeName(canonical);
}

// A lease that another process breaks sends us SIGIO, whose default ends the program. Nothing here asks
// for SIGIO otherwise, so while no one has claimed it, it is ignored.
void IgnoreLeaseBreaks() {
    struct sigaction current {};
    if (sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
        (current.sa_flags & SA_SIGINFO) == 0) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGIO, &ignore, nullptr);
    }
}

enum class Lease { Free, Taken, Unknown };

// Whether a write lease can be had on `path`: it can only while no descriptor for the file is open anywhere.
Lease TryWriteLease(const QByteArray& path) {
    IgnoreLeaseBreaks();
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return Lease::Unknown;
    }
    Lease result = Lease::Unknown;
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        result = Lease::Free;
    } else if (errno == EAGAIN || errno == EBUSY) {
        result = Lease::Taken;
    }
    close(fd);
    return result;
}

// Some file systems refuse every write lease as if the file were open (overlay and network mounts of some
// kernels); a file only we just made tells whether a refusal there means anything.
bool LeasesWorkIn(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.korimbo-lease-XXXXXX"));
    if (!probe.open()) {
        return false;
    }
    const QByteArray path = QFile::encodeName(probe.fileName());
    probe.close();
    return TryWriteLease(path) == Lease::Free;
}

} // namespace

qint64 FindOwnProcess(const std::function<bool(qint64 pid, const QByteArray& procDir)>& visit) {
    const uid_t me = getuid();
    const qint64 self = getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid == self) {
            continue;
        }
        const QByteArray procDir = "/proc/" + entry.toLatin1();
        struct stat info {};
        if (stat(procDir.constData(), &info) != 0 || info.st_uid != me) {
            continue;
        }
        if (visit(pid, procDir)) {
            return pid;
        }
    }
    return 0;
}

QByteArray ReadLink(const QByteArray& path) {
    char target[4096];
    const ssize_t length = readlink(path.constData(), target, sizeof(target));
    return length > 0 ? QByteArray(target, int(length)) : QByteArray();
}

qint64 ProcessHoldingFile(const QString& file) {
    const QByteArray target = CanonicalPath(file);
    if (target.isEmpty()) {
        return 0;
    }
    return FindOwnProcess([&target](qint64, const QByteArray& procDir) {
        const QByteArray fdDir = procDir + "/fd";
        const QStringList fds = QDir(QString::fromLatin1(fdDir)).entryList(QDir::Files | QDir::System);
        for (const QString& fd : fds) {
            if (ReadLink(fdDir + '/' + fd.toLatin1()) == target) {
                return true;
            }
        }
        return false;
    });
}

bool IsFileOpenElsewhere(const QString& file) {
    const QFileInfo info(file);
    if (IsLockedByEditor(file)) {
        return true;
    }
    const QByteArray path = CanonicalPath(file);
    if (path.isEmpty()) {
        return false;
    }
    switch (TryWriteLease(path)) {
    case Lease::Free:
        return false;
    case Lease::Taken:
        if (LeasesWorkIn(info.absolutePath())) {
            return true;
        }
        break;
    case Lease::Unknown:
        break; // not the owner, or leases are off: what /proc shows of our own processes must do
    }
    return ProcessHoldingFile(file) != 0;
}

} // namespace korimbo
