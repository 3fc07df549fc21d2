#include "AppRig.h"
#include "ScriptedPrompts.h"
#include "app/Kelpie5App.h"
#include "state/CommonManagementData.h"
#include "workspace/PasswordManager.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace korimbo;

namespace {

const QString kAdmin = QStringLiteral("Kanri#Pass2024xyz");
const QString kNewAdmin = QStringLiteral("Neu&Kanri2025Pw!");
const QString kChange = QStringLiteral("Xy7$Qw9!Lm3#");
const QString kOther = QStringLiteral("Other#Pass99");

// A started application whose password dialogs are answered by a script.
struct Rig : AppRig {
    using AppRig::AppRig;
    ScriptedPrompts prompts;

    CPasswordManager Manager() { return app.Passwords(); }
    QString A(int number) { return app.State().catalogue->m_GetMsgA(number); }
    QString CommonFile() const { return app.EnvironmentFolder() + u'/' + CommonManagementData::kFileName; }

    OpResult AdminCommand() { return Manager().RunAdminPasswordCommand(prompts); }
    OpResult ChangePasswordsCommand() { return Manager().RunChangePasswordsCommand(prompts); }

    OpResult RegisterAdmin(const QString& password, const QString& hint) {
        prompts.adminChoices.push_back(PasswordPrompts::AdminChoice::kRegister);
        prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, password, hint});
        return AdminCommand();
    }
    OpResult SaveList(const QString& admin, const QList<ChangePasswordText>& entries) {
        prompts.passwords.push_back({PasswordPrompts::Answer::kOk, admin, QString()});
        prompts.lists.push_back({PasswordPrompts::Answer::kOk, entries});
        return ChangePasswordsCommand();
    }
    // The list as stored, read with a strict load under `admin`; -1 when that load fails.
    int ReadBack(const QString& admin, QList<ChangePasswordText>& entries, QString& adminHint) {
        CommonManagementData data(*app.State().engine, fs);
        int count = 0;
        QStringList names;
        QStringList passwords;
        QStringList hints;
        const Verdict loaded = data.LoadManagementData(app.EnvironmentFolder(), admin, 1);
        data.GetChangePasswords(count, names, passwords, hints);
        adminHint = data.AdminHint().trimmed();
        entries.clear();
        for (int i = 0; i < count; ++i)
            entries.append({names[i], passwords[i], hints[i]});
        return loaded == Verdict::kYes ? count : -1;
    }
};

QStringList Names(const QList<ChangePasswordText>& entries) {
    QStringList names;
    for (const ChangePasswordText& entry : entries)
        names.append(entry.name);
    return names;
}

} // namespace

class TestPasswords : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<Rig> Started() {
        auto rig = std::make_unique<Rig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->Start() ? std::move(rig) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Without an administrator password neither the list nor a change nor a delete gets anywhere, and no
    // file is made on the way.
    void NoAdministratorPassword() {
        auto rig = Started();
        QVERIFY(rig);
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kFailed);
        rig->prompts.adminChoices = {PasswordPrompts::AdminChoice::kChange, PasswordPrompts::AdminChoice::kDelete};
        QCOMPARE(rig->AdminCommand(), OpResult::kFailed);
        QCOMPARE(rig->AdminCommand(), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{191, 191, 191}));
        QCOMPARE(rig->ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(rig->ui.Messages().first().text, rig->A(191));
        QVERIFY(rig->prompts.promptModes.isEmpty());
        QVERIFY(rig->prompts.shownLists.isEmpty());
        QVERIFY(!QFile::exists(rig->CommonFile()));

        // Cancelling the choice does nothing at all.
        rig->ui.Clear();
        rig->prompts.adminChoices.push_back(PasswordPrompts::AdminChoice::kCancel);
        QCOMPARE(rig->AdminCommand(), OpResult::kDeclined);
        QVERIFY(rig->ui.Messages().isEmpty());
        QVERIFY(!QFile::exists(rig->CommonFile()));
    }

    void RegisterAndSaveListInOrder() {
        auto rig = Started();
        QVERIFY(rig);
        QCOMPARE(rig->RegisterAdmin(kAdmin, QStringLiteral("admin hint")), OpResult::kDone);
        QCOMPARE(rig->prompts.setModes, QList<PasswordPrompts::SetMode>{PasswordPrompts::SetMode::kOther});
        QList<ChangePasswordText> stored;
        QString hint;
        QCOMPARE(rig->ReadBack(kAdmin, stored, hint), 0);
        QCOMPARE(hint, QStringLiteral("admin hint"));

        const QList<ChangePasswordText> entries = {{QStringLiteral("取引先A"), kChange, QStringLiteral("memo")},
                                                   {QStringLiteral("社内"), kOther, QString()}};
        QCOMPARE(rig->SaveList(kAdmin, entries), OpResult::kDone);
        QCOMPARE(rig->prompts.promptModes,
                 QList<PasswordPrompts::PromptMode>{PasswordPrompts::PromptMode::kAdminBeforeList});
        QCOMPARE(rig->prompts.shownLists.last().size(), 0);
        QVERIFY(rig->ui.Messages().isEmpty());

        // The next run shows the stored list; the order the user leaves is the order stored.
        QCOMPARE(rig->SaveList(kAdmin, {entries[1], entries[0]}), OpResult::kDone);
        QCOMPARE(Names(rig->prompts.shownLists.last()), Names(entries));
        QCOMPARE(rig->prompts.shownLists.last()[0].password, kChange);
        QCOMPARE(rig->ReadBack(kAdmin, stored, hint), 2);
        QCOMPARE(Names(stored), (QStringList{QStringLiteral("社内"), QStringLiteral("取引先A")}));
        QCOMPARE(stored[1].password, kChange);
        QCOMPARE(stored[1].hint, QStringLiteral("memo"));
        QCOMPARE(hint, QStringLiteral("admin hint")); // a list save keeps the administrator's hint

        // A cancelled list stores nothing.
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kAdmin, QString()});
        rig->prompts.lists.push_back({PasswordPrompts::Answer::kCancel, {}});
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kDeclined);
        QCOMPARE(rig->ReadBack(kAdmin, stored, hint), 2);
    }

    void InvalidOrWrongAdministratorPassword() {
        auto rig = Started();
        QVERIFY(rig);
        QCOMPARE(rig->RegisterAdmin(kAdmin, QStringLiteral("admin hint")), OpResult::kDone);
        rig->ui.Clear();
        // The prompt's own verdict, and a text that breaks the rules although the prompt let it through.
        rig->prompts.passwords = {{PasswordPrompts::Answer::kInvalid, QStringLiteral("short"), QString()},
                                  {PasswordPrompts::Answer::kOk, QStringLiteral("has space 1"), QString()},
                                  {PasswordPrompts::Answer::kOk, QStringLiteral("Wrong#Pass2024"), QString()}};
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kFailed);
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kFailed);
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{192, 192, 561}));
        QCOMPARE(rig->ui.Messages().first().icon, Icon::Warning);
        QVERIFY(rig->ui.Messages().last().text.contains(QStringLiteral("admin hint")));
        QVERIFY(rig->prompts.shownLists.isEmpty());

        // Cancelling the prompt says nothing.
        rig->ui.Clear();
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kCancel, QString(), QString()});
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kDeclined);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    void DuplicateNamesKeepTheListOpen() {
        auto rig = Started();
        QVERIFY(rig);
        QCOMPARE(rig->RegisterAdmin(kAdmin, QString()), OpResult::kDone);
        rig->ui.Clear();
        const ChangePasswordText first{QStringLiteral("取引先"), kChange, QStringLiteral("h1")};
        const ChangePasswordText second{QStringLiteral("社内"), kOther, QString()};
        const ChangePasswordText twin{QStringLiteral("取引先"), QStringLiteral("Third#Pass77"), QStringLiteral("h3")};

        int row = -1;
        QVERIFY(!rig->Manager().CheckChangePasswordList({first, second, twin}, row));
        QCOMPARE(row, 2);
        QCOMPARE(rig->ui.Messages().last().text, QStringLiteral("識別名称 ' 取引先") + rig->A(521));
        QCOMPARE(rig->ui.Messages().last().icon, Icon::Warning);
        QVERIFY(rig->Manager().CheckChangePasswordList({first, second}, row));
        QCOMPARE(row, -1);

        // OK with the duplicate is refused and the user goes on in the same list.
        rig->ui.Clear();
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kAdmin, QString()});
        rig->prompts.lists = {{PasswordPrompts::Answer::kOk, {first, second, twin}},
                              {PasswordPrompts::Answer::kOk, {twin, second}}};
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{521});
        QList<ChangePasswordText> stored;
        QString hint;
        QCOMPARE(rig->ReadBack(kAdmin, stored, hint), 2);
        QCOMPARE(stored[0].password, twin.password);
    }

    void ChangeAdministratorPassword() {
        auto rig = Started();
        QVERIFY(rig);
        QCOMPARE(rig->RegisterAdmin(kAdmin, QStringLiteral("old hint")), OpResult::kDone);
        QCOMPARE(rig->SaveList(kAdmin, {{QStringLiteral("取引先A"), kChange, QString()}}), OpResult::kDone);
        rig->ui.Clear();

        // A wrong current password stops before the new one is asked.
        rig->prompts.adminChoices.push_back(PasswordPrompts::AdminChoice::kChange);
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kOther, QString()});
        QCOMPARE(rig->AdminCommand(), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{561});
        QCOMPARE(rig->prompts.setModes, QList<PasswordPrompts::SetMode>{PasswordPrompts::SetMode::kOther});

        // The list is re-enciphered under the new password; the new hint replaces the old one.
        rig->ui.Clear();
        rig->prompts.adminChoices.push_back(PasswordPrompts::AdminChoice::kChange);
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kAdmin, QString()});
        rig->prompts.newPasswords.push_back({PasswordPrompts::Answer::kOk, kNewAdmin, QStringLiteral("new hint")});
        QCOMPARE(rig->AdminCommand(), OpResult::kDone);
        QCOMPARE(rig->prompts.promptModes.last(), PasswordPrompts::PromptMode::kAdminBeforeChange);
        QCOMPARE(rig->prompts.setModes.last(), PasswordPrompts::SetMode::kChangeAdmin);
        QList<ChangePasswordText> stored;
        QString hint;
        QCOMPARE(rig->ReadBack(kNewAdmin, stored, hint), 1);
        QCOMPARE(stored[0].password, kChange);
        QCOMPARE(hint, QStringLiteral("new hint"));
        QCOMPARE(rig->ReadBack(kAdmin, stored, hint), -1);
    }

    // Step 4 of the setting dialog: a registered change password cannot become another password.
    void ChangePasswordIsNotReused() {
        auto rig = Started();
        QVERIFY(rig);
        // No common data yet: nothing is refused and no file is made by asking.
        QVERIFY(!rig->Manager().RefuseChangePassword(kChange));
        QVERIFY(!QFile::exists(rig->CommonFile()));
        QCOMPARE(rig->RegisterAdmin(kAdmin, QString()), OpResult::kDone);
        QCOMPARE(rig->SaveList(kAdmin, {{QStringLiteral("取引先A"), kChange, QString()}}), OpResult::kDone);
        rig->ui.Clear();
        QVERIFY(rig->Manager().RefuseChangePassword(kChange));
        QCOMPARE(rig->ui.Numbers(), QList<int>{520});
        QCOMPARE(rig->ui.Messages().last().icon, Icon::Warning);
        QVERIFY(!rig->Manager().RefuseChangePassword(kChange + u'!'));
        QVERIFY(!rig->Manager().RefuseChangePassword(kAdmin));

        // Through the setting dialog of a change: the refused password is typed again as another.
        rig->ui.Clear();
        CPasswordManager manager = rig->Manager();
        rig->prompts.newPasswordCheck = [&manager](const QString& password) {
            return !manager.RefuseChangePassword(password);
        };
        rig->prompts.adminChoices.push_back(PasswordPrompts::AdminChoice::kChange);
        rig->prompts.passwords.push_back({PasswordPrompts::Answer::kOk, kAdmin, QString()});
        rig->prompts.newPasswords = {{PasswordPrompts::Answer::kOk, kChange, QString()},
                                     {PasswordPrompts::Answer::kOk, kNewAdmin, QString()}};
        QCOMPARE(rig->AdminCommand(), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{520});
        QList<ChangePasswordText> stored;
        QString hint;
        QCOMPARE(rig->ReadBack(kNewAdmin, stored, hint), 1);
    }

    void DeleteAdministratorPassword() {
        auto rig = Started();
        QVERIFY(rig);
        QCOMPARE(rig->RegisterAdmin(kAdmin, QString()), OpResult::kDone);
        QCOMPARE(rig->SaveList(kAdmin, {{QStringLiteral("取引先A"), kChange, QString()}}), OpResult::kDone);
        rig->ui.Clear();
        rig->prompts.adminChoices = {PasswordPrompts::AdminChoice::kDelete, PasswordPrompts::AdminChoice::kDelete};
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->AdminCommand(), OpResult::kDeclined);
        QVERIFY(QFile::exists(rig->CommonFile()));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->AdminCommand(), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{207, 207, 208}));
        QCOMPARE(rig->ui.Messages().first().buttons, Buttons::YesNo);
        QCOMPARE(rig->ui.Messages().last().icon, Icon::Information);
        // The list went with it: nothing is refused any more and the list command needs a new administrator.
        QVERIFY(!QFile::exists(rig->CommonFile()));
        QVERIFY(!rig->Manager().RefuseChangePassword(kChange));
        QCOMPARE(rig->ChangePasswordsCommand(), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers().last(), 191);
    }
};

QTEST_MAIN(TestPasswords)
#include "TestPasswords.moc"
