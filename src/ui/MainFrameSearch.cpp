// The main window's search by plain name: the command, the index of the tree's folder built while the
// window is busy, and the chosen item selected in the tree and the contents list.
#include "folder/ContentsModel.h"
#include "folder/NameSearch.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "ui/NameSearchWindow.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "workspace/LoginManager.h"

#include <QFileInfo>

namespace korimbo {

CNameSearchWindow* CMainFrame::SearchWindow() const {
    return m_searchWindow.data();
}

void CMainFrame::BindSearch() {
    m_table.Bind(
        cmd::FindByName,
        [this] {
            const QString folder = SelectedTopFolder();
            return !m_abortable && !folder.isEmpty() && m_login && m_login->IsLoggedIn(folder);
        },
        [this](int) { OpenNameSearch(); });
}

void CMainFrame::OpenNameSearch() {
    const QString folder = SelectedTopFolder();
    if (folder.isEmpty() || !m_nameFile)
        return;
    if (!m_nameSearch) {
        AppState& state = m_app.State();
        m_nameSearch = std::make_unique<CNameSearch>(*m_nameFile, *state.engine, m_ui, *state.catalogue);
    }
    // The names are read afresh each time, so that the search sees what changed since the last one.
    const bool every = m_searchWindow && m_searchWindow->EveryFolder();
    const QStringList folders = every ? LoggedInFolders() : QStringList{folder};
    if (BuildSearchNames(folders) != OpResult::kDone) {
        for (const QString& unread : folders)
            if (m_searchWindow && !m_nameSearch->Holds(unread))
                m_searchWindow->ForgetFolder(unread);
        return;
    }
    if (!m_searchWindow) {
        m_searchWindow = new CNameSearchWindow(*m_nameSearch, this);
        m_searchWindow->choose = [this](const NameHit& hit) { SelectSearchHit(hit); };
        m_searchWindow->everyFolderChosen = [this] {
            QStringList missing;
            for (const QString& loggedIn : LoggedInFolders())
                if (!m_nameSearch->Holds(loggedIn))
                    missing.append(loggedIn);
            static_cast<void>(BuildSearchNames(missing));
        };
    }
    m_searchWindow->SetFolder(folder);
    m_searchWindow->show();
    m_searchWindow->raise();
    m_searchWindow->activateWindow();
    m_searchWindow->FocusQuery();
}

OpResult CMainFrame::BuildSearchNames(const QStringList& folders) {
    OpResult built = OpResult::kDone;
    SetAbortable(true);
    {
        const BusySection busy = BusyScope();
        for (const QString& folder : folders)
            if (built = m_nameSearch->Build(folder); built != OpResult::kDone)
                break;
    }
    SetAbortable(false);
    ClearStatusText();
    // Every folder asked for is logged in: declined means stopped.
    if (built == OpResult::kDeclined)
        static_cast<void>(
            ReportMessage(m_ui, *m_app.State().catalogue, msg::kSearchStopped, QString(), Icon::Information));
    return built;
}

QStringList CMainFrame::LoggedInFolders() const {
    QStringList folders;
    for (const FolderRegistry::Registered& folder : m_app.State().registry->RegisteredFolders())
        if (m_login && m_login->IsLoggedIn(folder.path))
            folders.append(folder.path);
    return folders;
}

void CMainFrame::SelectSearchHit(const NameHit& hit) {
    if (IsBusy() || !m_login || !m_login->IsLoggedIn(hit.folder))
        return;
    const QString directory = hit.Directory();
    const bool placed =
        ItemExists(hit.path) && m_tree->SelectPath(directory) && CTreeV::PathOf(m_tree->currentItem()) == directory;
    int row = placed ? m_contents->RowOf(hit.path) : -1;
    if (placed && row < 0) {
        // Made since the list was last brought up to date.
        const BusySection busy = BusyScope();
        static_cast<void>(m_contents->UpdateList());
        row = m_contents->RowOf(hit.path);
    }
    if (row < 0) {
        static_cast<void>(ReportMessage(m_ui, *m_app.State().catalogue, msg::kSearchItemGone,
                                        hit.folder + u'/' + hit.storedPath, Icon::Warning));
        return;
    }
    m_list->SelectRow(row);
    activateWindow();
    m_list->setFocus(Qt::OtherFocusReason);
    UpdateCommandStates();
}

void CMainFrame::ForgetSearchOf(const QString& folder) {
    if (m_nameSearch)
        m_nameSearch->Forget(folder);
    if (m_searchWindow)
        m_searchWindow->ForgetFolder(folder);
}

} // namespace korimbo
