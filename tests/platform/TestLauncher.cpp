#include "platform/Launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>

using namespace korimbo;

// GIO reads the XDG variables once per process: one private tree serves every case.
//   text/plain   default "editor.desktop"; also "other.desktop"
//   application/octet-stream (what GIO calls an unknown type)   also "editor.desktop", which must not count
//   bin/editor, bin/other, "bin/my editor"   write the path they got beside it ("<file>.seen"), then sleep
class TestLauncher : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_bin;
    QList<qint64> m_started;
    LocalProcessProbe m_probe;

    QString Path(const QString& relative) const { return m_root.filePath(relative); }

    static bool Write(const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool Program(const QString& path) {
        return Write(path, "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"$1.seen.tmp\" && mv \"$1.seen.tmp\" \"$1.seen\"\n"
                           "exec sleep 30\n") &&
               QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool App(const QString& id, const QString& exec) {
        const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %f\n"
                                            "MimeType=text/plain;\n")
                                 .arg(id, exec);
        return Write(Path(QStringLiteral("data/applications/") + id), text.toUtf8());
    }

    static bool Run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    // Launches, checks the program got `file` and runs, then ends it and sees the probe notice.
    void LaunchAndWatch(const QString& file, const QString& program, const QString& wantAppId,
                        const QString& wantExecutable) {
        GioLauncher launcher;
        qint64 pid = -1;
        QString appId = QStringLiteral("unset");
        QString executable;
        QCOMPARE(launcher.Launch(file, program, pid, appId, executable), 0);
        QVERIFY(pid > 0);
        m_started.append(pid);
        QCOMPARE(appId, wantAppId);
        QCOMPARE(executable, wantExecutable);
        QTRY_VERIFY(QFileInfo::exists(file + QStringLiteral(".seen")));
        QCOMPARE(QString::fromUtf8(Read(file + QStringLiteral(".seen"))).trimmed(), file);
        QVERIFY(m_probe.IsRunning(pid));
        QCOMPARE(kill(pid_t(pid), SIGTERM), 0);
        QTRY_VERIFY(!m_probe.IsRunning(pid));
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_root.isValid());
        if (!QFileInfo(QStringLiteral("/usr/share/mime/mime.cache")).isFile()) {
            QSKIP("shared-mime-info is not installed");
        }
        m_bin = Path(QStringLiteral("bin"));
        for (const QString& folder : {QStringLiteral("home"), QStringLiteral("share"), QStringLiteral("etc")}) {
            QVERIFY(QDir().mkpath(Path(folder)));
        }
        // System MIME data only: /usr/share/applications stays out of sight.
        QVERIFY(QFile::link(QStringLiteral("/usr/share/mime"), Path(QStringLiteral("share/mime"))));
        qputenv("HOME", QFile::encodeName(Path(QStringLiteral("home"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Path(QStringLiteral("data"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(Path(QStringLiteral("share"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(QStringLiteral("config"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(Path(QStringLiteral("etc"))));
        qputenv("LC_ALL", "C.UTF-8");
        qunsetenv("XDG_CURRENT_DESKTOP");

        for (const QString& name : {QStringLiteral("editor"), QStringLiteral("other"), QStringLiteral("my editor")}) {
            QVERIFY(Program(m_bin + u'/' + name));
        }
        QVERIFY(App(QStringLiteral("editor.desktop"), m_bin + QStringLiteral("/editor")));
        QVERIFY(App(QStringLiteral("other.desktop"), m_bin + QStringLiteral("/other")));
        QVERIFY(Run(QStringLiteral("update-desktop-database"), {Path(QStringLiteral("data/applications"))}));
        QVERIFY(Write(Path(QStringLiteral("config/mimeapps.list")),
                      "[Default Applications]\ntext/plain=editor.desktop;\napplication/octet-stream=editor.desktop;\n"));
        QVERIFY(QDir().mkpath(Path(QStringLiteral("作業 フォルダ"))));
    }

    void cleanupTestCase() {
        for (const qint64 pid : m_started) {
            if (kill(pid_t(pid), SIGKILL) == 0) {
                waitpid(pid_t(pid), nullptr, 0);
            }
        }
    }

    // A Japanese name with spaces, in a folder of the same kind, reaches the program unchanged.
    void defaultApplication() {
        const QString file = Path(QStringLiteral("作業 フォルダ/メモ 一.txt"));
        QVERIFY(Write(file, "memo"));
        LaunchAndWatch(file, QString(), QStringLiteral("editor.desktop"), m_bin + QStringLiteral("/editor"));
    }

    void chosenApplication() {
        const QString file = Path(QStringLiteral("作業 フォルダ/二 番目.txt"));
        QVERIFY(Write(file, "second"));
        LaunchAndWatch(file, QStringLiteral("other.desktop"), QStringLiteral("other.desktop"),
                       m_bin + QStringLiteral("/other"));
    }

    // A program given by its path, itself with a space in its name, has no desktop id.
    void chosenExecutable() {
        const QString file = Path(QStringLiteral("作業 フォルダ/三 'quoted'.txt"));
        QVERIFY(Write(file, "third"));
        const QString program = m_bin + QStringLiteral("/my editor");
        LaunchAndWatch(file, program, QString(), program);
    }

    void nothingToStart() {
        const QString file = Path(QStringLiteral("作業 フォルダ/data.zzqq"));
        QVERIFY(Write(file, "?"));
        const QString text = Path(QStringLiteral("作業 フォルダ/plain.txt"));
        QVERIFY(Write(text, "plain"));
        GioLauncher launcher;
        qint64 pid = 0;
        QString appId;
        QString executable;
        QCOMPARE(launcher.Launch(file, QString(), pid, appId, executable), -1);
        QCOMPARE(launcher.Launch(text, QStringLiteral("missing.desktop"), pid, appId, executable), -1);
        QCOMPARE(launcher.Launch(text, m_bin + QStringLiteral("/not-there"), pid, appId, executable), -1);
        QVERIFY(!QFileInfo::exists(text + QStringLiteral(".seen")));
    }
};

QTEST_GUILESS_MAIN(TestLauncher)
#include "TestLauncher.moc"
