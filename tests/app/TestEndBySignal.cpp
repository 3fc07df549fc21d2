// The real program, started headless, ended by the signals a logout, a system shutdown or a terminal
// send: it ends normally, wipes the work areas that hold plaintext, keeps the working copies and saves
// its settings.

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

namespace {

const QString kProgram = QStringLiteral(KORIMBO_PORTABLE_PATH);

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The program refuses to run from a RAM disk, which some machines mount as their temporary folder.
std::unique_ptr<QTemporaryDir> FolderOnDisk() {
    for (const QString& base : {QDir::tempPath(), QStringLiteral("/var/tmp"), QDir::homePath()}) {
        const QByteArray type = QStorageInfo(base).fileSystemType();
        if (type == "tmpfs" || type == "ramfs")
            continue;
        auto dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/korimbo-end-XXXXXX"));
        if (dir->isValid())
            return dir;
    }
    return nullptr;
}

} // namespace

class TestEndBySignal : public QObject {
    Q_OBJECT

    TestFolders m_folders; // the private runtime folder for the single-instance lock
    PrivateXdg m_xdg;
    std::unique_ptr<QTemporaryDir> m_disk;

    // A program folder of its own with a copy of the program: it keeps its state beside itself.
    QString NewProgramFolder() {
        static int count = 0;
        const QString program = m_disk->filePath(QStringLiteral("program%1").arg(++count));
        const QString binary = program + QStringLiteral("/korimbo-portable");
        const bool made = QDir().mkpath(program) && QFile::copy(kProgram, binary) &&
                          QFile::setPermissions(binary, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return made ? program : QString();
    }

    static bool Start(QProcess& process, const QString& program) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program + QStringLiteral("/korimbo-portable"), {});
        return process.waitForStarted();
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        if (!m_xdg.SetUp())
            QSKIP("no MIME data on this system");
        m_disk = FolderOnDisk();
        if (!m_disk)
            QSKIP("no temporary folder on a disk the program starts from");
    }

    // One folder: the automatic login's password dialog is open when the signal comes. Two folders:
    // no dialog, the main loop runs.
    void EndsTheWayTheWindowCloses_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("folders");
        QTest::newRow("SIGTERM at the login dialog") << int(SIGTERM) << 1;
        QTest::newRow("SIGTERM in the main loop") << int(SIGTERM) << 2;
        QTest::newRow("SIGHUP in the main loop") << int(SIGHUP) << 2;
        QTest::newRow("SIGINT at the login dialog") << int(SIGINT) << 1;
    }

    void EndsTheWayTheWindowCloses() {
        QFETCH(int, signal);
        QFETCH(int, folders);
        const QString program = NewProgramFolder();
        QVERIFY(!program.isEmpty());

        // An earlier run left the folders registered and a view setting of its own.
        QString area;
        QString env;
        {
            FolderRig rig(program);
            QVERIFY(rig.StartWith(m_folders.NewFolder(QStringLiteral("box"))));
            if (folders == 2)
                QCOMPARE(rig.Add(m_folders.NewFolder(QStringLiteral("box")), FolderRig::kPassword, QStringLiteral("0"),
                                 QStringLiteral("WID2")),
                         0);
            AppState& s = rig.app.State();
            s.settings.dispMode = 3;
            env = rig.app.EnvironmentFolder();
            QCOMPARE(SettingsFile(rig.fs, rig.ui, *s.catalogue).SaveSettings(env, s.settings), 0);
            area = WorkAreas::BaseOf(s.workFolder->angoTempFolder, FolderRig::kWorkId);
        }
        const QString stale = area + QStringLiteral("/To/stale.txt");
        QVERIFY(PrivateXdg::Write(stale, "left by a crash"));

        QProcess process;
        QVERIFY(Start(process, program));
        // The start-up wipe of "To" has run: the window is shown and the start is past its housekeeping.
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(stale), 60000);
        QCOMPARE(process.state(), QProcess::Running);

        // Plaintext being taken out, exported and encrypted; a working copy being edited. The settings
        // file goes: only the save at the end brings it back.
        const QByteArray secret = "plaintext the user took out";
        QVERIFY(PrivateXdg::Write(area + QStringLiteral("/To/batch/letter.txt"), secret));
        QVERIFY(PrivateXdg::Write(area + QStringLiteral("/Re/export.txt"), secret));
        QVERIFY(PrivateXdg::Write(area + QStringLiteral("/Ce/piece/part.bin"), secret));
        QVERIFY(PrivateXdg::Write(area + QStringLiteral("/Ac/copy/draft.txt"), secret));
        QVERIFY(QFile::remove(SettingsFile::PathIn(env)));

        QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);

        for (const QString& emptied : {QStringLiteral("To"), QStringLiteral("Re"), QStringLiteral("Ce")})
            QVERIFY2(Entries(area + u'/' + emptied).isEmpty(), qPrintable(emptied));
        QCOMPARE(Entries(area + QStringLiteral("/Ac/copy")), QStringList{QStringLiteral("draft.txt")});

        AppRig after(program);
        QVERIFY(after.Start());
        QVERIFY(after.app.State().settingsFileExisted);
        QCOMPARE(after.app.State().settings.dispMode, 3);
    }

    // The first start's registration asks for the new folder's password; a signal then is an ordinary
    // end, not a failed start.
    void FirstStartEndsNormally() {
        const QString program = NewProgramFolder();
        QVERIFY(!program.isEmpty());
        QString folder;
        {
            AppRig rig(program);
            folder = rig.app.DefaultEncryptedFolder();
        }
        QProcess process;
        QVERIFY(Start(process, program));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder).isDir(), 60000);
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEndBySignal)
#include "TestEndBySignal.moc"
