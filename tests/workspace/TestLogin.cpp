#include "AppRig.h"
#include "ScriptedPrompts.h"
#include "app/Kelpie5App.h"
#include "util/MessageNumbers.h"
#include "workspace/LoginManager.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

using namespace korimbo;

namespace {

const QString kPassword = QStringLiteral("Folder#Pw1");

struct Rig : AppRig {
    using AppRig::AppRig;
    ScriptedPrompts prompts;
    std::unique_ptr<CLoginManager> login;

    bool Start() {
        if (!AppRig::Start())
            return false;
        AppState& s = app.State();
        login =
            std::make_unique<CLoginManager>(*s.engine, *s.registry, *s.workFolder, s.settings, fs, ui, *s.catalogue);
        return true;
    }
    int Add(const QString& folder, const QString& readOnly, const QString& workId) {
        return AppRig::Add(folder, kPassword, readOnly, workId, QStringLiteral("my hint"));
    }
    OpResult LoginWith(const QString& folder, PasswordPrompts::Answer result, const QString& password) {
        prompts.passwords.push_back({result, password, QString()});
        return login->Login(folder, prompts);
    }
};

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    QString NewFolder(const QString& prefix) { return m_folders.NewFolder(prefix); }

    std::unique_ptr<Rig> Started() {
        auto rig = std::make_unique<Rig>(NewFolder(QStringLiteral("program")));
        return rig->Start() ? std::move(rig) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    void WrongPasswordShowsTheHint() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("0"), QStringLiteral("WID")), 0);
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, QStringLiteral("Folder#Pw2")), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{164});
        QCOMPARE(rig->ui.Find(164)->icon, Icon::Warning);
        QVERIFY(rig->ui.Find(164)->text.endsWith(QStringLiteral("「 my hint 」です。　")));
        QVERIFY(!rig->login->IsLoggedIn(folder));
        QVERIFY(!rig->app.State().engine->HasKey(folder));
        QVERIFY(!QFileInfo::exists(rig->login->WorkAreaOf(folder, QStringLiteral("Ac"))));
    }

    void InvalidPasswordsAreRefused() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("0"), QStringLiteral("WID")), 0);
        const std::pair<PasswordPrompts::Answer, QString> replies[] = {
            {PasswordPrompts::Answer::kInvalid, QString()},
            {PasswordPrompts::Answer::kOk, QStringLiteral("Folder#")},
            {PasswordPrompts::Answer::kOk, QStringLiteral("Folder #Pw1")}};
        for (const auto& [result, password] : replies) {
            rig->ui.Clear();
            QCOMPARE(rig->LoginWith(folder, result, password), OpResult::kFailed);
            QCOMPARE(rig->ui.Numbers(), QList<int>{163});
            QVERIFY(!rig->login->IsLoggedIn(folder));
        }
        rig->ui.Clear();
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kCancel, QString(), QString()});
        QCOMPARE(rig->login->Login(folder, rig->prompts), OpResult::kDeclined);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    void MissingOrUnknownFolderAsksNothing() {
        auto rig = Started();
        QVERIFY(rig);
        const QString gone = m_folders.Path(QStringLiteral("gone"));
        QCOMPARE(rig->Add(gone, QStringLiteral("0"), QStringLiteral("WID")), 0);
        QCOMPARE(rig->login->Login(gone, rig->prompts), OpResult::kFailed);
        QCOMPARE(rig->login->Login(NewFolder(QStringLiteral("f")), rig->prompts), OpResult::kFailed);
        QCOMPARE(rig->prompts.promptModes.size(), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    void RightPasswordLogsInAndMakesTheWorkAreas() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("0"), QStringLiteral("WID")), 0);
        QList<bool> busy;
        rig->login->busy = [&busy](bool on) { busy.append(on); };
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, kPassword), OpResult::kDone);
        QVERIFY(rig->login->IsLoggedIn(folder));
        QVERIFY(rig->app.State().engine->HasKey(folder));
        const QString root = rig->app.State().workFolder->angoTempFolder + QStringLiteral("/WID/");
        for (const char* area : {"Ac", "Re", "Nf", "Ce", "To"}) {
            QVERIFY2(QFileInfo(root + QLatin1String(area)).isDir(), area);
            QCOMPARE(QFileInfo(root + QLatin1String(area)).permissions() & 0x0FFF,
                     QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        }
        QCOMPARE(busy, (QList<bool>{true, false}));
        QVERIFY(rig->ui.Status().isEmpty());
        QVERIFY(rig->ui.Messages().isEmpty()); // writable: no read-only notice

        // Logged in already: no second prompt.
        QCOMPARE(rig->login->Login(folder, rig->prompts), OpResult::kDone);
        QCOMPARE(rig->prompts.promptModes.size(), 1);
    }

    void MissingWorkIdIsRefused() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("0"), QString()), 0);
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, kPassword), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kWorkAreaFailed});
        QVERIFY(!rig->login->IsLoggedIn(folder));
    }

    void ReadOnlyFolderShowsItsNotice() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("1"), QStringLiteral("WID")), 0);
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, kPassword), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{152});
        QCOMPARE(rig->ui.Find(152)->icon, Icon::Information);

        rig->app.State().settings.readOnlyMsgDispFlg = 0;
        rig->ui.Clear();
        QCOMPARE(rig->login->Login(folder, rig->prompts), OpResult::kDone);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    void LogoutAsksAndDropsTheKey() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("0"), QStringLiteral("WID")), 0);
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, kPassword), OpResult::kDone);

        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->login->Logout(folder), OpResult::kDeclined);
        QCOMPARE(rig->ui.Numbers(), QList<int>{259});
        QCOMPARE(rig->ui.Find(259)->icon, Icon::Question);
        QVERIFY(rig->ui.Find(259)->text.endsWith(folder));
        QVERIFY(rig->login->IsLoggedIn(folder));

        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->login->Logout(folder), OpResult::kDone);
        QVERIFY(!rig->login->IsLoggedIn(folder));
    }

    void LogoutErasesReadOnlyWorkingCopies() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("1"), QStringLiteral("WID")), 0);
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, kPassword), OpResult::kDone);
        const QString copy = rig->login->WorkAreaOf(folder, QStringLiteral("Ac")) + QStringLiteral("/x/doc.txt");
        QDir().mkpath(QFileInfo(copy).path());
        QFile file(copy);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("secret") == 6);
        file.close();
        int confirmations = 0;
        rig->login->confirmLogout = [&confirmations](const QString&) {
            ++confirmations;
            return true;
        };

        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->login->Logout(folder), OpResult::kDone);
        QCOMPARE(confirmations, 0); // a read-only folder is only asked A259
        QCOMPARE(rig->ui.Numbers(), QList<int>{259});
        QCOMPARE(rig->ui.Messages().first().buttons, Buttons::YesNo);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(!rig->login->HasWorkingCopies(folder));
        QVERIFY(!rig->login->IsLoggedIn(folder));
    }

    void FailedWriteBackKeepsTheLogin() {
        auto rig = Started();
        QVERIFY(rig);
        const QString folder = NewFolder(QStringLiteral("f"));
        QCOMPARE(rig->Add(folder, QStringLiteral("0"), QStringLiteral("WID")), 0);
        QCOMPARE(rig->LoginWith(folder, PasswordPrompts::Answer::kOk, kPassword), OpResult::kDone);
        QFile file(rig->login->WorkAreaOf(folder, QStringLiteral("Ac")) + QStringLiteral("/doc.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("changed") == 7);
        file.close();
        QStringList calls;
        rig->login->confirmLogout = [&calls](const QString&) {
            calls.append(QStringLiteral("confirm"));
            return true;
        };
        rig->login->writeBackAll = [&calls](const QString&) {
            calls.append(QStringLiteral("write"));
            return OpResult::kFailed;
        };
        QCOMPARE(rig->login->Logout(folder), OpResult::kFailed);
        QCOMPARE(calls, (QStringList{QStringLiteral("confirm"), QStringLiteral("write")}));
        QVERIFY(!rig->ui.Has(259));
        QVERIFY(rig->login->IsLoggedIn(folder));
        QVERIFY(file.exists());
    }
};

QTEST_GUILESS_MAIN(TestLogin)
#include "TestLogin.moc"
