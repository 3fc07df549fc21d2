// The main window's part in the decrypted workspace: opening files in their programs, the watch of those
// programs (the watch timer), and writing their copies back.
#include "folder/ContentsModel.h"
#include "folder/NameFile.h"
#include "platform/Launcher.h"
#include "ui/D13Msg1.h"
#include "ui/D25ReturnMsg.h"
#include "ui/ListV.h"
#include "ui/ListV2.h"
#include "ui/MainFrame.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/EditingAreaWatcher.h"
#include "workspace/LoginManager.h"
#include "workspace/WorkingCopies.h"
#include "workspace/WorkspaceCommands.h"

#include "ui/DialogHook.h"
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

namespace korimbo {

void CMainFrame::WireWorkspace() {
    AppState& state = m_app.State();
    m_decrypted = std::make_unique<CDecryptedFileModel>(*state.registry, *state.workFolder, state.settings);
    m_list2->SetModel(m_decrypted.get());
    m_areaWatcher = new EditingAreaWatcher(*m_decrypted, this);
    m_areaWatcher->isBusy = [this] { return IsBusy(); };
    connect(m_list2, &CListV2::PopupCommand, this, &CMainFrame::OnPopupCommand);
    // The toolbar's write-back of all copies follows the rows at once, not only at the next timer round.
    connect(m_decrypted.get(), &QAbstractItemModel::rowsInserted, this, &CMainFrame::UpdateCommandStates);
    connect(m_decrypted.get(), &QAbstractItemModel::rowsRemoved, this, &CMainFrame::UpdateCommandStates);
    if (!m_launcher || !m_processes || !m_associations)
        return; // a window without programs to start (tests of other parts)
    m_copies = std::make_unique<CWorkingCopies>(Services(), *m_associations, *m_launcher, *m_processes,
                                                *m_encryptPrompts);
    m_copies->busy = [this](bool on) { Busy(on); };
    m_copies->isBusy = [this] { return IsBusy(); };
    m_copies->shuttingDown = [this] { return m_stop; };
    m_copies->refreshContents = [this] {
        if (!m_currentFolder.isEmpty()) {
            const BusySection busy = BusyScope();
            static_cast<void>(m_contents->UpdateList());
        }
    };
    m_copies->refreshDecryptedList = [this] { m_decrypted->RequestRefresh(); };
    m_decrypted->containerOf = [this](const QString& copy) {
        QString proposed;
        return m_copies->ContainerOf(copy, proposed, true);
    };
    m_decrypted->isChanged = [this](const QString& copy, const QString& container) {
        return m_copies->IsChanged(copy, container);
    };
    m_copies->armWatchTimer = [this](int ms) {
        if (ms <= 0 || m_stop)
            m_watchTimer.stop();
        else
            m_watchTimer.start(ms);
    };
    m_copies->openNotice = [this](bool& stopShowing) {
        CD13Msg1::Options options;
        options.text = m_app.State().catalogue->m_GetMsgA(msg::kOpenNotice);
        options.icon = Icon::Information;
        options.checkLabel = m_app.State().catalogue->m_GetMsgA(msg::kOpenNoticeCheck);
        options.checked = true;
        CD13Msg1 notice(options, this);
        notice.Run(stopShowing);
        return true;
    };
    openFile = [this](const QString& container) {
        const BusySection busy = BusyScope();
        static_cast<void>(m_copies->Open({container}));
    };
    WireWorkspaceCommands();
    WireTakeOut();
}

void CMainFrame::WireWorkspaceCommands() {
    AppState& state = m_app.State();
    m_commands = std::make_unique<CWorkspaceCommands>(*m_copies, *m_login, *state.registry,
                                                      state.settings, m_app.Svc().files, m_ui, *state.catalogue);
    m_commands->busy = [this](bool on) { Busy(on); };
    m_commands->isBusy = [this] { return IsBusy(); };
    m_commands->refreshContents = m_copies->refreshContents;
    m_commands->refreshDecryptedList = [this] { m_decrypted->RequestRefresh(); };
    m_commands->notice = [this](int message, int checkLabel, bool& stopShowing) {
        CD13Msg1::Options options;
        options.text = m_app.State().catalogue->m_GetMsgA(message);
        options.icon = Icon::Question;
        options.checkLabel = m_app.State().catalogue->m_GetMsgA(checkLabel);
        options.checked = true;
        options.yesNo = true;
        CD13Msg1 notice(options, this);
        return notice.Run(stopShowing) == QDialog::Accepted;
    };
    m_commands->returnDialog = [this](const ReturnDialogRequest& request) {
        CD25ReturnMsg::Options options;
        options.caption = request.caption;
        options.text = request.text;
        options.icon = Icon::Information;
        options.items = request.folders;
        options.checkLabel = request.checkLabel;
        CD25ReturnMsg dialog(options, this);
        ReturnDialogResult result;
        result.accepted = dialog.Run() == QDialog::Accepted;
        result.checked = dialog.Checked();
        return result;
    };
    m_commands->AttachTo(*m_login);
    confirmWorkingCopiesAtExit = [this] { return m_commands->ConfirmExit() == OpResult::kDone; };
}

// The container's directory is shown and the container selected in it; a copy without a container
// shows at least its directory.
void CMainFrame::GoToContainer(const QString& workingCopy) {
    QString proposed;
    const QString container = m_copies->ContainerOf(workingCopy, proposed, true);
    const QString target = container.isEmpty() ? proposed : container;
    if (target.isEmpty() || !m_tree->SelectPath(QFileInfo(target).path()))
        return;
    const int row = container.isEmpty() ? -1 : m_contents->RowOf(container);
    if (row >= 0)
        m_list->SelectRow(row);
}

// The pop-up's open entries: the default program, one of the type's programs, or a program the user
// picks from the type's list or from the disk.
void CMainFrame::OpenFromPopup(int id) {
    if (id == cmd::PopupOpen) {
        static_cast<void>(OpenSelected());
        return;
    }
    if (id != cmd::OpenWithChooser) {
        const int index = id - cmd::OpenWithFirst;
        const QString program =
            m_programs.appIds.value(index).isEmpty() ? m_programs.paths.value(index) : m_programs.appIds.value(index);
        if (!program.isEmpty())
            static_cast<void>(OpenSelected(program));
        return;
    }
    const QString other = QStringLiteral("その他のプログラム...");
    QStringList choices;
    for (int i = 0; i < m_programs.names.size(); ++i)
        if (!m_programs.names[i].isEmpty())
            choices.append(m_programs.names[i]);
    choices.append(other);
    QInputDialog chooser(this);
    chooser.setWindowTitle(QStringLiteral("プログラムから開く"));
    chooser.setLabelText(QStringLiteral("ファイルを開くプログラムを選んでください。"));
    chooser.setComboBoxItems(choices);
    chooser.setComboBoxEditable(false);
    chooser.setOkButtonText(QStringLiteral("OK"));
    chooser.setCancelButtonText(QStringLiteral("キャンセル"));
    if (DialogHook::Exec(chooser) != QDialog::Accepted)
        return;
    QString program;
    if (chooser.textValue() == other) {
        QFileDialog picker(this, QStringLiteral("プログラムの選択"), QStringLiteral("/usr/bin"));
        picker.setFileMode(QFileDialog::ExistingFile);
        if (DialogHook::Exec(picker) != QDialog::Accepted || picker.selectedFiles().isEmpty())
            return;
        program = picker.selectedFiles().first();
    } else {
        const int index = m_programs.names.indexOf(chooser.textValue());
        program =
            m_programs.appIds.value(index).isEmpty() ? m_programs.paths.value(index) : m_programs.appIds.value(index);
    }
    if (!program.isEmpty())
        static_cast<void>(OpenSelected(program));
}

OpResult CMainFrame::OpenSelected(const QString& program) {
    if (!m_copies || !m_contents)
        return OpResult::kDeclined;
    QStringList containers;
    for (int row : m_list->SelectedRows()) {
        const ContentsItem& item = m_contents->Item(row);
        if (!item.IsFolder() && !item.IsPlainFile())
            containers.append(item.FullPath());
    }
    if (containers.isEmpty())
        return OpResult::kDeclined;
    // The open runs as one command: its questions answer, the window waits.
    const BusySection busy = BusyScope();
    return m_copies->Open(containers, program);
}

} // namespace korimbo
