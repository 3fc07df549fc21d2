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
    connect(m_list, &CListV::RenameEdited, this, [this](int row, const QString& shown, const QString& typed) {
        static_cast<void>(RenameRow(row, shown, typed));
    });
    connect(m_list, &CListV::InsideDropped, this,
            [this](const QString& destination, const QStringList& paths, bool move) {
                static_cast<void>(DropInside(destination, paths, move));
            });
    connect(m_tree, &CTreeV::InsideDropped, this,
            [this](const QString& destination, const QStringList& paths, bool move) {
                static_cast<void>(DropInside(destination, paths, move));
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
    operations.SetOpenCheck([this](const QString& container) { return HasWorkingCopy(container); },
                            [this](const QString& folder) { return m_copies && m_copies->MayHoldCopiesBelow(folder); });
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
        static_cast<void>(m_contents->UpdateList());
    }
    UpdateCommandStates();
}

OpResult CMainFrame::TakeItems(const QStringList& items, bool cut, const QString& shownFolder) {
    CFolderOperations operations = NewOperations();
    if (const OpResult taken = operations.Take(m_clipboard, items, cut, shownFolder); taken != OpResult::kDone)
        return taken;
    // A later paste is an inside one: what a file manager copied before is gone.
    QGuiApplication::clipboard()->clear();
    m_clipboardHasFiles = false;
    UpdateCommandStates();
    return OpResult::kDone;
}

OpResult CMainFrame::PasteInside(const QString& destination) {
    const QString top = m_nameFile ? m_nameFile->OwningRoot(destination) : QString();
    if (destination.isEmpty() || top.isEmpty() || !m_login->IsLoggedIn(top))
        return OpResult::kDeclined;
    CFolderOperations operations = NewOperations();
    SetAbortable(true);
    const OpResult rc = operations.Paste(m_clipboard, destination);
    SetAbortable(false);
    AfterInsideOperation(operations);
    return rc;
}

OpResult CMainFrame::DropInside(const QString& destination, const QStringList& items, bool move) {
    const QString top = m_nameFile ? m_nameFile->OwningRoot(destination) : QString();
    if (top.isEmpty() || !m_login->IsLoggedIn(top))
        return OpResult::kDeclined;
    CFolderOperations operations = NewOperations();
    SetAbortable(true);
    const OpResult rc = operations.Drop(items, destination, move);
    SetAbortable(false);
    AfterInsideOperation(operations);
    return rc;
}

OpResult CMainFrame::DeleteItems(const QStringList& items, bool permanent) {
    CFolderOperations operations = NewOperations();
    const OpResult rc = operations.Delete(items, permanent);
    AfterInsideOperation(operations);
    return rc;
}

OpResult CMainFrame::RenameRow(int row, const QString& shown, const QString& typed) {
    if (!m_contents || row < 0 || row >= m_contents->rowCount())
        return OpResult::kDeclined;
    const QString path = m_contents->Item(row).FullPath();
    CFolderOperations operations = NewOperations();
    QString renamed;
    if (const OpResult rc = operations.Rename(path, shown, typed, renamed); rc != OpResult::kDone)
        return rc;
    AfterInsideOperation(operations);
    const int at = m_contents->RowOf(renamed);
    if (at >= 0)
        m_list->SelectRow(at);
    return OpResult::kDone;
}

OpResult CMainFrame::UndoLast() {
    CFolderOperations operations = NewOperations();
    const OpResult rc = operations.Undo();
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
        static_cast<void>(TakeItems({directory}, id == cmd::TreeCut, QFileInfo(directory).path()));
    else if (id == cmd::TreePaste && InsideClipboardHasItems())
        static_cast<void>(PasteInside(directory));
    else if (id == cmd::TreeDelete)
        static_cast<void>(DeleteItems({directory}, QGuiApplication::keyboardModifiers() & Qt::ShiftModifier));
}

} // namespace korimbo
