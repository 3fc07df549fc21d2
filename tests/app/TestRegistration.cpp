#include "AppRig.h"
#include "EditorLeftovers.h"
#include "ScriptedPrompts.h"
#include "app/FolderRegistration.h"
#include "util/ErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <deque>
#include <memory>

using namespace korimbo;

namespace {

const QString kPassword = QStringLiteral("Folder#Pw1");
const QString kWrong = QStringLiteral("Other#Pw22");

struct Rig : AppRig {
    explicit Rig(const QString& program) : AppRig(program), registration(app, prompts) {}
    ScriptedPrompts prompts;
    CFolderRegistration registration;
    int Add(const QString& folder, const QString& readOnly, const QString& workId) {
        return AppRig::Add(folder, kPassword, readOnly, workId);
    }
};

} // namespace

class TestRegistration : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    QString NewFolder(const QString& prefix) { return m_folders.NewFolder(prefix); }

    std::unique_ptr<Rig> Started() {
        auto rig = std::make_unique<Rig>(NewFolder(QStringLiteral("program")));
        return rig->Start() ? std::move(rig) : nullptr;
    }

    // A container made in `folder` with a key from `password`, as an earlier registration left it.
    void MakeContainer(Rig& rig, const QString& container, const QString& password, const QString& hint) {
        const QString source = m_folders.Path(QStringLiteral("plain.txt"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("some plain text\n") > 0);
        file.close();
        std::array<std::uint8_t, 34> bytes{};
        const int count = rig.Engine().PasswordToBytes(password, bytes);
        QCOMPARE(rig.Engine().RegisterKey(bytes.data(), count, QStringLiteral("maker"), hint), 0);
        QDir().mkpath(QFileInfo(container).path());
        QCOMPARE(rig.Engine().EncryptFile(source, container, QStringLiteral("maker")), 0);
        rig.Engine().ReleaseKey(QStringLiteral("maker"));
    }

    static QString StoredHint(Rig& rig, const QString& container) {
        QString key;
        ContainerInfo info;
        static_cast<void>(rig.Engine().RegisterTempKey(kPassword, QString(), key));
        static_cast<void>(rig.Engine().CheckContainer(container, info, key, false));
        return info.hint.trimmed();
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    void RefusesUnsuitableFolders() {
        auto rig = Started();
        QVERIFY(rig);
        const QString registered = NewFolder(QStringLiteral("reg"));
        QCOMPARE(rig->Add(registered, QStringLiteral("0"), QStringLiteral("W1")), 0);
        QDir().mkpath(registered + QStringLiteral("/inner"));
        const struct {
            QString path;
            DriveType type;
            int number;
        } cases[] = {
            {registered + u'/' + QString(120, u'a'), DriveType::Fixed, 223},
            {QString(), DriveType::Fixed, 225},
            {QStringLiteral("relative/folder"), DriveType::Fixed, 225},
            {m_folders.Path(QStringLiteral("missing")), DriveType::Fixed, 225},
            {NewFolder(QStringLiteral("f")), DriveType::RamDisk, 227},
            {NewFolder(QStringLiteral("f")), DriveType::Unknown, 226},
            {NewFolder(QStringLiteral("f")), DriveType::NoRoot, 228},
            {QStringLiteral("/"), DriveType::Fixed, 229},
            {QStringLiteral("/usr/share"), DriveType::Fixed, 229},
            {QStringLiteral("/opt"), DriveType::Fixed, 230},
            {registered, DriveType::Fixed, 231},
            {registered + QStringLiteral("/inner"), DriveType::Fixed, 232},
            {m_folders.Root(), DriveType::Fixed, 233},
        };
        for (const auto& c : cases) {
            rig->ui.Clear();
            rig->volumes.type = c.type;
            QCOMPARE(rig->registration.Register(c.path), OpResult::kFailed);
            QCOMPARE(rig->ui.Numbers(), QList<int>{c.number});
            QCOMPARE(rig->ui.Messages().first().icon, Icon::Warning);
            QCOMPARE(rig->Registry().Count(), 1);
            if (c.number == 223)
                QVERIFY(rig->ui.Find(223)->text.endsWith(rig->app.State().catalogue->m_GetMsgA(222)));
        }
        QVERIFY(rig->prompts.promptModes.isEmpty() && rig->prompts.setModes.isEmpty());
    }

    void SystemFoldersButNotUserMedia() {
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/run")));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/run/user/0/x")));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/")));
        QVERIFY(!CFolderRegistration::IsSystemFolder(QStringLiteral("/run/media/u/STICK/Safe")));
        QVERIFY(!CFolderRegistration::IsSystemFolder(QStringLiteral("/media/u/STICK/Safe")));
        QVERIFY(!CFolderRegistration::IsSystemFolder(QStringLiteral("/usrdata/Safe")));
    }

    // Home folders kept in /var/home: the user's own folders are not system folders, the rest of /var is.
    void HomeFolderBelowVar() {
        const QString home = QStringLiteral("/var/home/u");
        QVERIFY(!CFolderRegistration::IsSystemFolder(QStringLiteral("/var/home/u/x"), home));
        QVERIFY(!CFolderRegistration::IsSystemFolder(home, home));
        QVERIFY(!CFolderRegistration::IsSystemFolder(QStringLiteral("/var/home/u/x"), home + u'/'));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/var/home/u/x")));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/var/home/u2/x"), home));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/var/home"), home));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/var"), home));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/var/lib/x"), home));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/"), home));
        // A home folder that is the root or a system folder itself opens nothing.
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/usr/x"), QStringLiteral("/")));
        QVERIFY(CFolderRegistration::IsSystemFolder(QStringLiteral("/var/lib/x"), QStringLiteral("/var")));
    }

    // The same through registration, with HOME below /var on disk (/var/tmp), given directly and through a
    // link from outside /var as /home is on such systems.
    void RegistersInsideHomeBelowVar() {
        QTemporaryDir var(QStringLiteral("/var/tmp/korimbo-home-XXXXXX"));
        if (!var.isValid() || !QFileInfo(var.path()).canonicalFilePath().startsWith(QStringLiteral("/var/")))
            QSKIP("no writable folder below /var");
        const QString users = QFileInfo(var.path()).canonicalFilePath() + QStringLiteral("/home");
        const QString home = users + QStringLiteral("/user");
        QVERIFY(QDir().mkpath(home + QStringLiteral("/direct")) && QDir().mkpath(home + QStringLiteral("/linked")) &&
                QDir().mkpath(home + QStringLiteral("/resolved")));
        const QString link = m_folders.Path(QStringLiteral("home-link"));
        QVERIFY(QFile::link(users, link));
        const QByteArray savedHome = qgetenv("HOME");
        const auto restore = qScopeGuard([&savedHome] { qputenv("HOME", savedHome); });

        auto rig = Started();
        QVERIFY(rig);
        const auto registers = [&rig](const QString& folder) {
            rig->ui.Clear();
            rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kPassword, QStringLiteral("h")});
            return rig->registration.Register(folder);
        };
        // Another user's home: the folder is in /var like any other.
        qputenv("HOME", QFile::encodeName(users + QStringLiteral("/other")));
        QCOMPARE(registers(home + QStringLiteral("/direct")), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{229});

        qputenv("HOME", QFile::encodeName(home));
        QCOMPARE(registers(home + QStringLiteral("/direct")), OpResult::kDone);
        QVERIFY(rig->Slot(home + QStringLiteral("/direct")) >= 0);
        // The folder that holds the home folders stays refused.
        QCOMPARE(registers(users), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{229});

        // HOME through the link: the path as given and its resolved form are both the user's.
        if (QFileInfo(m_folders.Root()).canonicalFilePath().startsWith(QStringLiteral("/var/")))
            QSKIP("the test folder itself lies below /var");
        qputenv("HOME", QFile::encodeName(link + QStringLiteral("/user")));
        QCOMPARE(registers(link + QStringLiteral("/user/linked")), OpResult::kDone);
        QCOMPARE(registers(home + QStringLiteral("/resolved")), OpResult::kDone);
        QCOMPARE(rig->Registry().Count(), 3);
    }

    void RefusesWhenTableIsFull() {
        auto rig = Started();
        QVERIFY(rig);
        for (int i = 0; i < FolderRegistry::kMaxEntries; ++i)
            QCOMPARE(rig->Add(m_folders.Path(QStringLiteral("full/") + QString::number(i)), QStringLiteral("0"),
                              QStringLiteral("W") + QString::number(i)),
                     0);
        QCOMPARE(rig->registration.Register(NewFolder(QStringLiteral("f"))), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{224});
        QCOMPARE(rig->Registry().Count(), FolderRegistry::kMaxEntries);
    }

    void RemovableFolderRegisteredWritable() {
        auto rig = Started();
        QVERIFY(rig);
        rig->volumes.type = DriveType::Removable;
        rig->app.State().settings.usbAutoKaijyoFlg = 1;
        const QString folder = NewFolder(QStringLiteral("f"));
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kPassword, QStringLiteral("my hint")});
        QString label;
        QCOMPARE(rig->registration.Register(folder + u'/', &label), OpResult::kDone);
        QCOMPARE(label, CFolderRegistration::kRemovableLabel);
        QCOMPARE(rig->prompts.setModes, QList<PasswordPrompts::SetMode>{PasswordPrompts::SetMode::kRegisterFolder});
        const int slot = rig->Slot(folder);
        QVERIFY(slot >= 0);
        QCOMPARE(rig->Registry().ReadOnlyText(slot), QStringLiteral("0"));
        QCOMPARE(rig->Registry().AutoReleaseText(slot), QStringLiteral("1"));
        QCOMPARE(rig->Registry().DriveTypeOf(slot), 2);
        QCOMPARE(rig->Registry().WorkIdText(slot).size(), 32);
        QCOMPARE(rig->Registry().VerifyFolderPassword(folder, kPassword), Verdict::kYes);
        QVERIFY(!QFile::exists(folder + u'/' + CFolderRegistration::kProbeFileName));
        QVERIFY(rig->Engine().HasKey(folder)); // logged in with the password just set
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    void NetworkFolderFollowsItsBox() {
        auto rig = Started();
        QVERIFY(rig);
        rig->volumes.type = DriveType::Network;
        const QString folder = NewFolder(QStringLiteral("f"));
        rig->prompts.network.push_back({PasswordPrompts::Answer::kCancel, false});
        QCOMPARE(rig->registration.Register(folder), OpResult::kDeclined);
        QCOMPARE(rig->Registry().Count(), 0);
        QVERIFY(rig->prompts.promptModes.isEmpty() && rig->prompts.setModes.isEmpty());

        rig->prompts.network.push_back({PasswordPrompts::Answer::kOk, true});
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kPassword, QString()});
        QCOMPARE(rig->registration.Register(folder), OpResult::kDone);
        QCOMPARE(rig->prompts.promptModes, QList<PasswordPrompts::PromptMode>{PasswordPrompts::PromptMode::kLogin});
        QVERIFY(rig->prompts.setModes.isEmpty());
        const int slot = rig->Slot(folder);
        QCOMPARE(rig->Registry().ReadOnlyText(slot), QStringLiteral("1"));
        QCOMPARE(rig->Registry().DriveTypeOf(slot), 4);
        QCOMPARE(rig->Registry().AutoReleaseText(slot), QStringLiteral("0"));
    }

    void OpticalFolderRegisteredReadOnly() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("cd"));
        MakeContainer(*rig, folder + QStringLiteral("/A.zorf"), kPassword, QStringLiteral("disc hint"));
        rig->volumes.type = DriveType::Optical;
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kInvalid, QString(), QString()});
        QCOMPARE(rig->registration.Register(folder), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{246, 251}));
        QCOMPARE(rig->Registry().Count(), 0);

        rig->ui.Clear();
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kPassword, QString()});
        QString label;
        QCOMPARE(rig->registration.Register(folder, &label), OpResult::kDone);
        QCOMPARE(label, CFolderRegistration::kOpticalLabel);
        QCOMPARE(rig->ui.Numbers(), QList<int>{246}); // no question about existing files
        QVERIFY(rig->ui.Find(246)->text.startsWith(QStringLiteral("このドライブ") + label));
        QVERIFY(rig->prompts.setModes.isEmpty());
        const int slot = rig->Slot(folder);
        QCOMPARE(rig->Registry().ReadOnlyText(slot), QStringLiteral("1"));
        QCOMPARE(rig->Registry().AutoReleaseText(slot), QStringLiteral("1"));
        QString hint;
        QCOMPARE(rig->Registry().GetFolderHint(folder, hint), OpResult::kDone);
        QCOMPARE(hint.trimmed(), QStringLiteral("disc hint"));
    }

    void ReRegistrationNeedsTheContainersPassword() {
        auto rig = Started();
        QVERIFY(rig);
        rig->fs.honourWriteBits = true; // the hint rewrite must clear the containers' read-only attribute
        const QString folder = NewFolder(QStringLiteral("f"));
        const QString first = folder + QStringLiteral("/A.zorf");
        const QString second = folder + QStringLiteral("/sub/B.zorf");
        MakeContainer(*rig, first, kPassword, QStringLiteral("old"));
        MakeContainer(*rig, second, kPassword, QStringLiteral("old"));

        rig->ui.QueueAnswer(kAnswerNo); // A234
        QCOMPARE(rig->registration.Register(folder), OpResult::kDeclined);
        QVERIFY(rig->prompts.setModes.isEmpty());

        rig->ui.Clear();
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kWrong, QStringLiteral("new")});
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kPassword, QStringLiteral("new")});
        rig->ui.QueueAnswer(kAnswerYes); // A234: register all the same
        rig->ui.QueueAnswer(kAnswerYes); // replace the stored hints
        QCOMPARE(rig->registration.Register(folder), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{234, 421, 0}));
        QCOMPARE(rig->ui.Messages().at(0).buttons, Buttons::YesNo);
        QCOMPARE(rig->ui.Messages().at(2).buttons, Buttons::YesNo);
        QCOMPARE(rig->prompts.setModes.size(), 2);
        QVERIFY(rig->prompts.newPasswords.empty());
        QCOMPARE(StoredHint(*rig, first), QStringLiteral("new"));
        QCOMPARE(StoredHint(*rig, second), QStringLiteral("new"));
        for (const QString& container : {first, second})
            QVERIFY((QFile::permissions(container) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0);
        QVERIFY(!QFile::exists(folder + u'/' + CFolderRegistration::kProbeFileName));
    }

    void ReRegistrationGivesUpAfterElevenTries() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        MakeContainer(*rig, folder + QStringLiteral("/A.zorf"), kPassword, QStringLiteral("old"));
        for (int i = 0; i < 12; ++i)
            rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kWrong, QString()});
        rig->ui.QueueAnswer(kAnswerYes); // A234
        QCOMPARE(rig->registration.Register(folder), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers().first(), 234);
        QCOMPARE(rig->prompts.setModes.size(), CFolderRegistration::kMaxPasswordTries);
        QCOMPARE(rig->ui.Numbers().count(421), 11);
        QCOMPARE(rig->Registry().Count(), 0);
        QCOMPARE(StoredHint(*rig, folder + QStringLiteral("/A.zorf")), QStringLiteral("old"));
    }

    void DamagedContainerIsReportedNotRetried() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        MakeContainer(*rig, folder + QStringLiteral("/A.zorf"), kPassword, QStringLiteral("old"));
        QFile damaged(folder + QStringLiteral("/B.zorf"));
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(3000, 'x')) == 3000);
        damaged.close();
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kPassword, QString()});
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kPassword, QString()});
        rig->ui.QueueAnswer(kAnswerYes); // A234
        QCOMPARE(rig->registration.Register(folder), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers().first(), 234);
        QCOMPARE(rig->prompts.setModes.size(), 1);
        QVERIFY(!rig->ui.Has(421));
        QVERIFY(rig->ui.Find(423) && rig->ui.Find(423)->icon == Icon::Error);
        QCOMPARE(rig->Registry().Count(), 0);
    }

    void FailedProbeRemovesTheEntryAgain() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        rig->fs.writeFault = {CFolderRegistration::kProbeFileName, ENOSPC, 0};
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kPassword, QString()});
        QCOMPARE(rig->registration.Register(folder), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{631});
        QVERIFY(rig->ui.Find(631)->text.endsWith(QStringLiteral("\n\n") + ErrnoText(ENOSPC)));
        QCOMPARE(rig->Registry().Count(), 0);
        QCOMPARE(rig->Registry().LoadFolderRegistry(rig->app.EnvironmentFolder()), OpResult::kDone);
        QCOMPARE(rig->Registry().Count(), 0); // also gone from the file
        QVERIFY(!rig->Engine().HasKey(folder));
    }

    void ReleaseKeepsWorkingCopiesOfWritableFolders() {
        auto rig = Started();
        QVERIFY(rig);
        const QString writable = NewFolder(QStringLiteral("w"));
        const QString readOnly = NewFolder(QStringLiteral("r"));
        const QString plain = NewFolder(QStringLiteral("p"));
        QCOMPARE(rig->Add(writable, QStringLiteral("0"), QStringLiteral("W1")), 0);
        QCOMPARE(rig->Add(readOnly, QStringLiteral("1"), QStringLiteral("W2")), 0);
        QCOMPARE(rig->Add(plain, QStringLiteral("0"), QStringLiteral("W3")), 0);
        const QString copyW = rig->app.WorkAreaOf(rig->Slot(writable), QStringLiteral("Ac")) + QStringLiteral("/x.txt");
        const QString copyR =
            rig->app.WorkAreaOf(rig->Slot(readOnly), QStringLiteral("Ac")) + QStringLiteral("/d/y.txt");
        for (const QString& copy : {copyW, copyR}) {
            QDir().mkpath(QFileInfo(copy).path());
            QFile file(copy);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("copy") == 4);
        }

        rig->ui.QueueAnswer(kAnswerYes); // A236: release
        QCOMPARE(rig->registration.Release(writable), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{236, 237}));
        QCOMPARE(rig->ui.Messages().first().buttons, Buttons::YesNo);
        QVERIFY(QFile::exists(copyW) && rig->Slot(writable) >= 0);

        // Staged plaintext of the take-out and export areas goes with the release: nothing sweeps them later.
        QStringList staged;
        for (const char* area : {"To", "Re"})
            staged << rig->app.WorkAreaOf(rig->Slot(readOnly), QString::fromLatin1(area)) + QStringLiteral("/s.txt");
        for (const QString& file : staged)
            QVERIFY(QDir().mkpath(QFileInfo(file).path()) && leftovers::Write(file, "staged plaintext"));
        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->registration.Release(readOnly), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{236});
        QVERIFY(!QFile::exists(copyR));
        for (const QString& file : staged)
            QVERIFY2(!QFile::exists(file), qPrintable(file));
        QCOMPARE(rig->Slot(readOnly), -1);

        // An office lock whose owner ended is no working copy: it does not stop the release.
        const QString staleLock =
            rig->app.WorkAreaOf(rig->Slot(plain), QStringLiteral("Ac")) + QStringLiteral("/.~lock.z.odt#");
        QVERIFY(QDir().mkpath(QFileInfo(staleLock).path()));
        QVERIFY(leftovers::Write(staleLock, leftovers::OfficeLock()));
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->registration.Release(plain), OpResult::kDeclined);
        QVERIFY(rig->Slot(plain) >= 0);
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->registration.Release(plain), OpResult::kDone);
        QCOMPARE(rig->Slot(plain), -1);
        QVERIFY(QFileInfo(plain).isDir()); // the folder itself stays
        QCOMPARE(rig->Registry().Count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRegistration)
#include "TestRegistration.moc"
