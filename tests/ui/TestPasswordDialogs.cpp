#include "DialogChecks.h"
#include "FakePlatform.h"
#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "app/Kelpie5App.h"
#include "state/CommonManagementData.h"
#include "ui/D08Password.h"
#include "ui/D09PasswordSet.h"
#include "ui/D11UpPassword.h"
#include "ui/D12UpPasswordIn.h"
#include "ui/D14KanriPass.h"
#include "ui/DialogHook.h"
#include "ui/DialogPrompts.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace korimbo;

namespace {

// A started application in a program folder of its own: the real catalogue and engine.
struct Rig {
    bool Start() { return app.InitInstance() && app.CreateState() == OpResult::kDone; }
    QString A(int number) { return app.State().catalogue->m_GetMsgA(number); }
    CCryptEngine& Engine() { return *app.State().engine; }
    QString CommonFile() const { return app.EnvironmentFolder() + u'/' + CommonManagementData::kFileName; }
    // The two commands as the main window runs them: the manager asks through the window's dialogs.
    OpResult AdminCommand() {
        CDialogPrompts prompts(nullptr, app);
        return app.Passwords().RunAdminPasswordCommand(prompts);
    }
    OpResult ChangePasswordsCommand() {
        CDialogPrompts prompts(nullptr, app);
        return app.Passwords().RunChangePasswordsCommand(prompts);
    }

    QTemporaryDir dir;
    ScriptedInteraction ui;
    FaultyFileSystem files;
    FakeVolumes volumes;
    FakeUserFolders userFolders;
    Ckelpie5App app{dir.path(), {ui, files, volumes, userFolders}};
};

void Type(QLineEdit* edit, const QString& text) {
    edit->setText(QString());
    QTest::keyClicks(edit, text);
}

// Clicks OK and returns the number of the message it raised (0: none).
int ClickOk(QPushButton* ok, ScriptedInteraction& ui) {
    ui.Clear();
    ok->click();
    return ui.Messages().isEmpty() ? 0 : ui.Messages().last().number;
}

template <typename Dialog>
DialogHook::Fill As(std::function<int(Dialog&)> fill) {
    return [fill](QDialog& dialog) {
        auto* typed = qobject_cast<Dialog*>(&dialog);
        return typed != nullptr ? fill(*typed) : -100;
    };
}

const QString kAdmin = QStringLiteral("Kanri#Pass2024xyz");
const QString kChange = QStringLiteral("Xy7$Qw9!Lm3#");

} // namespace

class TestPasswordDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    void PromptResults_data() {
        using Mode = PasswordPrompts::PromptMode;
        using Answer = PasswordPrompts::Answer;
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<Answer>("result");
        QTest::addColumn<int>("caption");
        QTest::newRow("valid") << Mode::kLogin << QStringLiteral("abcd1234") << false << Answer::kOk << 505;
        QTest::newRow("32 with symbols") << Mode::kAdminBeforeList
                                         << QStringLiteral("A1!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|") << false << Answer::kOk
                                         << 501;
        QTest::newRow("7 characters") << Mode::kAdminBeforeChange << QStringLiteral("abc1234") << false
                                      << Answer::kInvalid << 503;
        QTest::newRow("33 characters") << Mode::kLogin << QStringLiteral("a").repeated(33) << false << Answer::kInvalid
                                       << 505;
        QTest::newRow("space") << Mode::kLogin << QStringLiteral("abcd 1234") << false << Answer::kInvalid << 505;
        QTest::newRow("cancel") << Mode::kLogin << QStringLiteral("abcd1234") << true << Answer::kCancel << 505;
    }
    void PromptResults() {
        QFETCH(PasswordPrompts::PromptMode, mode);
        QFETCH(QString, typed);
        QFETCH(bool, cancel);
        QFETCH(PasswordPrompts::Answer, result);
        QFETCH(int, caption);
        Rig rig;
        QVERIFY(rig.Start());
        CD08Password dialog(mode, rig.Engine().Messages());
        QCOMPARE(dialog.windowTitle(), rig.A(caption));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("1060"))->text(), rig.A(caption + 1));
        QLineEdit* edit = dialog.findChild<QLineEdit*>(QStringLiteral("1043"));
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        DialogHook::Queue(As<CD08Password>([&](CD08Password& d) {
            Type(d.PasswordEdit(), typed);
            (cancel ? d.CancelButton() : d.OkButton())->click();
            return -1;
        }));
        QCOMPARE(dialog.Run(), result);
        QCOMPARE(edit->text(), QString()); // nothing lingers in the field
        QCOMPARE(dialog.TakePassword(), result == PasswordPrompts::Answer::kOk ? typed : QString());
        QCOMPARE(dialog.TakePassword(), QString());
        QVERIFY(rig.ui.Messages().isEmpty()); // the caller reports an invalid password
    }

    // The fields' own buffers are overwritten when a dialog closes: a copy taken of the field's text
    // shares that buffer and must read as zeros afterwards. A refusal leaves the fields as typed.
    void FieldBuffersAreOverwritten() {
        Rig rig;
        QVERIFY(rig.Start());
        const QString typed = QStringLiteral("Tiger#Lily42x");
        QString held;
        CD08Password prompt(PasswordPrompts::PromptMode::kLogin, rig.Engine().Messages());
        DialogHook::Queue(As<CD08Password>([&](CD08Password& d) {
            Type(d.PasswordEdit(), typed);
            held = d.PasswordEdit()->text();
            d.OkButton()->click();
            return -1;
        }));
        QCOMPARE(prompt.Run(), PasswordPrompts::Answer::kOk);
        QCOMPARE(held, QString(typed.size(), QChar(0)));
        QCOMPARE(prompt.TakePassword(), typed);

        QString heldPassword;
        QString heldConfirm;
        CD09PasswordSet setting(PasswordPrompts::SetMode::kOther, QStringLiteral("/ignored"), rig.app);
        DialogHook::Queue(As<CD09PasswordSet>([&](CD09PasswordSet& d) {
            Type(d.PasswordEdit(), typed);
            Type(d.ConfirmEdit(), QStringLiteral("Tiger#Lily42y"));
            if (ClickOk(d.OkButton(), rig.ui) != 514)
                return -2;
            if (d.PasswordEdit()->text() != typed)
                return -3;
            Type(d.ConfirmEdit(), typed);
            heldPassword = d.PasswordEdit()->text();
            heldConfirm = d.ConfirmEdit()->text();
            rig.ui.QueueAnswer(kAnswerYes);
            d.OkButton()->click();
            return int(QDialog::Accepted);
        }));
        QCOMPARE(DialogHook::Exec(setting), int(QDialog::Accepted));
        QCOMPARE(heldPassword, QString(typed.size(), QChar(0)));
        QCOMPARE(heldConfirm, QString(typed.size(), QChar(0)));
        QCOMPARE(setting.TakePassword(), typed);
    }

    void SettingChecksInOrder() {
        Rig rig;
        QVERIFY(rig.Start());
        CD09PasswordSet dialog(PasswordPrompts::SetMode::kOther, QStringLiteral("/ignored"), rig.app);
        QCOMPARE(dialog.windowTitle(), rig.A(509));
        QCOMPARE(dialog.InfoLabel()->text(), rig.A(510));
        QCOMPARE(dialog.FolderEdit()->text(), QString());
        QCOMPARE(dialog.HintEdit()->maxLength(), 48); // A515 cannot be reached by typing
        QSignalSpy finished(&dialog, &QDialog::finished);
        ScriptedInteraction& ui = rig.ui;
        DialogHook::Queue(As<CD09PasswordSet>([&](CD09PasswordSet& d) {
            Type(d.PasswordEdit(), QStringLiteral("Ab1!xyz"));
            Type(d.ConfirmEdit(), QStringLiteral("Ab1!xyz"));
            if (ClickOk(d.OkButton(), ui) != 511 ||
                ui.Messages().last().text != rig.A(511) + QStringLiteral("8～32") + rig.A(512) ||
                d.focusWidget() != d.PasswordEdit())
                return -2;
            Type(d.PasswordEdit(), QStringLiteral("Ab1!x yz9"));
            if (ClickOk(d.OkButton(), ui) != 513)
                return -3;
            Type(d.PasswordEdit(), QStringLiteral("abcdefgh"));
            if (ClickOk(d.OkButton(), ui) != 514 || d.focusWidget() != d.ConfirmEdit())
                return -4;
            Type(d.ConfirmEdit(), QStringLiteral("abcdefgh"));
            Type(d.HintEdit(), QStringLiteral("abcdefgh"));
            if (ClickOk(d.OkButton(), ui) != 593 || d.focusWidget() != d.HintEdit())
                return -5;
            Type(d.HintEdit(), QStringLiteral("the alphabet"));
            ui.QueueAnswer(kAnswerNo); // weak: A517, and No keeps the dialog open
            if (ClickOk(d.OkButton(), ui) != 517 || ui.Messages().last().buttons != Buttons::YesNo ||
                !finished.isEmpty())
                return -6;
            ui.QueueAnswer(kAnswerYes);
            if (ClickOk(d.OkButton(), ui) != 517 || finished.size() != 1)
                return -7;
            return int(QDialog::Accepted);
        }));
        // Exec, not Run: the code of a failed step comes through.
        QCOMPARE(DialogHook::Exec(dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.TakePassword(), QStringLiteral("abcdefgh"));
        QCOMPARE(dialog.Hint(), QStringLiteral("the alphabet"));
        QCOMPARE(dialog.PasswordEdit()->text(), QString());
        QCOMPARE(dialog.ConfirmEdit()->text(), QString());
    }

    void SettingConfirmsByMode() {
        Rig rig;
        QVERIFY(rig.Start());
        const QString folder =
            QStringLiteral("/media/share/") + QStringLiteral("深い/").repeated(30) + QStringLiteral("暗号");
        using SetMode = PasswordPrompts::SetMode;
        for (const SetMode mode : {SetMode::kRegisterFolder, SetMode::kOther, SetMode::kChangeAdmin}) {
            CD09PasswordSet dialog(mode, folder, rig.app);
            if (mode == SetMode::kRegisterFolder) {
                QCOMPARE(dialog.windowTitle(), rig.A(507));
                QCOMPARE(dialog.InfoLabel()->text(), rig.A(508));
                QCOMPARE(dialog.FolderEdit()->text(), folder);
                QCOMPARE(dialog.FolderEdit()->cursorPosition(), int(folder.size()));
                QVERIFY(dialog.FolderEdit()->isReadOnly());
            } else {
                QCOMPARE(dialog.FolderEdit()->text(), QString());
            }
            dialog.SetHint(QStringLiteral("kept"));
            dialog.SetHintEnabled(false);
            rig.ui.Clear();
            rig.ui.QueueAnswer(kAnswerNo);
            rig.ui.QueueAnswer(kAnswerYes);
            DialogHook::Queue(As<CD09PasswordSet>([&](CD09PasswordSet& d) {
                Type(d.PasswordEdit(), kChange);
                Type(d.ConfirmEdit(), kChange);
                d.OkButton()->click(); // No: stays open
                Type(d.PasswordEdit(), kChange);
                Type(d.ConfirmEdit(), kChange);
                d.OkButton()->click();
                return -1;
            }));
            QCOMPARE(dialog.Run(), int(QDialog::Accepted));
            const int expected = mode == SetMode::kRegisterFolder ? 518 : 519;
            QCOMPARE(rig.ui.Numbers(), (QList<int>{expected, expected}));
            QCOMPARE(rig.ui.Messages().first().icon, Icon::Question);
            QCOMPARE(rig.ui.Messages().first().buttons, Buttons::YesNo);
            QCOMPARE(dialog.Hint(), QStringLiteral("kept"));
            QVERIFY(!dialog.HintEdit()->isEnabled());
        }
    }

    void StrengthBar_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("score");
        QTest::newRow("seven") << QStringLiteral("Ab1!Cd2") << 0;
        QTest::newRow("eight lower") << QStringLiteral("qwertyui") << 10;
        QTest::newRow("twelve identical") << QStringLiteral("zzzzzzzzzzzz") << 2;
        QTest::newRow("8 identical + 1") << QStringLiteral("kkkkkkkkm") << 10;
        QTest::newRow("25 four classes") << QStringLiteral("Ab1!Cd2#Ef3$Gh4%Ij5&Kl6*M") << 85;
    }
    void StrengthBar() {
        QFETCH(QString, password);
        QFETCH(int, score);
        Rig rig;
        QVERIFY(rig.Start());
        CD09PasswordSet set(PasswordPrompts::SetMode::kOther, QString(), rig.app);
        QProgressBar* bar = set.findChild<QProgressBar*>(QStringLiteral("1042"));
        QCOMPARE(bar->maximum(), 85);
        QTest::keyClicks(set.PasswordEdit(), password);
        QCOMPARE(bar->value(), score);
        CD12UpPasswordIn entry(rig.ui, rig.Engine().Messages());
        QTest::keyClicks(entry.PasswordEdit(), password);
        QCOMPARE(entry.findChild<QProgressBar*>(QStringLiteral("1059"))->value(), score);
    }

    void EntryChecksInOrder() {
        Rig rig;
        QVERIFY(rig.Start());
        ScriptedInteraction& ui = rig.ui;
        CD12UpPasswordIn dialog(ui, rig.Engine().Messages());
        DialogHook::Queue(As<CD12UpPasswordIn>([&](CD12UpPasswordIn& d) {
            Type(d.NameEdit(), QStringLiteral("n").repeated(49));
            if (ClickOk(d.OkButton(), ui) != 525 ||
                ui.Messages().last().text != rig.A(525) + QStringLiteral("48") + rig.A(526))
                return -2;
            Type(d.NameEdit(), QString());
            if (ClickOk(d.OkButton(), ui) != 527)
                return -3;
            Type(d.NameEdit(), QStringLiteral("abcdefgh"));
            Type(d.PasswordEdit(), QStringLiteral("a").repeated(33));
            if (ClickOk(d.OkButton(), ui) != 528 ||
                ui.Messages().last().text != rig.A(528) + QStringLiteral("8～32") + rig.A(529))
                return -4;
            d.PasswordEdit()->setText(QStringLiteral("abcd\u3000efgh")); // an ideographic space
            if (ClickOk(d.OkButton(), ui) != 530)
                return -5;
            Type(d.PasswordEdit(), QStringLiteral("abcdefgh"));
            if (ClickOk(d.OkButton(), ui) != 531)
                return -6;
            d.NameEdit()->setText(QStringLiteral("取引先"));
            Type(d.HintEdit(), QStringLiteral("h").repeated(49));
            if (d.HintEdit()->text().size() != 49 || ClickOk(d.OkButton(), ui) != 532 ||
                ui.Messages().last().text != rig.A(532) + QStringLiteral("48") + rig.A(533))
                return -7;
            Type(d.HintEdit(), QStringLiteral("abcdefgh"));
            if (ClickOk(d.OkButton(), ui) != 593)
                return -8;
            Type(d.HintEdit(), QStringLiteral("letters"));
            ui.QueueAnswer(kAnswerNo);
            if (ClickOk(d.OkButton(), ui) != 534 || d.result() == QDialog::Accepted)
                return -9;
            ui.QueueAnswer(kAnswerYes);
            ClickOk(d.OkButton(), ui);
            return -1;
        }));
        // Exec, not Run: the code of a failed step comes through.
        QCOMPARE(DialogHook::Exec(dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.Name(), QStringLiteral("取引先"));
        QCOMPARE(dialog.Password(), QStringLiteral("abcdefgh"));
        QCOMPARE(dialog.Hint(), QStringLiteral("letters"));
        QCOMPARE(dialog.PasswordEdit()->text(), QString());
    }

    void ListRefusesDuplicatesAndAHundredAndFirst() {
        Rig rig;
        QVERIFY(rig.Start());
        ScriptedInteraction& ui = rig.ui;
        CD11UpPassword dialog(ui, rig.Engine().Messages());
        CPasswordManager manager = rig.app.Passwords();
        dialog.SetCheck([&manager](const QList<ChangePasswordText>& entries, int& row) {
            return manager.CheckChangePasswordList(entries, row);
        });
        dialog.SetEntries({{QStringLiteral("取引先"), kChange, QStringLiteral("h1")},
                           {QStringLiteral("社内"), QStringLiteral("Other#Pass99"), QString()},
                           {QStringLiteral("取引先"), QStringLiteral("Third#Pass77"), QStringLiteral("h3")}});
        QTreeWidget* list = dialog.List();
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("パスワード"));
        DialogHook::Queue(As<CD11UpPassword>([&](CD11UpPassword& d) {
            if (ClickOk(d.OkButton(), ui) != 521 ||
                ui.Messages().last().text != QStringLiteral("識別名称 ' 取引先") + rig.A(521))
                return -2;
            d.DeleteAction()->trigger(); // the duplicate is selected
            d.List()->setCurrentItem(d.List()->topLevelItem(1));
            d.UpButton()->click();
            if (ClickOk(d.OkButton(), ui) != 0)
                return -3;
            return -1;
        }));
        // Exec, not Run: the code of a failed step comes through.
        QCOMPARE(DialogHook::Exec(dialog), int(QDialog::Accepted));
        const QList<ChangePasswordText> entries = dialog.Entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].name, QStringLiteral("社内"));
        QCOMPARE(entries[1].password, kChange);

        QList<ChangePasswordText> full;
        for (int i = 0; i < 100; ++i)
            full.append({QStringLiteral("n%1").arg(i), kChange, QString()});
        CD11UpPassword fullDialog(ui, rig.Engine().Messages());
        fullDialog.SetEntries(full);
        ui.Clear();
        fullDialog.NewButton()->click(); // no entry dialog is opened (the cleanup checks the hook)
        QCOMPARE(ui.Numbers(), QList<int>{522});
        QCOMPARE(ui.Messages().last().text, rig.A(522) + QStringLiteral("100") + rig.A(523));
        QCOMPARE(fullDialog.List()->topLevelItemCount(), 100);
    }

    void ChangePasswordsNeedAnAdministrator() {
        Rig rig;
        QVERIFY(rig.Start());
        QCOMPARE(rig.ChangePasswordsCommand(), OpResult::kFailed);
        QCOMPARE(rig.ui.Numbers(), QList<int>{191});
        QVERIFY(!QFile::exists(rig.CommonFile()));
    }

    void AdministratorAndChangePasswordsRoundTrip() {
        Rig rig;
        QVERIFY(rig.Start());
        ScriptedInteraction& ui = rig.ui;
        const auto choose = [](int choice) {
            return As<CD14KanriPass>([choice](CD14KanriPass& d) {
                (choice == CD14KanriPass::kRegister ? d.RegisterButton()
                 : choice == CD14KanriPass::kChange ? d.ChangeButton()
                                                    : d.DeleteButton())
                    ->click();
                return -1;
            });
        };
        const auto setPassword = [](const QString& password, const QString& hint) {
            return As<CD09PasswordSet>([password, hint](CD09PasswordSet& d) {
                Type(d.PasswordEdit(), password);
                Type(d.ConfirmEdit(), password);
                Type(d.HintEdit(), hint);
                d.OkButton()->click();
                return -1;
            });
        };
        const auto prompt = [](const QString& password, int caption, Rig& r) {
            return As<CD08Password>([password, caption, &r](CD08Password& d) {
                Type(d.PasswordEdit(), password);
                (d.windowTitle() == r.A(caption) ? d.OkButton() : d.CancelButton())->click();
                return -1;
            });
        };

        // 新規登録
        DialogHook::Queue(choose(CD14KanriPass::kRegister));
        DialogHook::Queue(setPassword(kAdmin, QStringLiteral("admin hint")));
        ui.QueueAnswer(kAnswerYes); // A519: set this password
        QCOMPARE(rig.AdminCommand(), OpResult::kDone);
        QCOMPARE(ui.Numbers(), QList<int>{519});
        QCOMPARE(ui.Messages().first().buttons, Buttons::YesNo);

        // One change password through the list and the entry dialog.
        ui.Clear();
        DialogHook::Queue(prompt(kAdmin, 501, rig));
        DialogHook::Queue(As<CD11UpPassword>([](CD11UpPassword& d) {
            d.NewButton()->click();
            return d.List()->topLevelItemCount() == 1 ? int(QDialog::Accepted) : -2;
        }));
        DialogHook::Queue(As<CD12UpPasswordIn>([](CD12UpPasswordIn& d) {
            d.NameEdit()->setText(QStringLiteral("取引先A"));
            Type(d.PasswordEdit(), kChange);
            Type(d.HintEdit(), QStringLiteral("memo"));
            return int(QDialog::Accepted);
        }));
        QCOMPARE(rig.ChangePasswordsCommand(), OpResult::kDone);
        QVERIFY(ui.Messages().isEmpty());

        const auto readBack = [&rig](const QString& admin, QStringList& names, QStringList& passwords,
                                     QString& adminHint) {
            CommonManagementData data(rig.Engine(), rig.files);
            QStringList hints;
            int count = 0;
            const Verdict loaded = data.LoadManagementData(rig.app.EnvironmentFolder(), admin, 1);
            data.GetChangePasswords(count, names, passwords, hints);
            adminHint = data.AdminHint().trimmed();
            return loaded == Verdict::kYes ? count : -1;
        };
        QStringList names;
        QStringList passwords;
        QString adminHint;
        QCOMPARE(readBack(kAdmin, names, passwords, adminHint), 1);
        QCOMPARE(adminHint, QStringLiteral("admin hint"));
        QCOMPARE(names, QStringList{QStringLiteral("取引先A")});
        QCOMPARE(passwords, QStringList{kChange});

        // A folder password may not be a registered change password.
        ui.Clear();
        CD09PasswordSet set(PasswordPrompts::SetMode::kRegisterFolder, QStringLiteral("/f"), rig.app);
        DialogHook::Queue(As<CD09PasswordSet>([&](CD09PasswordSet& d) {
            Type(d.PasswordEdit(), kChange);
            Type(d.ConfirmEdit(), kChange);
            const bool refused = ClickOk(d.OkButton(), ui) == 520 && ui.Messages().last().icon == Icon::Warning &&
                                 d.focusWidget() == d.PasswordEdit();
            return refused ? int(QDialog::Rejected) : -2;
        }));
        QCOMPARE(set.Run(), int(QDialog::Rejected));

        // Invalid and wrong administrator passwords stop before the list.
        ui.Clear();
        DialogHook::Queue(prompt(QStringLiteral("short"), 501, rig));
        QCOMPARE(rig.ChangePasswordsCommand(), OpResult::kFailed);
        DialogHook::Queue(prompt(QStringLiteral("Wrong#Pass2024"), 501, rig));
        QCOMPARE(rig.ChangePasswordsCommand(), OpResult::kFailed);
        QCOMPARE(ui.Numbers(), (QList<int>{192, 561}));
        QVERIFY(ui.Messages().last().text.contains(QStringLiteral("admin hint")));

        // 変更: the list is re-enciphered under the new administrator password.
        ui.Clear();
        const QString newAdmin = QStringLiteral("Neu&Kanri2025Pw!");
        DialogHook::Queue(choose(CD14KanriPass::kChange));
        DialogHook::Queue(prompt(kAdmin, 503, rig));
        DialogHook::Queue(setPassword(newAdmin, QStringLiteral("new hint")));
        ui.QueueAnswer(kAnswerYes); // A519
        QCOMPARE(rig.AdminCommand(), OpResult::kDone);
        QCOMPARE(ui.Numbers(), QList<int>{519});
        names.clear();
        passwords.clear();
        QCOMPARE(readBack(newAdmin, names, passwords, adminHint), 1);
        QCOMPARE(passwords, QStringList{kChange});
        QCOMPARE(adminHint, QStringLiteral("new hint"));

        // 削除: No keeps everything, Yes removes the file.
        ui.Clear();
        ui.QueueAnswer(kAnswerNo);
        DialogHook::Queue(choose(CD14KanriPass::kDelete));
        QCOMPARE(rig.AdminCommand(), OpResult::kDeclined);
        QVERIFY(QFile::exists(rig.CommonFile()));
        DialogHook::Queue(choose(CD14KanriPass::kDelete));
        ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.AdminCommand(), OpResult::kDone);
        QCOMPARE(ui.Numbers(), (QList<int>{207, 207, 208}));
        QCOMPARE(ui.Messages().at(1).buttons, Buttons::YesNo);
        QVERIFY(!QFile::exists(rig.CommonFile()));
    }

    void PromptsSeam() {
        Rig rig;
        QVERIFY(rig.Start());
        CDialogPrompts prompts(nullptr, rig.app);
        QString password;
        DialogHook::Queue(As<CD08Password>([](CD08Password& d) {
            Type(d.PasswordEdit(), QStringLiteral("abc"));
            return int(QDialog::Accepted);
        }));
        QCOMPARE(prompts.AskPassword(PasswordPrompts::PromptMode::kLogin, password), PasswordPrompts::Answer::kInvalid);

        QString hint = QStringLiteral("from the containers");
        prompts.SetHintEditable(false);
        DialogHook::Queue(As<CD09PasswordSet>([](CD09PasswordSet& d) {
            Type(d.PasswordEdit(), kChange);
            Type(d.ConfirmEdit(), kChange);
            return d.HintEdit()->isEnabled() ? -2 : int(QDialog::Accepted);
        }));
        rig.ui.QueueAnswer(kAnswerYes); // A518: register with this password
        QCOMPARE(
            prompts.AskNewPassword(PasswordPrompts::SetMode::kRegisterFolder, QStringLiteral("/f"), password, hint),
            PasswordPrompts::Answer::kOk);
        QCOMPARE(password, kChange);
        QCOMPARE(hint, QStringLiteral("from the containers"));

        bool readOnly = false;
        DialogHook::Queue([](QDialog& d) {
            d.findChild<QCheckBox*>()->setChecked(true);
            return int(QDialog::Accepted);
        });
        QCOMPARE(prompts.AskNetworkRegistration(QStringLiteral("/net/f"), readOnly), PasswordPrompts::Answer::kOk);
        QVERIFY(readOnly);
        DialogHook::Queue([](QDialog&) { return int(QDialog::Rejected); });
        QCOMPARE(prompts.AskNetworkRegistration(QStringLiteral("/net/f"), readOnly), PasswordPrompts::Answer::kCancel);

        // The administrator choice: the button pressed, or Cancel.
        DialogHook::Queue(As<CD14KanriPass>([](CD14KanriPass& d) {
            d.ChangeButton()->click();
            return -1;
        }));
        QCOMPARE(prompts.AskAdminChoice(), PasswordPrompts::AdminChoice::kChange);
        DialogHook::Queue(As<CD14KanriPass>([](CD14KanriPass& d) {
            d.CancelButton()->click();
            return -1;
        }));
        QCOMPARE(prompts.AskAdminChoice(), PasswordPrompts::AdminChoice::kCancel);

        // The list runs the command's check on OK and stays open on the row it names.
        QList<ChangePasswordText> entries = {{QStringLiteral("a"), kChange, QString()},
                                             {QStringLiteral("b"), kAdmin, QString()},
                                             {QStringLiteral("a"), kChange, QString()}};
        int checks = 0;
        const PasswordPrompts::ListCheck check = [&checks](const QList<ChangePasswordText>& list, int& row) {
            ++checks;
            row = static_cast<int>(list.size()) - 1;
            return list.size() != 3;
        };
        DialogHook::Queue(As<CD11UpPassword>([](CD11UpPassword& d) {
            d.OkButton()->click();
            if (d.result() == QDialog::Accepted || d.List()->currentItem() != d.List()->topLevelItem(2))
                return -2;
            d.DeleteAction()->trigger();
            d.OkButton()->click();
            return -1;
        }));
        QCOMPARE(prompts.AskChangePasswordList(entries, check), PasswordPrompts::Answer::kOk);
        QCOMPARE(checks, 2);
        QCOMPARE(entries.size(), 2);
        DialogHook::Queue([](QDialog&) { return int(QDialog::Rejected); });
        QCOMPARE(prompts.AskChangePasswordList(entries, check), PasswordPrompts::Answer::kCancel);
        QCOMPARE(entries.size(), 2);
    }
};

QTEST_MAIN(TestPasswordDialogs)
#include "TestPasswordDialogs.moc"
