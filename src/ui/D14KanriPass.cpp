#include "ui/D14KanriPass.h"

#include "app/Kelpie5App.h"
#include "state/CommonManagementData.h"
#include "ui/D08Password.h"
#include "ui/D09PasswordSet.h"
#include "ui/D11UpPassword.h"
#include "ui/DialogHook.h"
#include "util/DisplayText.h"
#include "workspace/PasswordPrompts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

namespace {

// What the administrator commands share: the engine, the catalogue and the environment folder.
struct AdminContext {
    explicit AdminContext(Ckelpie5App& app)
        : app(app), ui(app.Svc().ui), messages(app.State().engine->Messages()), env(app.EnvironmentFolder()),
          data(*app.State().engine, app.Svc().files) {}

    int Say(int number, Icon icon, Buttons buttons = Buttons::Ok) {
        return ui.Message(messages.MsgA(number), icon, buttons, 0, number);
    }

    Ckelpie5App& app;
    Interaction& ui;
    MessageSource& messages;
    QString env;
    CommonManagementData data;
};

// 1 with an administrator record on file, 0 without; -1 when the file could not be read (reported).
int AdminRegistered(AdminContext& context) {
    if (context.data.ManagementDataExists(context.env) != 0)
        return 0;
    int adminOk = 0;
    if (context.data.LoadManagementData(context.env, QStringLiteral(" "), 0, adminOk) != 0) {
        context.data.ClearManagementData();
        return -1;
    }
    const bool registered = context.data.AdminTag() == CommonManagementData::kAdminTag;
    context.data.ClearManagementData();
    return registered ? 1 : 0;
}

// Asks the current administrator password and loads the common data with it for a save. The load
// reports a wrong password itself.
int LoadWithAdminPassword(AdminContext& context, QWidget* parent, int mode, QString& password) {
    CD08Password prompt(mode, context.messages, parent);
    const int answer = prompt.Run();
    if (answer == CD08Password::kCancel)
        return -1;
    if (answer == CD08Password::kInvalid) {
        context.Say(192, Icon::Warning);
        return -1;
    }
    password = prompt.TakePassword();
    int adminOk = 0;
    if (context.data.LoadManagementData(context.env, password, 1, adminOk) != 0 || adminOk != 1) {
        context.data.ClearManagementData();
        WipeText(password);
        return -1;
    }
    return 0;
}

int RegisterAdmin(AdminContext& context, QWidget* parent) {
    CD09PasswordSet dialog(PasswordPrompts::kSetDefault, QString(), context.app, parent);
    if (dialog.Run() != QDialog::Accepted)
        return -1;
    QString password = dialog.TakePassword();
    // A strict load: an administrator password already on file must be the one typed, so that
    // registering cannot replace someone else's password and list.
    int adminOk = 0;
    int rc = context.data.LoadManagementData(context.env, password, 1, adminOk);
    if (rc == 0)
        rc = context.data.SaveManagementData(context.env, password, dialog.Hint(), 1);
    context.data.ClearManagementData();
    WipeText(password);
    return rc;
}

int ChangeAdmin(AdminContext& context, QWidget* parent) {
    const int registered = AdminRegistered(context);
    if (registered <= 0) {
        if (registered == 0)
            context.Say(191, Icon::Warning);
        return -1;
    }
    QString oldPassword;
    if (LoadWithAdminPassword(context, parent, PasswordPrompts::kPromptMode4, oldPassword) != 0)
        return -1;
    WipeText(oldPassword);

    CD09PasswordSet dialog(PasswordPrompts::kSetChangeAdmin, QString(), context.app, parent);
    dialog.SetHint(QString());
    dialog.SetHintEnabled(true);
    int rc = -1;
    if (dialog.Run() == QDialog::Accepted) {
        // A new admin record: the verifier, and with it the list key, change; the save re-enciphers the list.
        QString password = dialog.TakePassword();
        rc = context.data.SaveManagementData(context.env, password, dialog.Hint(), 1);
        WipeText(password);
    }
    context.data.ClearManagementData();
    return rc;
}

int DeleteAdmin(AdminContext& context) {
    if (context.data.ManagementDataExists(context.env) != 0) {
        context.Say(191, Icon::Warning);
        return -1;
    }
    if (context.Say(207, Icon::Question, Buttons::YesNo) != kAnswerYes)
        return -1;
    if (context.data.DeleteManagementData(context.env) != 0)
        return -1;
    context.Say(208, Icon::Information);
    return 0;
}

} // namespace

CD14KanriPass::CD14KanriPass(QWidget* parent)
    : QDialog(parent), m_register(new QPushButton(QStringLiteral("新規登録"), this)),
      m_change(new QPushButton(QStringLiteral("変更"), this)), m_delete(new QPushButton(QStringLiteral("削除"), this)),
      m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("管理パスワードの設定"));
    setWindowTitle(QStringLiteral("管理パスワードの設定"));
    auto* text = new QLabel(QStringLiteral("管理パスワードの操作を選んでください。"), this);

    connect(m_register, &QPushButton::clicked, this, [this] { done(kRegister); });
    connect(m_change, &QPushButton::clicked, this, [this] { done(kChange); });
    connect(m_delete, &QPushButton::clicked, this, [this] { done(kDelete); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_register);
    buttons->addWidget(m_change);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
}

int CD14KanriPass::Run() {
    const int result = DialogHook::Exec(*this);
    return result == kRegister || result == kChange || result == kDelete ? result : QDialog::Rejected;
}

int RunAdminPasswordCommand(QWidget* parent, Ckelpie5App& app) {
    AdminContext context(app);
    CD14KanriPass choice(parent);
    switch (choice.Run()) {
    case CD14KanriPass::kRegister:
        return RegisterAdmin(context, parent);
    case CD14KanriPass::kChange:
        return ChangeAdmin(context, parent);
    case CD14KanriPass::kDelete:
        return DeleteAdmin(context);
    default:
        return -1;
    }
}

int RunChangePasswordsCommand(QWidget* parent, Ckelpie5App& app) {
    AdminContext context(app);
    const int registered = AdminRegistered(context);
    if (registered <= 0) {
        if (registered == 0)
            context.Say(191, Icon::Warning);
        return -1;
    }
    QString password;
    if (LoadWithAdminPassword(context, parent, PasswordPrompts::kPromptMode3, password) != 0)
        return -1;

    int count = 0;
    QStringList names;
    QStringList passwords;
    QStringList hints;
    context.data.GetChangePasswords(count, names, passwords, hints);
    QList<ChangePasswordText> entries;
    for (int i = 0; i < count; ++i)
        entries.append({names[i], passwords[i], hints[i]});
    for (QString& text : passwords)
        WipeText(text);

    int rc = -1;
    CD11UpPassword list(context.ui, context.messages, parent);
    list.SetEntries(entries);
    if (list.Run() == QDialog::Accepted) {
        names.clear();
        passwords.clear();
        hints.clear();
        const QList<ChangePasswordText> chosen = list.Entries();
        for (const ChangePasswordText& entry : chosen) {
            names.append(entry.name);
            passwords.append(entry.password);
            hints.append(entry.hint);
        }
        rc = context.data.SetChangePasswords(static_cast<int>(chosen.size()), names, passwords, hints);
        if (rc == 0)
            rc = context.data.SaveManagementData(context.env, password, WithoutTrailingSpaces(context.data.AdminHint()),
                                                 0);
        for (QString& text : passwords)
            WipeText(text);
    }
    for (ChangePasswordText& entry : entries)
        WipeText(entry.password);
    context.data.ClearManagementData();
    WipeText(password);
    return rc;
}

} // namespace korimbo
