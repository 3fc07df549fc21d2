// The real program ended by the signals of a logout, a shutdown or a terminal: it ends normally, wipes
// the work areas that hold plaintext, keeps the working copies and saves its settings.

#include "FolderRig.h"
#include "PrivateXdg.h"
#include "state/SettingsFile.h"
#include "state/WorkAreas.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTest>

#include <csignal>
#include <memory>

using namespace korimbo;

class TestEndBySignal : public QObject {
    Q_OBJECT

    TestFolders m_folders; // the private runtime folder for the single-instance lock
    PrivateXdg m_xdg;
    std::unique_ptr<QTemporaryDir> m_disk; // the program refuses to run from a RAM disk
    QProcess m_process;

    // A program folder of its own with a copy of the program, started headless: it keeps its state beside
    // itself.
    QString NewProgramFolder() {
        static int count = 0;
        const QString program = m_disk->filePath(QStringLiteral("program%1").arg(++count));
        const QString binary = program + QStringLiteral("/korimbo-portable");
        const bool made = QDir().mkpath(program) && QFile::copy(QStringLiteral(KORIMBO_PORTABLE_PATH), binary) &&
                          QFile::setPermissions(binary, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return made ? program : QString();
    }
    // `throughLauncher`: as from a stick without execute rights, `sh korimbo-portable.sh` (the launcher
    // execs the program, so the process keeps its id).
    bool Start(const QString& program, bool throughLauncher = false) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (throughLauncher)
            m_process.start(QStringLiteral("sh"), {program + QStringLiteral("/korimbo-portable.sh")});
        else
            m_process.start(program + QStringLiteral("/korimbo-portable"), {});
        return m_process.waitForStarted();
    }
    bool EndsNormallyOn(int signal) {
        return ::kill(pid_t(m_process.processId()), signal) == 0 && m_process.waitForFinished(60000) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        if (!m_xdg.SetUp())
            QSKIP("no MIME data on this system");
        for (const QString& base : {QDir::tempPath(), QStringLiteral("/var/tmp"), QDir::homePath()})
            if ((!m_disk || !m_disk->isValid()) &&
                !QList<QByteArray>{"tmpfs", "ramfs"}.contains(QStorageInfo(base).fileSystemType()))
                m_disk = std::make_unique<QTemporaryDir>(base + QStringLiteral("/korimbo-end-XXXXXX"));
        if (!m_disk || !m_disk->isValid())
            QSKIP("no temporary folder on a disk the program starts from");
    }

    // One folder: the automatic login's password dialog is open when the signal comes. Two folders:
    // no dialog, the main loop runs.
    void EndsTheWayTheWindowCloses_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("folders");
        QTest::newRow("SIGTERM at the login dialog") << int(SIGTERM) << 1;
        QTest::newRow("SIGHUP in the main loop") << int(SIGHUP) << 2;
        QTest::newRow("SIGINT at the login dialog") << int(SIGINT) << 1;
    }
    void EndsTheWayTheWindowCloses() {
        QFETCH(int, signal);
        QFETCH(int, folders);
        const QString program = NewProgramFolder();
        QVERIFY(!program.isEmpty());
        QString area;
        QString env;
        { // an earlier run left the folders registered and a view setting of its own
            FolderRig rig(program);
            QVERIFY(rig.StartWith(m_folders.NewFolder(QStringLiteral("box"))));
            if (folders == 2)
                QCOMPARE(rig.Add(m_folders.NewFolder(QStringLiteral("box")), FolderRig::kPassword, QStringLiteral("0"),
                                 QStringLiteral("WID2")),
                         0);
            AppState& s = rig.app.State();
            s.settings.dispMode = 3;
            env = rig.app.EnvironmentFolder();
            QCOMPARE(SettingsFile(rig.fs, rig.ui, *s.catalogue).SaveSettings(env, s.settings), true);
            area = WorkAreas::BaseOf(s.workFolder->angoTempFolder, FolderRig::kWorkId);
        }
        QVERIFY(PrivateXdg::Write(area + QStringLiteral("/To/stale.txt"), "left by a crash"));
        QVERIFY(Start(program));
        // The start-up wipe of "To" has run: the start is past its housekeeping.
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(area + QStringLiteral("/To/stale.txt")), 60000);
        // Plaintext being taken out, exported and encrypted; a working copy being edited. The settings
        // file goes: only the save at the end brings it back.
        for (const char* path : {"/To/batch/letter.txt", "/Re/export.txt", "/Ce/piece/part.bin", "/Ac/copy/draft.txt"})
            QVERIFY(PrivateXdg::Write(area + QLatin1String(path), "plaintext"));
        QVERIFY(QFile::remove(SettingsFile::PathIn(env)));
        QVERIFY(EndsNormallyOn(signal));
        for (const char* emptied : {"/To", "/Re", "/Ce"})
            QVERIFY2(QDir(area + QLatin1String(emptied))
                         .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                     emptied);
        QVERIFY(QFileInfo::exists(area + QStringLiteral("/Ac/copy/draft.txt")));
        AppRig after(program);
        QVERIFY(after.Start());
        QCOMPARE(after.app.State().settings.dispMode, 3);
    }

    // The first start's registration asks for the new folder's password; a signal then is an ordinary
    // end, not a failed start.
    void FirstStartEndsNormally() {
        const QString program = NewProgramFolder();
        QVERIFY(!program.isEmpty());
        const QString folder = AppRig(program).app.DefaultEncryptedFolder();
        QVERIFY(Start(program));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder).isDir(), 60000);
        QVERIFY(EndsNormallyOn(SIGTERM));
    }

    // Nothing on the stick may be executed: the launcher starts the program through the dynamic loader,
    // and the program still takes the stick's folder for its own (the loader's folder is not writable).
    void StartsFromAStickWithoutExecuteRights() {
        const QString program = NewProgramFolder();
        QVERIFY(!program.isEmpty());
        const QString binary = program + QStringLiteral("/korimbo-portable");
        const QString launcher = program + QStringLiteral("/korimbo-portable.sh");
        QVERIFY(QFile::copy(QStringLiteral(KORIMBO_LAUNCHER_PATH), launcher));
        for (const QString& file : {binary, launcher})
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        const QString folder = AppRig(program).app.DefaultEncryptedFolder();
        QVERIFY(Start(program, true));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder).isDir(), 60000);
        QVERIFY(QFileInfo(program + QStringLiteral("/ZORp/env")).isDir());
        QVERIFY(EndsNormallyOn(SIGTERM));
    }
};

QTEST_GUILESS_MAIN(TestEndBySignal)
#include "TestEndBySignal.moc"
