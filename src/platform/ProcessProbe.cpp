#include "platform/Launcher.h"

#include "util/OpenFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gio/gio.h>

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korimbo {

namespace {

constexpr int kBusTimeoutMs = 500;

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
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                                  g_variant_new("(s)", busName.constData()), G_VARIANT_TYPE("(u)"),
                                                  G_DBUS_CALL_FLAGS_NO_AUTO_START, kBusTimeoutMs, nullptr, &error);
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
    return ProcessHoldingFile(file);
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
    return IsFileOpenElsewhere(file);
}

} // namespace korimbo
