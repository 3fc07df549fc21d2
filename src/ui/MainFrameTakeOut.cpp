// The main window's part in taking items out: the take-out commands and the drag out of the contents list.
#include "folder/ContentsModel.h"
#include "ui/InsideDrag.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "ui/TakeOutDialogs.h"
#include "ui/TypeIcons.h"
#include "util/MessageNumbers.h"
#include "workspace/DragOutData.h"
#include "workspace/TakeOut.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QDrag>
#include <QProgressDialog>

namespace korimbo {

namespace {

constexpr int kCleanupRetryMs = 1000;
constexpr int kCleanupTries = 60; // a file manager still reading after a minute does not hold the copies longer

} // namespace

void CMainFrame::WireTakeOut() {
    if (!m_takeOutPrompts) {
        m_ownTakeOutPrompts = std::make_unique<CTakeOutDialogs>(this);
        m_takeOutPrompts = m_ownTakeOutPrompts.get();
    }
    m_takeOut = std::make_unique<CTakeOut>(*m_copies, Services(), *m_takeOutPrompts);
    m_takeOut->busy = [this](bool on) { Busy(on); };
    m_takeOut->refreshContents = m_copies->refreshContents;
    m_takeOut->changePasswords = [this] { return m_app.Passwords().ReadChangePasswords(); };
    connect(m_list, &CListV::DragOutRequested, this, &CMainFrame::DragOut);
    m_dragCleanup.setSingleShot(true);
    connect(&m_dragCleanup, &QTimer::timeout, this, &CMainFrame::DragCleanupTick);
}

OpResult CMainFrame::TakeOutSelected(TakeOutKind kind) {
    if (!m_takeOut || !m_contents)
        return OpResult::kDeclined;
    FinishDragOutNow();
    const QStringList selection = m_list->SelectedPaths();
    if (selection.isEmpty())
        return OpResult::kDeclined;
    return m_takeOut->Run(kind, selection);
}

std::unique_ptr<CDragOutData> CMainFrame::MakeDragOut(Qt::MouseButton button, Qt::DropActions& allowed) {
    if (!m_takeOut || m_currentFolder.isEmpty())
        return nullptr;
    FinishDragOutNow();
    const QStringList selection = m_list->SelectedPaths();
    if (selection.isEmpty())
        return nullptr;
    const bool decrypt = m_app.State().settings.dandDDecryFlg == 1;
    if (WhileBusy([&] { return m_takeOut->CheckSelection(selection, true, decrypt); }) != OpResult::kDone)
        return nullptr;
    const FolderRegistry& registry = *m_app.State().registry;
    const int slot = registry.SlotOf(m_takeOut->Root().isEmpty() ? m_nameFile->OwningRoot(m_currentFolder)
                                                                   : m_takeOut->Root());
    const bool readOnly = slot >= 0 && registry.ReadOnlyText(slot) == QStringLiteral("1");
    allowed = Qt::CopyAction;
    if (button == Qt::RightButton && !readOnly)
        allowed |= Qt::MoveAction;

    const QString folder = m_currentFolder;
    auto data = std::make_unique<CDragOutData>([this, selection, decrypt, folder](QStringList& paths) {
        std::unique_ptr<QProgressDialog> wait;
        if (decrypt) {
            wait = std::make_unique<QProgressDialog>(m_app.State().catalogue->m_GetMsgA(msg::kPreparingDrag), QString(),
                                                     0, 0, this);
            wait->setWindowTitle(QStringLiteral("Korimbo-portable"));
            wait->setCancelButton(nullptr);
            wait->setMinimumDuration(0);
            wait->show();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        const OpResult rc = WhileBusy([&] { return m_takeOut->PrepareDragFiles(selection, decrypt, paths); });
        if (decrypt) {
            m_dragStagingPending = true;
            m_dragFolder = folder;
        }
        return rc;
    });
    WriteInsideDrag(*data, InsideDragItems{m_currentFolder, selection});
    return data;
}

void CMainFrame::DragOut(Qt::MouseButton button) {
    Qt::DropActions allowed;
    std::unique_ptr<CDragOutData> data = MakeDragOut(button, allowed);
    if (!data)
        return;
    CDragOutData* held = data.get();
    auto* drag = new QDrag(m_list);
    drag->setMimeData(data.release());
    const QList<int> rows = m_list->SelectedRows();
    if (!rows.isEmpty()) {
        const ContentsItem& item = m_contents->Item(rows.first());
        drag->setPixmap(TypeIcon(item.texts[CContentsModel::kOriginalName], item.IsFolder()).pixmap(32, 32));
    }
    drag->exec(allowed, Qt::CopyAction);
    // The drag and its data go once the event loop runs again.
    EndDragOut(held->Prepared() && m_dragStagingPending);
}

void CMainFrame::EndDragOut(bool staged) {
    if (!staged)
        return;
    m_dragStagingPending = true;
    m_dragCleanupTries = 0;
    m_dragCleanup.start(m_dragCleanupMs);
}

void CMainFrame::DragCleanupTick() {
    if (!m_dragStagingPending)
        return;
    // A command is running (its window may show staged items of its own): later.
    if (IsBusy()) {
        m_dragCleanup.start(kCleanupRetryMs);
        return;
    }
    const QString area = m_takeOut->TakeOutArea(m_nameFile->OwningRoot(m_dragFolder));
    bool read = false;
    if (m_processes && !area.isEmpty()) {
        QDirIterator files(area, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext() && !read)
            read = m_processes->IsOpenElsewhere(files.next());
    }
    if (read && ++m_dragCleanupTries < kCleanupTries) {
        m_dragCleanup.start(kCleanupRetryMs);
        return;
    }
    FinishDragOutNow();
}

void CMainFrame::FinishDragOutNow() {
    m_dragCleanup.stop();
    if (!m_dragStagingPending || !m_takeOut)
        return;
    m_dragStagingPending = false;
    const BusySection busy = BusyScope();
    static_cast<void>(m_takeOut->FinishDrag(m_dragFolder));
}

} // namespace korimbo
