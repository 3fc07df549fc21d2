// The main window's contents list: listing the selected directory, keeping it current, opening its rows,
// and encrypting files from outside into it.
#include "folder/ContentsModel.h"
#include "folder/ContentsWatcher.h"
#include "folder/EncryptIn.h"
#include "folder/NameFile.h"
#include "platform/AccessCheck.h"
#include "platform/Associations.h"
#include "platform/ClipboardFiles.h"
#include "ui/EncryptInDialogs.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "ui/TakeOutDialogs.h"
#include "ui/TreeV.h"
#include "workspace/LoginManager.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace korimbo {

void CMainFrame::WireContents() {
    AppState& state = m_app.State();
    Ckelpie5App::Services& svc = m_app.Svc();
    m_nameFile = std::make_unique<CNameFile>(*state.engine, *state.registry, *state.workFolder, svc.files, m_ui,
                                             *state.catalogue);
    if (m_processes)
        m_nameFile->SetOpenCheck(m_processes);
    m_contents = std::make_unique<CContentsModel>(*m_nameFile, *state.engine, state.settings, m_ui, *state.catalogue);
    m_contents->busy = [this](bool on) { Busy(on); };
    m_contents->typeNameOf = [this](const QString& extension) {
        QString name;
        return m_associations && m_associations->FileTypeName(extension, name) == 0 ? name : QString();
    };
    Volumes* volumes = &svc.volumes;
    m_contents->freeSpaceOf = [volumes](const QString& path) {
        qint64 bytes = -1;
        return volumes->FreeBytes(path, bytes).Ok() ? bytes : qint64(-1);
    };
    m_access = std::make_unique<CAccessCheck>(svc.volumes, svc.files, m_ui, *state.catalogue);
    if (!m_encryptPrompts) {
        m_ownEncryptPrompts = std::make_unique<CEncryptInDialogs>(*state.catalogue, this);
        m_encryptPrompts = m_ownEncryptPrompts.get();
    }

    m_list->SetModel(m_contents.get(), &state.settings);
    m_list->isBusy = [this] { return IsBusy(); };
    m_list->pasteEncrypts = [this] { return m_clipboardHasFiles && !InsideClipboardHasItems(); };
    m_list->pasteEnabled = [this] { return m_table.IsEnabled(cmd::Paste); };
    connect(m_list, &CListV::OpenRequested, this, &CMainFrame::OpenRow);
    connect(m_list, &CListV::FilesDropped, this,
            [this](const QString& destination, const QStringList& paths, bool move) {
                static_cast<void>(EncryptIn(destination, paths, move));
            });
    connect(m_list, &CListV::PopupCommand, this, &CMainFrame::OnPopupCommand);
    m_list->programsFor = [this](const QString& name) {
        m_programs = OpenWithList();
        if (m_associations)
            m_associations->OpenWithPrograms(QFileInfo(name).suffix(), 1, m_programs);
        QStringList names;
        for (int i = 0; i < m_programs.names.size(); ++i)
            names.append(m_programs.names[i].isEmpty() ? m_programs.paths.value(i) : m_programs.names[i]);
        while (!names.isEmpty() && names.last().isEmpty())
            names.removeLast();
        return names;
    };
    connect(m_list, &CListV::SelectionChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_tree, &CTreeV::FilesDropped, this, [this](const QString& directory, const QStringList& paths, bool move) {
        static_cast<void>(EncryptIn(directory, paths, move));
    });

    m_watcher = new ContentsWatcher(this);
    m_watcher->isBusy = [this] { return IsBusy(); };
    m_watcher->update = [this] {
        const BusySection busy = BusyScope();
        static_cast<void>(m_contents->UpdateList());
    };
}

void CMainFrame::ShowFolder(const QString& directory) {
    if (!m_contents)
        return;
    const QString top = m_nameFile->OwningRoot(directory);
    if (directory.isEmpty() || top.isEmpty() || !m_login || !m_login->IsLoggedIn(top)) {
        m_contents->Clear();
        m_watcher->Watch(QString());
        m_currentFolder.clear();
        UpdateCommandStates();
        return;
    }
    m_currentFolder = directory;
    if (m_contents->ListFolder(directory, top) != OpResult::kDone) {
        m_contents->Clear();
        m_watcher->Watch(QString());
    } else {
        m_watcher->Watch(directory);
    }
    UpdateCommandStates();
}

// A folder row is opened by selecting it in the tree, which lists it; a file goes to the open routine.
void CMainFrame::OpenRow(int row) {
    if (!m_contents || row < 0 || row >= m_contents->rowCount())
        return;
    const ContentsItem& item = m_contents->Item(row);
    if (item.IsFolder()) {
        m_tree->SelectPath(item.FullPath());
        return;
    }
    if (!item.IsPlainFile() && openFile)
        openFile(item.FullPath());
}

void CMainFrame::UpOneLevel() {
    const QString top = m_nameFile ? m_nameFile->OwningRoot(m_currentFolder) : QString();
    if (top.isEmpty() || m_currentFolder == top)
        return;
    m_tree->SelectPath(QFileInfo(m_currentFolder).path());
}

CEncryptIn CMainFrame::NewEncryptIn() {
    CEncryptIn operation(Services(), *m_encryptPrompts);
    operation.busy = [this](bool on) { Busy(on); };
    operation.clearUndo = [this] { m_history.Clear(); };
    // A container whose working copy is out is not replaced from outside: the copy's write-back would
    // put the older text over the new one.
    operation.isOpenInWorkspace = [this](const QString& container) { return HasWorkingCopy(container); };
    return operation;
}

bool CMainFrame::HasWorkingCopy(const QString& container) {
    if (!m_copies || !QFileInfo(container).isFile())
        return false;
    const QString copy = m_copies->WorkingCopyPath(container);
    return !copy.isEmpty() && QFileInfo::exists(copy);
}

OpResult CMainFrame::EncryptIn(const QString& destination, const QStringList& sources, bool move) {
    if (!m_contents || sources.isEmpty())
        return OpResult::kDeclined;
    // Files dropped on a folder of the tree that is logged out: the login comes first.
    const QString top = m_nameFile->OwningRoot(destination);
    if (!top.isEmpty() && !m_login->IsLoggedIn(top))
        if (const OpResult login = LoginFolder(top); login != OpResult::kDone)
            return login;
    CEncryptIn operation = NewEncryptIn();
    EncryptInRequest request;
    request.mode = move ? EncryptInRequest::kMove : EncryptInRequest::kCopy;
    request.sources = sources;
    request.destination = destination;
    SetAbortable(true);
    const OpResult rc = operation.Run(request);
    SetAbortable(false);
    ClearStatusText();
    if (!m_currentFolder.isEmpty()) {
        const BusySection busy = BusyScope();
        static_cast<void>(m_contents->UpdateList());
    }
    if (request.folderIncluded)
        m_tree->RefreshBranch(destination);
    return rc;
}

OpResult CMainFrame::PasteFiles() {
    ClipboardFiles files;
    if (m_currentFolder.isEmpty() || !ReadClipboardFiles(QGuiApplication::clipboard()->mimeData(), files))
        return OpResult::kDeclined;
    const OpResult rc = EncryptIn(m_currentFolder, files.paths, files.cut);
    // Files that were cut are gone from where the clipboard says they are.
    if (rc == OpResult::kDone && files.cut)
        QGuiApplication::clipboard()->clear();
    return rc;
}

// "暗号化する(&U)": the selected plain files of the shown folder become containers in place.
void CMainFrame::EncryptPlainSelected() {
    if (m_currentFolder.isEmpty())
        return;
    CEncryptIn operation = NewEncryptIn();
    SetAbortable(true);
    static_cast<void>(operation.EncryptPlainFiles(m_list->SelectedPaths(), m_currentFolder));
    SetAbortable(false);
    ClearStatusText();
    const BusySection busy = BusyScope();
    static_cast<void>(m_contents->UpdateList());
}

} // namespace korimbo
