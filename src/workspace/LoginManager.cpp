#include "workspace/LoginManager.h"

#include "state/WorkAreas.h"
#include "util/BusySection.h"
#include "util/DisplayText.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/SecretText.h"
#include "util/TreeWalk.h"
#include "workspace/DecryptedFileModel.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <array>
#include <cstdint>

namespace korimbo {

namespace {

// The password bytes must not linger on the stack after the key is made.
void Scrub(std::array<std::uint8_t, 34>& bytes) {
    volatile std::uint8_t* p = bytes.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        p[i] = 0;
}

} // namespace

CLoginManager::CLoginManager(CCryptEngine& engine, FolderRegistry& registry, WorkFolderSettings& workFolder,
                             SettingsRecord& settings, FileSystem& files, Interaction& ui, MessageSource& messages)
    : m_engine(engine), m_registry(registry), m_workFolder(workFolder), m_settings(settings), m_files(files), m_ui(ui),
      m_messages(messages) {}

QString CLoginManager::WorkAreaOf(const QString& folder, const QString& area) const {
    const int slot = m_registry.SlotOf(folder);
    return slot < 0 ? QString() : WorkAreas::AreaOf(m_workFolder.RootOf(area), m_registry.WorkIdText(slot), area);
}

bool CLoginManager::IsLoggedIn(const QString& folder) const {
    return !folder.isEmpty() && m_engine.HasKey(folder);
}

bool CLoginManager::HasWorkingCopies(const QString& folder) const {
    const QString area = WorkAreaOf(folder, WorkAreas::kEditing);
    return !area.isEmpty() && CDecryptedFileModel::HasCopies(area);
}

OpResult CLoginManager::Fail(int number, const QString& tail, Icon icon) {
    ReportMessage(m_ui, m_messages, number, tail, icon);
    return OpResult::kFailed;
}

OpResult CLoginManager::Login(const QString& folder, PasswordPrompts& prompts) {
    const int slot = m_registry.SlotOf(folder);
    if (slot < 0 || !QFileInfo(folder).isDir())
        return OpResult::kFailed;

    bool keyAdded = false;
    if (!IsLoggedIn(folder)) {
        QString password;
        const ScopedWipe wipePassword(password);
        const PasswordPrompts::Answer answer = prompts.AskPassword(PasswordPrompts::PromptMode::kLogin, password);
        if (answer == PasswordPrompts::Answer::kCancel)
            return OpResult::kDeclined;
        // The prompt already checks the rules; the check here keeps a looser dialog from getting through.
        if (answer == PasswordPrompts::Answer::kInvalid || !CCryptEngine::KeepsPasswordRules(password))
            return Fail(msg::kLoginInvalidPassword, QString(), Icon::Warning);
        QString hint;
        const Verdict verified = m_registry.VerifyFolderPassword(folder, password);
        // The check leaves the password's key in the scratch slot; it is of no further use.
        m_engine.ReleaseKey(CCryptEngine::kTempKeyName);
        if (verified == Verdict::kFailed || m_registry.GetFolderHint(folder, hint) != OpResult::kDone)
            return OpResult::kFailed;
        hint = WithoutTrailingSpaces(hint);
        if (verified == Verdict::kNo)
            return Fail(msg::kLoginWrongPassword, hint + QStringLiteral(" 」です。　"), Icon::Warning);
        m_engine.ReleaseKey(folder);
        std::array<std::uint8_t, 34> bytes{};
        const int count = m_engine.PasswordToBytes(password, bytes);
        const int rc = m_engine.RegisterKey(bytes.data(), count, folder, hint);
        Scrub(bytes);
        if (rc != 0)
            return OpResult::kFailed;
        keyAdded = true;
    }

    OpResult rc = OpResult::kFailed;
    {
        const BusySection section(busy);
        m_ui.SetStatusText(m_messages.MsgA(msg::kLoggingIn));
        rc = MakeWorkAreas(folder);
        m_ui.SetStatusText(QString());
    }
    if (rc != OpResult::kDone) {
        // A folder without its work areas cannot be used; only a key made just now is taken back.
        if (keyAdded)
            m_engine.ReleaseKey(folder);
        return OpResult::kFailed;
    }

    if (m_registry.ReadOnlyText(slot) == QStringLiteral("1") && m_settings.readOnlyMsgDispFlg == 1)
        ReportMessage(m_ui, m_messages, msg::kReadOnlyNotice, QString(), Icon::Information);
    return OpResult::kDone;
}

OpResult CLoginManager::MakeWorkAreas(const QString& folder) {
    const int slot = m_registry.SlotOf(folder);
    for (const QString& area : WorkAreas::kAll) {
        // The plaintext areas may live apart from the name-file mirror (a stick that cannot keep them private).
        const QString base =
            slot < 0 ? QString() : WorkAreas::BaseOf(m_workFolder.RootOf(area), m_registry.WorkIdText(slot));
        const QString path = base.isEmpty() ? m_workFolder.angoTempFolder : base + u'/' + area;
        // The areas hold plaintext (copies, name-file steps, scratch): only their owner may enter them.
        if (!base.isEmpty() && WorkAreas::MakePrivateFolder(base).Ok() && WorkAreas::MakePrivateFolder(path).Ok()) {
            // What an earlier version or another umask left in the area loses group and other access.
            WorkAreas::MakeTreePrivate(path);
            continue;
        }
        return Fail(msg::kWorkAreaFailed, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Error);
    }
    return OpResult::kDone;
}

OpResult CLoginManager::Logout(const QString& folder) {
    const int slot = m_registry.SlotOf(folder);
    if (slot < 0)
        return OpResult::kFailed;
    if (!IsLoggedIn(folder))
        return OpResult::kDone;
    const bool readOnly = m_registry.ReadOnlyText(slot) == QStringLiteral("1");

    bool confirmed = false;
    if (!readOnly && confirmLogout && HasWorkingCopies(folder)) {
        if (!confirmLogout(folder))
            return OpResult::kDeclined;
        confirmed = true;
        if (writeBackAll) {
            const BusySection section(busy);
            if (writeBackAll(folder) != OpResult::kDone)
                return OpResult::kFailed;
        }
    }
    if (!confirmed && m_ui.Message(m_messages.MsgA(msg::kLogoutQuestion) + folder, Icon::Question, Buttons::YesNo, 0,
                                   msg::kLogoutQuestion) != kAnswerYes)
        return OpResult::kDeclined;

    if (readOnly && EraseEditingArea(folder) != OpResult::kDone)
        return OpResult::kFailed;
    // Releasing the slot overwrites the key material.
    m_engine.ReleaseKey(folder);
    return IsLoggedIn(folder) ? OpResult::kFailed : OpResult::kDone;
}

OpResult CLoginManager::EraseEditingArea(const QString& folder) {
    const QString area = WorkAreaOf(folder, WorkAreas::kEditing);
    if (area.isEmpty() || !QFileInfo(area).isDir())
        return OpResult::kDone;
    const BusySection section(busy);
    QStringList files;
    QStringList folders;
    WalkTree(area, [&](const TreeEntry& entry) {
        (entry.kind == ItemKind::Folder ? folders : files).append(entry.path);
        return Visit::Continue;
    });
    if (eraseInUse && eraseInUse(files))
        return OpResult::kFailed;
    OpResult result = OpResult::kDone;
    for (const QString& file : files) {
        QString errorText;
        // Renamed first, so not even the working copy's name is left behind.
        if (m_engine.WipeAndDelete(file, errorText, true) != 0) {
            m_ui.Message(errorText, Icon::Error, Buttons::Ok, 0, 0);
            result = OpResult::kFailed;
            break;
        }
    }
    // Deepest first; a folder that is not empty yet simply stays.
    for (qsizetype i = folders.size() - 1; result == OpResult::kDone && i >= 0; --i)
        static_cast<void>(m_files.RemoveFolder(folders.at(i)));
    return result;
}

} // namespace korimbo
