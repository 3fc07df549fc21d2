#include "EditorLeftovers.h"
#include "platform/Launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gio/gio.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace korimbo;

namespace {

// A child of this test, started without QProcess so that only the probe ever reaps it.
pid_t Spawn(const QStringList& arguments) {
    QList<QByteArray> bytes;
    for (const QString& argument : arguments) {
        bytes.append(QFile::encodeName(argument));
    }
    QList<char*> argv;
    for (QByteArray& argument : bytes) {
        argv.append(argument.data());
    }
    argv.append(nullptr);
    pid_t pid = 0;
    return posix_spawnp(&pid, argv.first(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : 0;
}

// Ends a child the probe has not reaped yet; harmless when it has.
void Stop(pid_t pid) {
    if (pid > 0 && kill(pid, SIGKILL) == 0) {
        waitpid(pid, nullptr, 0);
    }
}

char StateOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : 0;
}

bool Write(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// A command that holds `file` open for reading on descriptor 3 and then sleeps.
QStringList Holding(const QString& file) {
    return {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; exec sleep 30"), file};
}

} // namespace

class TestProcessProbe : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    LocalProcessProbe m_probe;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // An ended child stays a zombie until reaped; kill(pid, 0) alone would call it running.
    void endedChildIsNotRunning() {
        const pid_t pid = Spawn({QStringLiteral("true")});
        QVERIFY(pid > 0);
        QTRY_COMPARE(StateOf(pid), 'Z');
        QVERIFY(!m_probe.IsRunning(pid));
        // The probe reaped it: nothing is left for anyone to wait for.
        QCOMPARE(waitpid(pid, nullptr, WNOHANG), pid_t(-1));
        QVERIFY(!m_probe.IsRunning(pid));
        QVERIFY(!m_probe.IsRunning(0));
        QVERIFY(!m_probe.IsRunning(-1));
    }

    void sleepingChildRunsUntilKilled() {
        const pid_t pid = Spawn({QStringLiteral("sleep"), QStringLiteral("30")});
        QVERIFY(pid > 0);
        QVERIFY(m_probe.IsRunning(pid));
        QVERIFY(m_probe.IsRunning(pid)); // asking does not reap a running child
        QVERIFY(m_probe.RunningWithExecutable(QStringLiteral("sleep")) != 0);
        QCOMPARE(kill(pid, SIGKILL), 0);
        QTRY_VERIFY(!m_probe.IsRunning(pid));
        QCOMPARE(waitpid(pid, nullptr, WNOHANG), pid_t(-1));
    }

    // A zombie that is not our child (its parent never reaps it) is seen through /proc.
    void zombieOfAnotherParentIsNotRunning() {
        int fds[2];
        QCOMPARE(pipe(fds), 0);
        const pid_t parent = fork();
        QVERIFY(parent >= 0);
        if (parent == 0) {
            // Only calls that are safe after fork: start a child that ends at once, tell its PID, wait forever.
            const pid_t child = fork();
            if (child == 0) {
                _exit(0);
            }
            const ssize_t written = write(fds[1], &child, sizeof(child));
            pause();
            _exit(written == sizeof(child) ? 0 : 1);
        }
        close(fds[1]);
        pid_t grandchild = 0;
        const ssize_t got = read(fds[0], &grandchild, sizeof(grandchild));
        close(fds[0]);
        QCOMPARE(got, ssize_t(sizeof(grandchild)));
        QVERIFY(grandchild > 0);
        QTRY_COMPARE(StateOf(grandchild), 'Z');
        QVERIFY(!m_probe.IsRunning(grandchild));
        QCOMPARE(StateOf(grandchild), 'Z'); // left for its own parent to reap
        QVERIFY(m_probe.IsRunning(parent));
        Stop(parent);
    }

    void holderAndOpenElsewhere() {
        const QString file = Path(QStringLiteral("held 書類.txt"));
        QVERIFY(Write(file, "text"));
        QCOMPARE(m_probe.HolderOf(file), qint64(0));
        QVERIFY(!m_probe.IsOpenElsewhere(file));

        const pid_t pid = Spawn(Holding(file));
        QVERIFY(pid > 0);
        QTRY_COMPARE(m_probe.HolderOf(file), qint64(pid));
        // Another spelling of the same path names the same file.
        QCOMPARE(m_probe.HolderOf(m_dir.path() + QStringLiteral("/./held 書類.txt")), qint64(pid));
        QVERIFY(m_probe.IsOpenElsewhere(file));
        // Our own descriptors do not count as another program's.
        QFile own(file);
        QVERIFY(own.open(QIODevice::ReadOnly));
        QCOMPARE(m_probe.HolderOf(file), qint64(pid));
        own.close();

        Stop(pid);
        QCOMPARE(m_probe.HolderOf(file), qint64(0));
        QVERIFY(!m_probe.IsOpenElsewhere(file));
        // The probe leaves nothing behind beside the file.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("lease")),
                 QStringList());
    }

    // A lock or swap file counts while its owner may run (this process, or another host's office lock);
    // one with nothing readable in it no longer does.
    void editorLockFiles() {
        const QString file = Path(QStringLiteral("Report 2.odt"));
        QVERIFY(Write(file, "odt"));
        QVERIFY(!m_probe.IsOpenElsewhere(file));
        const QList<std::pair<QString, QByteArray>> locks = {
            {QStringLiteral(".~lock.Report 2.odt#"), leftovers::OfficeLock(QStringLiteral("elsewhere.example"))},
            {QStringLiteral(".Report 2.odt.swp"), leftovers::VimSwap(getpid())}};
        for (const auto& [lock, content] : locks) {
            QVERIFY(Write(Path(lock), content));
            QVERIFY2(m_probe.IsOpenElsewhere(file), qPrintable(lock));
            QVERIFY(Write(Path(lock), "unreadable"));
            QVERIFY2(!m_probe.IsOpenElsewhere(file), qPrintable(lock));
            QVERIFY(QFile::remove(Path(lock)));
            QVERIFY(!m_probe.IsOpenElsewhere(file));
        }
        QVERIFY(!m_probe.IsOpenElsewhere(Path(QStringLiteral("missing.txt"))));
    }

    // By file name, also when the program was named through a link to it.
    void runningWithExecutable() {
        const QString copy = Path(QStringLiteral("korimbo-probe-sleeper"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString link = Path(QStringLiteral("sleeper-link"));
        QVERIFY(QFile::link(copy, link));
        QCOMPARE(m_probe.RunningWithExecutable(copy), qint64(0));

        const pid_t pid = Spawn({copy, QStringLiteral("30")});
        QVERIFY(pid > 0);
        QTRY_COMPARE(m_probe.RunningWithExecutable(copy), qint64(pid));
        QCOMPARE(m_probe.RunningWithExecutable(QStringLiteral("/elsewhere/korimbo-probe-sleeper")), qint64(pid));
        QCOMPARE(m_probe.RunningWithExecutable(link), qint64(pid));
        QCOMPARE(m_probe.RunningWithExecutable(QStringLiteral("korimbo-probe-sleepe")), qint64(0));
        QCOMPARE(m_probe.RunningWithExecutable(QString()), qint64(0));
        Stop(pid);
        QCOMPARE(m_probe.RunningWithExecutable(copy), qint64(0));
    }

    void noWindowsWithoutDisplay() {
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        QCOMPARE(m_probe.WindowOwnerOf(QStringLiteral("anything.txt")), qint64(0));
        if (!display.isEmpty()) {
            qputenv("DISPLAY", display);
        }
    }

    // The owner of an application's bus name, on a private session bus of this test.
    void dbusOwner() {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Path(QStringLiteral("no-runtime"))));
        QCOMPARE(m_probe.DBusOwnerOf(QStringLiteral("org.korimbo.TestEditor.desktop")), qint64(0));

        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            QSKIP("dbus-daemon is not installed");
        }
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        QVERIFY(daemon.waitForStarted());
        QTRY_VERIFY(daemon.canReadLine());
        const QByteArray address = daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        QVERIFY(bus != nullptr);
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.korimbo.TestEditor", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
            nullptr, &error);
        QVERIFY(reply != nullptr);
        g_variant_unref(reply);

        QCOMPARE(m_probe.DBusOwnerOf(QStringLiteral("org.korimbo.TestEditor.desktop")), qint64(getpid()));
        QCOMPARE(m_probe.DBusOwnerOf(QStringLiteral("org.korimbo.TestEditor")), qint64(getpid()));
        QCOMPARE(m_probe.DBusOwnerOf(QStringLiteral("org.korimbo.Nobody.desktop")), qint64(0));
        for (const QString& invalid : {QString(), QStringLiteral("editor.desktop"), QStringLiteral(":1.1")}) {
            QCOMPARE(m_probe.DBusOwnerOf(invalid), qint64(0));
        }
        g_object_unref(bus);
        daemon.kill();
        daemon.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestProcessProbe)
#include "TestProcessProbe.moc"
