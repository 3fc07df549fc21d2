// The main window's part in the operations inside the encrypted folders: the internal clipboard, paste,
// the internal drags, rename in place, delete and undo, from the menu bar, the keys, the pop-ups and drops.
#include "folder/ContentsModel.h"
#include "folder/NameFile.h"
#include "state/WorkAreas.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "ui/TreeV.h"
#include "util/FileNames.h"
#include "workspace/LoginManager.h"
#include "workspace/WorkingCopies.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

namespace korimbo {

void CMainFrame::WireInside() {
    connect(m_list, &CListV::RenameEdited, this,
            [this](int row, const QString& shown, const QString& typed) { RenameRow(row, shown, typed); });
    connect(m_list, &CListV::InsideDropped, this,
            [this](const QString& destination, const QStringList& paths, bool move) {
                DropInside(destination, paths, move);
            });
    connect(m_tree, &CTreeV::InsideDropped, this,
            [this](const QString& destination, const QStringList& paths, bool move) {
                DropInside(destination, paths, move);
            });
}

FolderServices CMainFrame::Services() {
    AppState& state = m_app.State();
    return {*state.engine, *state.registry, *m_nameFile, *m_access,   state.settings,
            *state.workFolder, m_app.Svc().files, m_ui, *state.catalogue};
}

CFolderOperations CMainFrame::NewOperations() {
    AppState& state = m_app.State();
    CFolderOperations operations(Services(), *m_encryptPrompts, m_trash, m_history);
    operations.busy = [this](bool on) { Busy(on); };
    operations.SetOpenCheck([this](const QString& container) { return HasWorkingCopy(container); });
    operations.workRoot = state.workFolder->RootOf(WorkAreas::kCreation); // only its Ce is used
    return operations;
}

// The list and the tree show what the operation changed.
void CMainFrame::AfterInsideOperation(const CFolderOperations& operations) {
    ClearStatusText();
    for (const QString& folder : operations.ChangedFolders())
        m_tree->RefreshBranch(folder);
    if (!m_currentFolder.isEmpty() && !QFileInfo(m_currentFolder).isDir()) {
        // The shown folder itself went (a delete or a move from the tree): its parent is shown instead.
        const QString parent = QFileInfo(m_currentFolder).path();
        m_tree->RefreshBranch(parent);
        m_tree->SelectPath(parent);
        ShowFolder(parent);
    } else if (!m_currentFolder.isEmpty()) {
        const BusySection busy = BusyScope();
        m_contents->UpdateList();
    }
    UpdateCommandStates();
}

int CMainFrame::TakeItems(const QStringList& items, bool cut, const QString& shownFolder) {
    CFolderOperations operations = NewOperations();
    if (operations.Take(m_clipboard, items, cut, shownFolder) != OpResult::kDone)
        return -1;
    // A later paste is an inside one: what a file manager copied before is gone.
    QGuiApplication::clipboard()->clear();
    m_clipboardHasFiles = false;
    UpdateCommandStates();
    return 0;
}

int CMainFrame::PasteInside(const QString& destination) {
    const QString top = m_nameFile ? m_nameFile->OwningRoot(destination) : QString();
    if (destination.isEmpty() || top.isEmpty() || !m_login->IsLoggedIn(top))
        return -1;
    CFolderOperations operations = NewOperations();
    SetAbortable(true);
    const int rc = operations.Paste(m_clipboard, destination) == OpResult::kDone ? 0 : -1;
    SetAbortable(false);
    AfterInsideOperation(operations);
    return rc;
}

int CMainFrame::DropInside(const QString& destination, const QStringList& items, bool move) {
    const QString top = m_nameFile ? m_nameFile->OwningRoot(destination) : QString();
    if (top.isEmpty() || !m_login->IsLoggedIn(top))
        return -1;
    CFolderOperations operations = NewOperations();
    SetAbortable(true);
    const int rc = operations.Drop(items, destination, move) == OpResult::kDone ? 0 : -1;
    SetAbortable(false);
    AfterInsideOperation(operations);
    return rc;
}

int CMainFrame::DeleteItems(const QStringList& items, bool permanent) {
    CFolderOperations operations = NewOperations();
    const int rc = operations.Delete(items, permanent) == OpResult::kDone ? 0 : -1;
    AfterInsideOperation(operations);
    return rc;
}

int CMainFrame::RenameRow(int row, const QString& shown, const QString& typed) {
    if (!m_contents || row < 0 || row >= m_contents->rowCount())
        return -1;
    const QString path = m_contents->Item(row).FullPath();
    CFolderOperations operations = NewOperations();
    QString renamed;
    const int rc = operations.Rename(path, shown, typed, renamed) == OpResult::kDone ? 0 : -1;
    if (rc != 0)
        return rc;
    AfterInsideOperation(operations);
    const int at = m_contents->RowOf(renamed);
    if (at >= 0)
        m_list->SelectRow(at);
    return 0;
}

int CMainFrame::UndoLast() {
    CFolderOperations operations = NewOperations();
    const int rc = operations.Undo() == OpResult::kDone ? 0 : -1;
    AfterInsideOperation(operations);
    return rc;
}

void CMainFrame::UpdateUndoItem() {
    QAction* undo = m_table.Action(cmd::Undo);
    if (!undo)
        return;
    undo->setText(QStringLiteral("元に戻す(&U)\tCtrl+Z"));
    undo->setStatusTip(QStringLiteral("元に戻します"));
    const bool valid = !IsBusy() && m_history.Count() > 0 && m_nameFile && m_access && m_encryptPrompts &&
                       NewOperations().CanUndo(false);
    undo->setEnabled(valid);
    if (!valid)
        return;
    undo->setText(m_history.MenuText());
    undo->setStatusTip(m_history.Description());
}

// The tree's pop-up acts on the directory of its item.
void CMainFrame::OnTreeInsideCommand(int id, const QString& directory) {
    const bool top = m_nameFile && m_nameFile->OwningRoot(directory) == CleanPath(directory);
    if (top && (id == cmd::TreeCut || id == cmd::TreeCopy || id == cmd::TreeDelete))
        return; // the registered folder itself stays where it is registered
    if (id == cmd::TreeCut || id == cmd::TreeCopy)
        TakeItems({directory}, id == cmd::TreeCut, QFileInfo(directory).path());
    else if (id == cmd::TreePaste && InsideClipboardHasItems())
        PasteInside(directory);
    else if (id == cmd::TreeDelete)
        DeleteItems({directory}, QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
}

} // namespace korimbo
