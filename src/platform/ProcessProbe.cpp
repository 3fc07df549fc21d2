#include "platform/Launcher.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <gio/gio.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korimbo {

namespace {

constexpr int kBusTimeoutMs = 500;
const QString kProc = QStringLiteral("/proc");

// Calls `visit` with the PID of each process of this user but our own, until it answers true; that PID,
// or 0.
qint64 FindOwnProcess(const std::function<bool(qint64 pid, const QByteArray& procDir)>& visit) {
    const uid_t me = getuid();
    const qint64 self = getpid();
    const QStringList entries = QDir(kProc).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
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

// The state letter of /proc/PID/stat ('R', 'S', 'Z', ...); 0 when the process is gone.
char StateOf(qint64 pid) {
    QFile statFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!statFile.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = statFile.readAll();
    // The command name in parentheses may itself hold ") ", so the state follows the last one.
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : 0;
}

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

bool EditorLockBeside(const QFileInfo& info) {
    const QString folder = info.absolutePath() + u'/';
    const QString name = info.fileName();
    return QFileInfo::exists(folder + QStringLiteral(".~lock.") + name + u'#') ||
           QFileInfo::exists(folder + u'.' + name + QStringLiteral(".swp"));
}

// The session bus, or null; never started on demand (no autolaunch where no bus runs).
GDBusConnection* SessionBus() {
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (address.isEmpty() && (runtime.isEmpty() || !QFileInfo::exists(QFile::decodeName(runtime + "/bus")))) {
        return nullptr;
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        g_clear_error(&error);
        return nullptr;
    }
    // A lost bus must not end the program, which is GIO's default for the shared connection.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
}

} // namespace

bool LocalProcessProbe::IsRunning(qint64 pid) {
    if (pid <= 0) {
        return false;
    }
    int status = 0;
    const pid_t waited = waitpid(pid_t(pid), &status, WNOHANG);
    if (waited == pid_t(pid)) {
        return false; // our child had ended; now it is reaped
    }
    if (waited == 0) {
        return true; // our child, still running
    }
    // Not our child: it runs while it exists and is not a zombie.
    if (kill(pid_t(pid), 0) != 0 && errno != EPERM) {
        return false;
    }
    const char state = StateOf(pid);
    if (state == 0) {
        // Gone by now, or /proc hides other users' processes (hidepid): then the signal test must do.
        return kill(pid_t(pid), 0) == 0 || errno == EPERM;
    }
    return state != 'Z' && state != 'X';
}

qint64 LocalProcessProbe::DBusOwnerOf(const QString& appId) {
    QString name = appId;
    if (name.endsWith(QStringLiteral(".desktop"))) {
        name.chop(8);
    }
    const QByteArray busName = name.toUtf8();
    if (busName.isEmpty() || !g_dbus_is_name(busName.constData()) || g_dbus_is_unique_name(busName.constData())) {
        return 0;
    }
    GDBusConnection* bus = SessionBus();
    if (bus == nullptr) {
        return 0;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID",
        g_variant_new("(s)", busName.constData()), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
        kBusTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (reply == nullptr) {
        g_clear_error(&error); // the name has no owner: the application is not running
        return 0;
    }
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
    return qint64(pid);
}

qint64 LocalProcessProbe::HolderOf(const QString& file) {
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

qint64 LocalProcessProbe::WindowOwnerOf(const QString& fileName) {
    return X11WindowOwnerOf(fileName);
}

qint64 LocalProcessProbe::RunningWithExecutable(const QString& executable) {
    if (executable.isEmpty()) {
        return 0;
    }
    // A program started through a link (/usr/bin/x -> /usr/lib/x/x-bin) shows the link's target in /proc.
    QList<QByteArray> names{QFile::encodeName(QFileInfo(executable).fileName())};
    const QString target = QFileInfo(executable).canonicalFilePath();
    if (!target.isEmpty() && QFileInfo(target).fileName() != QFileInfo(executable).fileName()) {
        names.append(QFile::encodeName(QFileInfo(target).fileName()));
    }
    return FindOwnProcess([&names](qint64, const QByteArray& procDir) {
        QByteArray path = ReadLink(procDir + "/exe");
        if (path.endsWith(" (deleted)")) {
            path.chop(10); // replaced by an update while it runs
        }
        if (path.isEmpty()) {
            return false;
        }
        const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
        return names.contains(name);
    });
}

bool LocalProcessProbe::IsOpenElsewhere(const QString& file) {
    const QFileInfo info(file);
    if (EditorLockBeside(info)) {
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
    return HolderOf(file) != 0;
}

} // namespace korimbo
