// The main window's folder commands: registration, login, logout and release, and the tree's part in them.
#include "app/FolderRegistration.h"
#include "ui/MainFrame.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/LoginManager.h"

#include <QFileInfo>

namespace korimbo {

void CMainFrame::WireFolderCommands() {
    AppState& state = m_app.State();
    m_login = std::make_unique<CLoginManager>(*state.engine, *state.registry, *state.workFolder, state.settings,
                                              m_app.Svc().files, m_ui, *state.catalogue);
    m_login->busy = [this](bool on) { Busy(on); };
    m_tree->mountRootOf = [this](const QString& path) { return m_app.Svc().volumes.MountRoot(path); };
    m_tree->isLoggedIn = [this](const QString& path) { return m_login->IsLoggedIn(path); };
    m_tree->isBusy = [this] { return IsBusy(); };
    connect(m_tree, &CTreeV::FolderSelected, this, &CMainFrame::OnFolderSelected);
    connect(m_tree, &CTreeV::RegisterRequested, this,
            [this](const QString& folder) { static_cast<void>(RegisterAndLogin(folder, true)); });
    connect(m_tree, &CTreeV::ContextCommand, this, [this](int id, const QString& directory) {
        m_treePopupPath = directory;
        OnPopupCommand(id);
    });
    if (!registerFolder)
        registerFolder = [this](const QString& folder) { return RegisterAndLogin(folder, false); };
    if (!startLogin)
        startLogin = [this](const QString& folder) {
            if (QTreeWidgetItem* item = m_tree->FindTop(folder))
                m_tree->setCurrentItem(item);
            static_cast<void>(LoginFolder(folder));
        };
    m_tree->Populate(*state.registry);
}

// The menu bar and the toolbar act on the folder of the item selected in the tree, wherever the mouse is.
QString CMainFrame::SelectedTopFolder() const {
    return CTreeV::TopFolderOf(m_tree->currentItem());
}

// A logged-in folder shows the selected directory in the contents list; any other shows nothing.
// The decrypted-file list follows the selected folder whether it is logged in or not.
void CMainFrame::OnFolderSelected(const QString& directory, const QString& topFolder) {
    ShowFolder(directory);
    if (m_decrypted)
        static_cast<void>(m_decrypted->SetDirectory(topFolder));
}

OpResult CMainFrame::RegisterAndLogin(const QString& folder, bool fromDrop) {
    if (!m_prompts)
        return OpResult::kDeclined;
    CFolderRegistration registration(m_app, *m_prompts);
    registration.busy = [this](bool on) { Busy(on); };
    if (fromDrop)
        SetStatusText(m_app.State().catalogue->m_GetMsgA(msg::kRegisteringFolder));
    const QString path = QFileInfo(folder).absoluteFilePath();
    const OpResult rc = registration.Register(path);
    ClearStatusText();
    if (rc != OpResult::kDone)
        return rc;
    const FolderRegistry& registry = *m_app.State().registry;
    const int slot = registry.SlotOf(path);
    const int driveType = slot < 0 ? 0 : registry.DriveTypeOf(slot);
    const bool readOnly = slot >= 0 && registry.ReadOnlyText(slot) == QStringLiteral("1");
    firstRegistrationWasReadOnly = readOnly;
    QTreeWidgetItem* item = m_tree->AddFolder(path, driveType);
    m_tree->setCurrentItem(item);
    if (fromDrop)
        m_ui.Message(m_app.State().catalogue->m_GetMsgA(msg::kFolderRegistered), Icon::Information, Buttons::Ok, 0,
                     msg::kFolderRegistered);
    static_cast<void>(LoginFolder(path));
    if (!fromDrop && !readOnly && showGuidance)
        showGuidance();
    return OpResult::kDone;
}

OpResult CMainFrame::LoginFolder(const QString& folder) {
    if (folder.isEmpty() || !m_prompts || !m_login)
        return OpResult::kDeclined;
    const OpResult rc = m_login->Login(folder, *m_prompts);
    m_tree->RefreshLoginState();
    if (rc == OpResult::kDone) {
        const QTreeWidgetItem* current = m_tree->currentItem();
        ShowFolder(CTreeV::TopFolderOf(current) == folder ? CTreeV::PathOf(current) : folder);
        // The login made the work areas: the decrypted-file list can watch the editing area now.
        if (m_decrypted)
            static_cast<void>(m_decrypted->SetDirectory(folder));
    }
    UpdateCommandStates();
    return rc;
}

OpResult CMainFrame::LogoutFolder(const QString& folder) {
    if (folder.isEmpty() || !m_login)
        return OpResult::kDeclined;
    const OpResult rc = m_login->Logout(folder);
    if (rc == OpResult::kDone)
        ForgetSearchOf(folder);
    if (rc == OpResult::kDone && CTreeV::TopFolderOf(m_tree->currentItem()) == folder)
        ShowFolder(QString());
    m_tree->RefreshLoginState();
    UpdateCommandStates();
    return rc;
}

OpResult CMainFrame::ReleaseFolder(const QString& folder) {
    if (folder.isEmpty() || !m_prompts)
        return OpResult::kDeclined;
    CFolderRegistration registration(m_app, *m_prompts);
    registration.busy = [this](bool on) { Busy(on); };
    if (const OpResult released = registration.Release(folder); released != OpResult::kDone)
        return released;
    m_app.State().engine->ReleaseKey(folder);
    ForgetSearchOf(folder);
    if (CTreeV::TopFolderOf(m_tree->currentItem()) == folder)
        ShowFolder(QString());
    m_tree->RemoveFolder(folder);
    UpdateCommandStates();
    return OpResult::kDone;
}

} // namespace korimbo
