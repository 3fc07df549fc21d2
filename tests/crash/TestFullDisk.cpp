// A real full disk: a small tmpfs mounted in a private mount namespace of an unprivileged user, where
// the kernel allows one, with an encrypted folder on it. The driver runs inside the namespace and checks
// that encrypt-in and write-back report the full disk and keep every file as it was.

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestFullDisk : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void EncryptInAndWriteBackKeepFilesOnAFullDisk() {
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty())
            QSKIP("unshare (util-linux) is not installed: no private mount for a full disk");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString program = dir.filePath(QStringLiteral("program"));
        const QString root = dir.filePath(QStringLiteral("stick"));
        const QString spare = dir.filePath(QStringLiteral("spare"));
        const QString runtime = dir.filePath(QStringLiteral("run"));
        for (const QString& path : {program, root, spare, runtime})
            QVERIFY(QDir().mkpath(path));

        // The mount is visible only inside the namespace; the driver does its checks there.
        const QString script = QStringLiteral("mount -t tmpfs -o size=3m korimbo-full \"$1\" || exit 77; shift; exec \"$@\"");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        process.setProcessEnvironment(env);
        process.start(unshare, {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                                QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), root,
                                QStringLiteral(KORIMBO_KILL_DRIVER), QStringLiteral("fulldisk"), program, root, spare});
        QVERIFY(process.waitForFinished(120000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (process.exitCode() == 77 || err.contains(QLatin1String("unshare failed")) ||
            err.contains(QLatin1String("Operation not permitted")))
            QSKIP(qPrintable(QStringLiteral("this kernel gives no private tmpfs to an unprivileged user: ") + err.trimmed()));
        qInfo("%s", qPrintable(out.trimmed()));
        QVERIFY2(process.exitCode() == 0, qPrintable(err));
        QVERIFY(out.contains(QLatin1String("free space known")) && out.contains(QLatin1String("free space unknown")));
        QVERIFY(out.contains(QLatin1String("version 1")));
    }
};

QTEST_GUILESS_MAIN(TestFullDisk)
#include "TestFullDisk.moc"
