#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "TreeSnapshot.h"
#include "app/Kelpie5App.h"
#include "state/IniFile.h"
#include "util/ErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

using namespace korimbo;

namespace {

class FakeVolumes final : public Volumes {
public:
    DriveType type = DriveType::Fixed;
    QString MountRoot(const QString&) override { return QStringLiteral("/"); }
    DriveType TypeOf(const QString&) override { return type; }
    bool KeepsAccessControl(const QString&) override { return true; }
    SysResult FreeBytes(const QString&, qint64& bytes) override {
        bytes = qint64(1) << 40;
        return 0;
    }
};

class FakeUserFolders final : public UserFolders {
public:
    QString Documents() override { return QStringLiteral("/nonexistent/Documents"); }
    QString Desktop() override { return QStringLiteral("/nonexistent/Desktop"); }
    QString Templates() override { return QString(); }
};

// The write probe's steps can fail on demand, which permission bits cannot arrange for root.
class ProbeApp final : public Ckelpie5App {
public:
    using Ckelpie5App::Ckelpie5App;
    using Ckelpie5App::InstanceLockPath;
    int makeError = 0;
    int removeError = 0;

protected:
    SysResult MakeProbeFolder(const QString& path) override {
        return makeError != 0 ? makeError : Ckelpie5App::MakeProbeFolder(path);
    }
    SysResult RemoveProbeFolder(const QString& path) override {
        return removeError != 0 ? removeError : Ckelpie5App::RemoveProbeFolder(path);
    }
};

struct Rig {
    explicit Rig(const QString& folder) : app(folder, {ui, fs, volumes, userFolders}) {}
    ScriptedInteraction ui;
    FaultyFileSystem fs;
    FakeVolumes volumes;
    FakeUserFolders userFolders;
    ProbeApp app;
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("x");
}

int EntryCount(const QString& folder) {
    return static_cast<int>(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size());
}

std::array<std::uint8_t, 32> BuiltInKey(const CCryptEngine& engine) {
    for (int i = 0; i < CCryptEngine::kSlotCount; ++i)
        if (engine.Slot(i).name == CCryptEngine::kBuiltInKeyName)
            return engine.Slot(i).key;
    return {};
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private:
    QString NewProgramFolder() {
        const QString folder = m_dir.filePath(QStringLiteral("p") + QString::number(++m_folders));
        QDir().mkpath(folder);
        return folder;
    }

    static QString Env(const QString& program) { return program + QStringLiteral("/ZORp/env"); }

    static void WriteSettings(const QString& program, const SettingsRecord& record) {
        QDir().mkpath(Env(program));
        LocalFileSystem files;
        ScriptedInteraction ui;
        TestCatalogue texts;
        QCOMPARE(SettingsFile(files, ui, texts).SaveSettings(Env(program), record), true);
    }

    static SettingsRecord ReadSettings(const QString& program) {
        LocalFileSystem files;
        ScriptedInteraction ui;
        TestCatalogue texts;
        SettingsRecord record;
        SettingsFile(files, ui, texts).LoadSettings(Env(program), record);
        return record;
    }

    // A started rig with its state loaded, as the main window has it after creation.
    static std::unique_ptr<Rig> Started(const QString& program) {
        auto rig = std::make_unique<Rig>(program);
        if (!rig->app.InitInstance() || rig->app.CreateState() != OpResult::kDone)
            return nullptr;
        return rig;
    }

    // Registers the folders and reads the registry back, as the next start would see it.
    static bool Register(Rig& rig, const QList<std::pair<QString, QString>>& folders) {
        FolderRegistry& registry = *rig.app.State().registry;
        const QString env = rig.app.EnvironmentFolder();
        for (const auto& [path, workId] : folders)
            if (registry.AddFolder(env, path, QStringLiteral("hint"), QStringLiteral("Folder#Pw1"), QStringLiteral("0"),
                                   workId, QStringLiteral("0"), 3) != OpResult::kDone)
                return false;
        return registry.LoadFolderRegistry(env) == OpResult::kDone;
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_runtime; // the instance locks go here instead of the user's runtime folder
    int m_folders = 0;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        QVERIFY(ProbeApp::InstanceLockPath(m_dir.path()).startsWith(m_runtime.path()));
    }

    void FirstStartLoadsTheStateInOrder() {
        const QString program = NewProgramFolder();
        Rig rig(program);
        QVERIFY(rig.app.InitInstance());
        QCOMPARE(rig.app.InitialWindowSize(), QSize(775, 520));
        QVERIFY(!rig.app.StartMaximized());
        QCOMPARE(EntryCount(program), 0); // the probe is gone and nothing else was written yet

        QCOMPARE(rig.app.CreateState(), OpResult::kDone);
        QCOMPARE(rig.ui.Messages().size(), 0);
        AppState& state = rig.app.State();
        // The built-in key comes from catalogue B's passphrase, so B was loaded before it was made.
        QCOMPARE(state.engine->BuiltInKeyName(), CCryptEngine::kBuiltInKeyName);
        CCryptEngine reference(rig.ui, *state.catalogue, rig.fs);
        QCOMPARE(reference.RegisterBuiltInKey(), 0);
        QCOMPARE(BuiltInKey(*state.engine), BuiltInKey(reference));

        const QString env = Env(program);
        QCOMPARE(rig.app.EnvironmentFolder(), env);
        QVERIFY(!state.settingsFileExisted);
        QCOMPARE(ReadAll(env + QStringLiteral("/ZORportable.ini")), QByteArray("\xFF\xFE", 2));
        for (const QString& name : {QStringLiteral("zorcl_folder.dat"), QStringLiteral("zorcl_common2.dat")}) {
            QVERIFY2(QFileInfo::exists(env + u'/' + name), qPrintable(name));
            QCOMPARE(QFileInfo(env + u'/' + name).size(), 0);
        }
        QVERIFY(!QFileInfo::exists(env + QStringLiteral("/zorcl_common1.dat")));
        QCOMPARE(state.workFolder->angoTempFolder, program + QStringLiteral("/ZORp/tmp"));
        QCOMPARE(state.engine->WorkFolder(), program + QStringLiteral("/ZORp/tmp"));
        QCOMPARE(rig.app.DefaultEncryptedFolder(), program + QStringLiteral("/ZORp/暗号フォルダー"));
        QVERIFY(rig.app.NeedsFirstStartRegistration());
        QVERIFY(rig.app.SingleFolderForLogin().isEmpty());
    }

    // The early read before the window and the state's load share one read of the settings file.
    void SettingsFileIsReadOnceAtStart() {
        const QString program = NewProgramFolder();
        SettingsRecord saved;
        saved.sizeMfWidth = 901;
        saved.sizeMfHigh = 602;
        saved.lv1WidthMs = 91;
        WriteSettings(program, saved);
        Rig rig(program);
        QVERIFY(rig.app.InitInstance());
        QCOMPARE(rig.app.InitialWindowSize(), QSize(901, 602));
        QCOMPARE(rig.app.CreateState(), OpResult::kDone);
        QVERIFY(rig.app.State().settingsFileExisted);
        QCOMPARE(rig.app.State().settings.lv1WidthMs, 91);
        QCOMPARE(rig.app.State().settings.outsideDDMoveFlg, 1);
        QCOMPARE(rig.fs.contentsReads.filter(QStringLiteral("ZORportable.ini")).size(), 1);
    }

    void SecondInstanceFromTheSameFolderIsRefused() {
        const QString program = NewProgramFolder();
        auto first = std::make_unique<Rig>(program);
        QVERIFY(first->app.InitInstance());
        {
            Rig second(program);
            QVERIFY(!second.app.InitInstance());
            QCOMPARE(second.ui.Messages().size(), 1);
            QCOMPARE(second.ui.Messages()[0].text, QStringLiteral("Korimbo-portableは、既に起動しています　"));
            QCOMPARE(second.ui.Messages()[0].icon, Icon::None);

            const QString link = m_dir.filePath(QStringLiteral("link"));
            QVERIFY(QFile::link(program, link));
            Rig throughLink(link);
            QVERIFY(!throughLink.app.InitInstance());

            Rig elsewhere(NewProgramFolder());
            QVERIFY(elsewhere.app.InitInstance());
            QCOMPARE(elsewhere.ui.Messages().size(), 0);
        }
        first.reset();
        Rig again(program);
        QVERIFY(again.app.InitInstance());
    }

    void LockOfAKilledHolderDoesNotBlock() {
        const QString program = NewProgramFolder();
        const QString lockPath = ProbeApp::InstanceLockPath(program);
        const pid_t child = ::fork();
        if (child == 0) {
            QLockFile lock(lockPath);
            lock.setStaleLockTime(0);
            if (!lock.tryLock(0))
                ::_exit(1);
            ::raise(SIGKILL);
            ::_exit(2);
        }
        QVERIFY(child > 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY(QFileInfo::exists(lockPath));

        Rig rig(program);
        QVERIFY(rig.app.InitInstance());
        QCOMPARE(rig.ui.Messages().size(), 0);
    }

    void DriveCheck_data() {
        QTest::addColumn<DriveType>("type");
        QTest::addColumn<bool>("starts");
        QTest::newRow("unknown") << DriveType::Unknown << true;
        QTest::newRow("no root") << DriveType::NoRoot << true;
        QTest::newRow("removable") << DriveType::Removable << true;
        QTest::newRow("fixed") << DriveType::Fixed << true;
        QTest::newRow("network") << DriveType::Network << false;
        QTest::newRow("optical") << DriveType::Optical << false;
        QTest::newRow("RAM disk") << DriveType::RamDisk << false;
    }

    void DriveCheck() {
        QFETCH(DriveType, type);
        QFETCH(bool, starts);
        const QString program = NewProgramFolder();
        Rig rig(program);
        rig.volumes.type = type;
        QCOMPARE(rig.app.InitInstance(), starts);
        QCOMPARE(EntryCount(program), 0);
        if (starts) {
            QCOMPARE(rig.ui.Messages().size(), 0);
            return;
        }
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.ui.Messages()[0].text,
                 QStringLiteral("固定ディスク、またはリムーバブルディスクからのみ起動できます。　\n"));
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Error);
    }

    void FailedWriteProbeShowsTheSystemText_data() {
        QTest::addColumn<int>("makeError");
        QTest::addColumn<int>("removeError");
        QTest::newRow("creation") << EROFS << 0;
        QTest::newRow("removal") << 0 << EBUSY;
    }

    void FailedWriteProbeShowsTheSystemText() {
        QFETCH(int, makeError);
        QFETCH(int, removeError);
        const QString program = NewProgramFolder();
        Rig rig(program);
        rig.app.makeError = makeError;
        rig.app.removeError = removeError;
        QVERIFY(!rig.app.InitInstance());
        const int error = makeError != 0 ? makeError : removeError;
        QVERIFY(!SystemErrorText(error).isEmpty());
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.ui.Messages()[0].text, QStringLiteral("起動できません。　\n") + SystemErrorText(error));
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Error);
        QVERIFY(!QFileInfo::exists(program + QStringLiteral("/ZORp")));
    }

    void UnmakeableEnvironmentFolderIsReported() {
        const QString program = NewProgramFolder();
        Touch(program + QStringLiteral("/ZORp")); // a file where the folder belongs
        Rig rig(program);
        QVERIFY(rig.app.InitInstance());
        QCOMPARE(rig.app.CreateState(), OpResult::kFailed);
        const ScriptedInteraction::Record* message = rig.ui.Find(142);
        QVERIFY(message != nullptr);
        QCOMPARE(message->icon, Icon::Error);
        QCOMPARE(message->text, rig.app.State().catalogue->m_GetMsgA(142) + ErrnoText(ENOTDIR) +
                                    QStringLiteral("\n( ") + Env(program) + QStringLiteral(" )"));
    }

    void NewerSettingsVersionStopsBeforeTheRegistry() {
        const QString program = NewProgramFolder();
        const QString env = Env(program);
        QDir().mkpath(env);
        LocalFileSystem files;
        CIniFile ini(files, env + QStringLiteral("/ZORportable.ini"));
        QCOMPARE(ini.Write(QStringLiteral("Base"), QStringLiteral("VL"), QStringLiteral("1.8")), 0);

        Rig rig(program);
        QVERIFY(rig.app.InitInstance());
        QCOMPARE(rig.app.CreateState(), OpResult::kFailed);
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.ui.Messages()[0].number, 592);
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Error);
        QCOMPARE(rig.ui.Messages()[0].text, rig.app.State().catalogue->m_GetMsgA(592) + env);
        QVERIFY(rig.app.State().settingsFileExisted);
        QVERIFY(!QFileInfo::exists(env + QStringLiteral("/zorcl_folder.dat")));
        QVERIFY(!QFileInfo::exists(env + QStringLiteral("/zorcl_common2.dat")));
    }

    void WindowComesFromTheSettingsFile_data() {
        QTest::addColumn<int>("sizeMfMax");
        QTest::addColumn<bool>("maximized");
        QTest::newRow("maximised") << 1 << true;
        QTest::newRow("only 1 maximises") << 2 << false;
    }

    void WindowComesFromTheSettingsFile() {
        QFETCH(int, sizeMfMax);
        QFETCH(bool, maximized);
        const QString program = NewProgramFolder();
        SettingsRecord record;
        record.sizeMfWidth = 1024;
        record.sizeMfHigh = 700;
        record.sizeMfMax = sizeMfMax;
        WriteSettings(program, record);
        Rig rig(program);
        QVERIFY(rig.app.InitInstance());
        QCOMPARE(rig.app.InitialWindowSize(), QSize(1024, 700));
        QCOMPARE(rig.app.StartMaximized(), maximized);
    }

    void ShutdownWritesTheSettingsBack() {
        const QString program = NewProgramFolder();
        const QString env = Env(program);
        auto rig = Started(program);
        QVERIFY(rig);
        rig->app.State().settings.sizeMfWidth = 900;
        rig->app.State().settings.sizeMfHigh = 640;

        rig->app.SaveAtShutdown(true); // start-up never completed: nothing is written
        QCOMPARE(ReadAll(env + QStringLiteral("/ZORportable.ini")), QByteArray("\xFF\xFE", 2));
        QCOMPARE(QFileInfo(env + QStringLiteral("/zorcl_common2.dat")).size(), 0);

        rig->app.SetStartupCompleted();
        rig->app.SaveAtShutdown(true);
        QCOMPARE(rig->ui.Messages().size(), 0);
        SettingsRecord saved = ReadSettings(program);
        QCOMPARE(saved.sizeMfWidth, 900);
        QCOMPARE(saved.sizeMfHigh, 640);
        QCOMPARE(saved.sizeMfMax, 1);
        QVERIFY(QFileInfo(env + QStringLiteral("/zorcl_common2.dat")).size() > 0);

        rig.reset();
        Rig next(program);
        QVERIFY(next.app.InitInstance());
        QCOMPARE(next.app.InitialWindowSize(), QSize(900, 640));
        QVERIFY(next.app.StartMaximized());
    }

    void TemporaryAreasAreEmptiedButNotTheEditingArea() {
        const QString program = NewProgramFolder();
        auto rig = Started(program);
        QVERIFY(rig);
        const QString one = program + QStringLiteral("/One");
        QVERIFY(Register(*rig, {{one, QStringLiteral("W1")}, {program + QStringLiteral("/NoId"), QString()}}));
        const QString root = rig->app.State().workFolder->angoTempFolder;
        const QString ce = root + QStringLiteral("/W1/Ce");
        const QString to = root + QStringLiteral("/W1/To");
        QCOMPARE(rig->app.WorkAreaOf(0, QStringLiteral("Ce")), ce);
        QVERIFY(rig->app.WorkAreaOf(1, QStringLiteral("Ce")).isEmpty());

        Touch(ce + QStringLiteral("/a.tmp"));
        Touch(ce + QStringLiteral("/deep/er/b.tmp"));
        Touch(to + QStringLiteral("/.hidden"));
        Touch(root + QStringLiteral("/W1/Ac/kept.txt"));
        // What a folder without a work id would reach: the work root and its own "Ce" and "To".
        Touch(root + QStringLiteral("/stray.txt"));
        Touch(root + QStringLiteral("/Ce/other.tmp"));
        Touch(root + QStringLiteral("/To/other.txt"));

        rig->app.EmptyTemporaryWorkAreas(true);
        QCOMPARE(rig->ui.Messages().size(), 0);
        QCOMPARE(EntryCount(ce), 0);
        QCOMPARE(EntryCount(to), 0);
        for (const QString& kept : {QStringLiteral("/W1/Ac/kept.txt"), QStringLiteral("/stray.txt"),
                                    QStringLiteral("/Ce/other.tmp"), QStringLiteral("/To/other.txt")})
            QVERIFY2(QFileInfo::exists(root + kept), qPrintable(kept));

        // A "Ce" that cannot be emptied is reported and "To" is still emptied.
        Touch(ce + QStringLiteral("/stuck.tmp"));
        Touch(to + QStringLiteral("/c.txt"));
        rig->fs.removeFault = {QStringLiteral("/W1/Ce/"), EBUSY};
        rig->app.EmptyTemporaryWorkAreas(true);
        const ScriptedInteraction::Record* message = rig->ui.Find(201);
        QVERIFY(message != nullptr);
        QCOMPARE(message->icon, Icon::Error);
        QCOMPARE(message->text, rig->app.State().catalogue->m_GetMsgA(201) + u'\n' + ce);
        QVERIFY(!rig->ui.Has(634));
        QCOMPARE(EntryCount(to), 0);

        rig->ui.Clear();
        rig->app.EmptyTemporaryWorkAreas(false);
        QCOMPARE(rig->ui.Messages().size(), 0);
    }

    // A work area that is a link (to a folder of the user's) is removed as a link: the sweep neither wipes
    // nor searches what it points to.
    void AreaThatIsALinkIsRemovedAsALink() {
        const QString program = NewProgramFolder();
        auto rig = Started(program);
        QVERIFY(rig);
        QVERIFY(Register(*rig, {{program + QStringLiteral("/One"), QStringLiteral("W1")}}));
        const QString root = rig->app.State().workFolder->angoTempFolder;
        const QString precious = program + QStringLiteral("/precious");
        Touch(precious + QStringLiteral("/.mine.tmp"));
        const QStringList before = TreeSnapshot(precious);
        QVERIFY(QDir().mkpath(root + QStringLiteral("/W1")) && QFile::link(precious, root + QStringLiteral("/W1/To")));
        rig->app.EmptyTemporaryWorkAreas(true);
        QCOMPARE(TreeSnapshot(precious), before);
        QVERIFY(!QFileInfo(root + QStringLiteral("/W1/To")).isSymLink());
    }

    // A crash during a decryption leaves the engine's hidden temporary file (plaintext) in a work area.
    // Emptying the work areas removes it, overwritten first, from every area; working copies stay.
    void LeftoverTemporariesAreWipedAndRemoved() {
        const QString program = NewProgramFolder();
        auto rig = Started(program);
        QVERIFY(rig);
        QVERIFY(Register(*rig, {{program + QStringLiteral("/One"), QStringLiteral("W1")}}));
        const QString root = rig->app.State().workFolder->angoTempFolder;
        const QString ac = root + QStringLiteral("/W1/Ac");
        const QString copy = ac + QStringLiteral("/sub/report.txt");
        Touch(copy);
        const QString plain = CCryptEngine::TempPathBeside(copy, TempKind::Plain);
        const QByteArray secret(200000, 's');
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(secret) == secret.size());
        file.close();
        const QString sealed = CCryptEngine::TempPathBeside(root + QStringLiteral("/W1/Re/x"), TempKind::Sealed);
        Touch(sealed);
        // Hidden files of the user that only look alike stay.
        const QString lookalike = ac + QStringLiteral("/.korimbo-notes.part");
        Touch(lookalike);
        QVERIFY(!CCryptEngine::IsTempName(QFileInfo(lookalike).fileName()));
        // A wipe cut short left the plaintext under the name it gives a file before wiping it.
        const QString halfWiped = ac + QStringLiteral("/0123456789ABCDEF-FEDCBA9876543210.delf");
        Touch(halfWiped);
        const QString userDelf = ac + QStringLiteral("/notes.delf");
        Touch(userDelf);
        TempKind kind = TempKind::Sealed;
        QVERIFY(CCryptEngine::IsTempName(QFileInfo(plain).fileName(), &kind));
        QCOMPARE(kind, TempKind::Plain);

        bool overwritten = false;
        rig->ui.OnPump([&](int) {
            const QByteArray now = ReadAll(plain);
            overwritten = overwritten || (now.size() == secret.size() && now == QByteArray(secret.size(), '\0'));
        });
        rig->app.EmptyTemporaryWorkAreas(true);
        rig->ui.OnPump({});
        QVERIFY(overwritten);
        QVERIFY(!QFileInfo::exists(plain));
        QVERIFY(!QFileInfo::exists(sealed));
        QVERIFY(QFileInfo::exists(copy));
        QVERIFY(QFileInfo::exists(lookalike));
        QVERIFY(!QFileInfo::exists(halfWiped));
        QVERIFY(QFileInfo::exists(userDelf));
        QCOMPARE(rig->ui.Messages().size(), 0);

        // What is left in "Ac" is the user's and still reported.
        rig->app.ReportLeftWorkingCopies();
        QVERIFY(rig->ui.Has(143));
    }

    void LeftWorkingCopiesAreListed() {
        const QString program = NewProgramFolder();
        auto rig = Started(program);
        QVERIFY(rig);
        const QString one = program + QStringLiteral("/One");
        const QString two = program + QStringLiteral("/Two");
        const QString three = program + QStringLiteral("/Three");
        const QString noId = program + QStringLiteral("/NoId");
        QVERIFY(Register(*rig, {{one, QStringLiteral("W1")},
                                {two, QStringLiteral("W2")},
                                {three, QStringLiteral("W3")},
                                {noId, QString()}}));
        const QString root = rig->app.State().workFolder->angoTempFolder;

        rig->app.ReportLeftWorkingCopies();
        QCOMPARE(rig->ui.Messages().size(), 0);

        Touch(root + QStringLiteral("/W1/Ac/sub/doc.txt"));
        QDir().mkpath(root + QStringLiteral("/W2/Ac/only/folders"));
        Touch(root + QStringLiteral("/W2/Ce/scratch.tmp"));
        // What editors leave is no working copy; a dot file is.
        Touch(root + QStringLiteral("/W2/Ac/only/.~lock.doc.odt#"));
        Touch(root + QStringLiteral("/W2/Ac/only/#doc.txt#"));
        Touch(root + QStringLiteral("/W3/Ac/.hidden.txt"));
        Touch(root + QStringLiteral("/Ac/foreign.txt"));
        rig->app.ReportLeftWorkingCopies();
        const QList<int> numbers = rig->ui.Numbers();
        QCOMPARE(numbers.count(143), 1);
        const ScriptedInteraction::Record* message = rig->ui.Find(143);
        QCOMPARE(message->icon, Icon::Warning);
        QCOMPARE(message->text, rig->app.State().catalogue->m_GetMsgA(143) + one + QStringLiteral("\r\n") + three +
                                    QStringLiteral("\r\n"));

        QVERIFY(!rig->app.NeedsFirstStartRegistration());
        QVERIFY(rig->app.SingleFolderForLogin().isEmpty());
        const QString env = rig->app.EnvironmentFolder();
        for (const QString& gone : {two, three, noId})
            QCOMPARE(rig->app.State().registry->RemoveFolder(env, gone), OpResult::kDone);
        QCOMPARE(rig->app.SingleFolderForLogin(), one);
        QVERIFY(!rig->app.NeedsFirstStartRegistration());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "TestStartup.moc"
