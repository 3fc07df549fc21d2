#include "PrivateXdg.h"
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
    PrivateXdg m_xdg;
    QString m_bin;
    QList<qint64> m_started;
    LocalProcessProbe m_probe;

    QString Path(const QString& relative) const { return m_xdg.Path(relative); }

    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A program that writes the path it was given beside it, then keeps running.
    static bool Program(const QString& path) {
        return PrivateXdg::Script(path, "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"$1.seen.tmp\" && mv \"$1.seen.tmp\" "
                                        "\"$1.seen\"\nexec sleep 30\n");
    }

    bool App(const QString& id, const QString& exec) { return m_xdg.App(id, id, exec, QStringLiteral("text/plain;")); }

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
        QVERIFY(m_xdg.Valid());
        if (!m_xdg.SetUp())
            QSKIP("shared-mime-info is not installed");
        m_bin = Path(QStringLiteral("bin"));

        for (const QString& name : {QStringLiteral("editor"), QStringLiteral("other"), QStringLiteral("my editor")}) {
            QVERIFY(Program(m_bin + u'/' + name));
        }
        QVERIFY(App(QStringLiteral("editor.desktop"), m_bin + QStringLiteral("/editor")));
        QVERIFY(App(QStringLiteral("other.desktop"), m_bin + QStringLiteral("/other")));
        QVERIFY(
            PrivateXdg::Run(QStringLiteral("update-desktop-database"), {Path(QStringLiteral("data/applications"))}));
        QVERIFY(PrivateXdg::Write(
            Path(QStringLiteral("config/mimeapps.list")),
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
        QVERIFY(PrivateXdg::Write(file, "memo"));
        LaunchAndWatch(file, QString(), QStringLiteral("editor.desktop"), m_bin + QStringLiteral("/editor"));
    }

    void chosenApplication() {
        const QString file = Path(QStringLiteral("作業 フォルダ/二 番目.txt"));
        QVERIFY(PrivateXdg::Write(file, "second"));
        LaunchAndWatch(file, QStringLiteral("other.desktop"), QStringLiteral("other.desktop"),
                       m_bin + QStringLiteral("/other"));
    }

    // A program given by its path, itself with a space in its name, has no desktop id.
    void chosenExecutable() {
        const QString file = Path(QStringLiteral("作業 フォルダ/三 'quoted'.txt"));
        QVERIFY(PrivateXdg::Write(file, "third"));
        const QString program = m_bin + QStringLiteral("/my editor");
        LaunchAndWatch(file, program, QString(), program);
    }

    void nothingToStart() {
        const QString file = Path(QStringLiteral("作業 フォルダ/data.zzqq"));
        QVERIFY(PrivateXdg::Write(file, "?"));
        const QString text = Path(QStringLiteral("作業 フォルダ/plain.txt"));
        QVERIFY(PrivateXdg::Write(text, "plain"));
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
