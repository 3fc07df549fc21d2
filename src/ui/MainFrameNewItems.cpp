// The main window's new items and properties: the submenu "新規作成(&W)" with the desktop's new-file types,
// new folders and new files that go into renaming at once, and the properties dialogs.
#include "folder/ContentsModel.h"
#include "folder/EncryptIn.h"
#include "folder/ItemProperties.h"
#include "folder/NewItems.h"
#include "platform/Launcher.h"
#include "ui/D17Property.h"
#include "ui/D18PropertySum.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "ui/TreeV.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>

namespace korimbo {

void CMainFrame::WireNewItems() {
    // The types are the desktop's as the program starts; templates added later count from the next start.
    QStringList types = m_associations ? m_associations->CollectNewFileTypes() : QStringList();
    while (types.size() > kMaxNewFileTypes)
        types.removeLast();
    m_app.State().newFileTypes = types;
    m_newFileTypeTexts.clear();
    for (const QString& extension : std::as_const(types))
        m_newFileTypeTexts.append(CNewItems::TypeText(*m_associations, extension));
    for (QMenu* top : std::as_const(m_topMenus))
        if (auto* sub = top->findChild<QMenu*>(QStringLiteral("newItems")))
            FillNewItemsMenu(*sub);
    m_list->addNewMenu = [this](QMenu& menu) { AddNewItemsMenu(&menu, false); };
}

// The menu bar's submenu runs its items itself; the list's pop-up hands the chosen id to the frame.
void CMainFrame::AddNewItemsMenu(QMenu* parent, bool inMenuBar) {
    QMenu* menu = parent->addMenu(QStringLiteral("新規作成(&W)"));
    menu->setObjectName(QStringLiteral("newItems"));
    FillNewItemsMenu(*menu);
    menu->setEnabled(m_table.IsEnabled(cmd::NewFolder));
    if (inMenuBar) {
        connect(parent, &QMenu::aboutToShow, menu, [this, menu] { menu->setEnabled(m_table.IsEnabled(cmd::NewFolder)); });
        connect(menu, &QMenu::triggered, this, [this](QAction* action) { OnCommand(action->data().toInt()); });
    }
}

// The menu bar is made before the types are collected, so its submenu is filled again once they are.
void CMainFrame::FillNewItemsMenu(QMenu& menu) {
    menu.clear();
    CCommandTable::AddEntry(menu, cmd::NewFolder);
    if (!m_newFileTypeTexts.isEmpty())
        menu.addSeparator();
    for (int i = 0; i < m_newFileTypeTexts.size(); ++i)
        menu.addAction(CCommandTable::NumberedText(i, m_newFileTypeTexts[i], QStringLiteral("FS")))
            ->setData(cmd::NewFileFirst + i);
    menu.addSeparator();
    CCommandTable::AddEntry(menu, cmd::NewFileSettings);
}

OpResult CMainFrame::NewFolder() {
    if (IsBusy() || m_currentFolder.isEmpty() || !m_contents || !m_associations)
        return OpResult::kDeclined;
    AppState& state = m_app.State();
    CEncryptIn encrypt = NewEncryptIn();
    CNewItems items(*state.registry, *m_nameFile, *m_associations, *state.workFolder, m_app.Svc().files, m_ui,
                    *state.catalogue, encrypt);
    const QString directory = m_currentFolder;
    QString created;
    const OpResult rc = WhileBusy([&] {
        const OpResult made = items.NewFolder(directory, created);
        if (made == OpResult::kDone)
            static_cast<void>(m_contents->UpdateList());
        return made;
    });
    if (rc != OpResult::kDone)
        return rc;
    m_tree->RefreshBranch(directory);
    StartRenameOf(created);
    return OpResult::kDone;
}

OpResult CMainFrame::NewFile(int index) {
    const QStringList& types = m_app.State().newFileTypes;
    if (IsBusy() || m_currentFolder.isEmpty() || !m_contents || !m_associations || index < 0 || index >= types.size())
        return OpResult::kDeclined;
    AppState& state = m_app.State();
    CEncryptIn encrypt = NewEncryptIn();
    CNewItems items(*state.registry, *m_nameFile, *m_associations, *state.workFolder, m_app.Svc().files, m_ui,
                    *state.catalogue, encrypt);
    QString container;
    const OpResult rc = WhileBusy([&] {
        const OpResult made = items.NewFile(m_currentFolder, types[index], container);
        static_cast<void>(m_contents->UpdateList());
        return made;
    });
    ClearStatusText();
    if (rc == OpResult::kDone)
        StartRenameOf(container);
    return rc;
}

void CMainFrame::StartRenameOf(const QString& path) {
    const int row = m_contents->RowOf(path);
    if (row >= 0)
        m_list->BeginRename(row);
}

OpResult CMainFrame::OpenNewFileSettings() {
    const QString folder = m_app.Svc().userFolders.Templates();
    const QString home = QFileInfo(QDir::homePath()).canonicalFilePath();
    // xdg-user-dirs turns the templates folder off by pointing it at the home folder.
    if (folder.isEmpty() || (QFileInfo(folder).exists() && QFileInfo(folder).canonicalFilePath() == home)) {
        m_ui.Message(QStringLiteral("「新規作成」のファイルの種類は、テンプレート フォルダーに置いたファイルから"
                                    "作られます。\nテンプレート フォルダーが設定されていません。"
                                    "（~/.config/user-dirs.dirs の XDG_TEMPLATES_DIR）"),
                     Icon::Information);
        return OpResult::kFailed;
    }
    qint64 pid = 0;
    QString appId;
    QString executable;
    if (!QDir().mkpath(folder) || !m_launcher || m_launcher->Launch(folder, QString(), pid, appId, executable) != 0) {
        m_ui.Message(QStringLiteral("テンプレート フォルダーを開けませんでした。\n\n") + folder, Icon::Warning);
        return OpResult::kFailed;
    }
    // The launcher leaves its children for the process probe to reap; nobody watches a file manager.
    if (pid > 0 && m_processes) {
        auto* reaper = new QTimer(this);
        connect(reaper, &QTimer::timeout, this, [this, reaper, pid] {
            if (!m_processes->IsRunning(pid))
                reaper->deleteLater();
        });
        reaper->start(2000);
    }
    return OpResult::kDone;
}

OpResult CMainFrame::ShowProperties(const QStringList& paths) {
    if (IsBusy() || paths.isEmpty() || !m_nameFile || !m_associations)
        return OpResult::kDeclined;
    CItemProperties properties(*m_app.State().engine, *m_nameFile, *m_associations, m_ui);
    if (paths.size() == 1) {
        ItemProperties single;
        if (const OpResult rc = WhileBusy([&] { return properties.Single(paths.first(), single); });
            rc != OpResult::kDone)
            return rc;
        CD17Property dialog(single, this);
        dialog.Run();
        return OpResult::kDone;
    }
    PropertiesSummary summary;
    if (const OpResult rc = WhileBusy([&] { return properties.Summary(paths, summary); }); rc != OpResult::kDone)
        return rc;
    CD18PropertySum dialog(summary, this);
    dialog.Run();
    return OpResult::kDone;
}

} // namespace korimbo
