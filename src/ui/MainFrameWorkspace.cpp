// The main window's part in the decrypted workspace: opening files in their programs, the watch of those
// programs (timer 1), and writing their copies back.
#include "folder/ContentsModel.h"
#include "folder/NameFile.h"
#include "platform/Launcher.h"
#include "ui/D13Msg1.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "workspace/WorkingCopies.h"

namespace korimbo {

namespace {

constexpr int kMsgOpenNotice = 132;
constexpr int kMsgOpenNoticeCheck = 133;

} // namespace

void CMainFrame::WireWorkspace() {
    if (!m_launcher || !m_processes || !m_associations)
        return; // a window without programs to start (tests of other parts)
    AppState& state = m_app.State();
    m_copies = std::make_unique<CWorkingCopies>(*state.engine, *state.registry, *m_nameFile, *m_access, state.settings,
                                                *state.workFolder, m_app.Svc().files, m_ui, *state.catalogue,
                                                *m_associations, *m_launcher, *m_processes, *m_encryptPrompts);
    m_copies->busy = [this](bool on) { Busy(on); };
    m_copies->isBusy = [this] { return IsBusy(); };
    m_copies->shuttingDown = [this] { return m_stop; };
    m_copies->refreshContents = [this] {
        if (!m_currentFolder.isEmpty()) {
            Busy(true);
            m_contents->UpdateList();
            Busy(false);
        }
    };
    m_copies->refreshDecryptedList = [] {};
    m_copies->armWatchTimer = [this](int ms) {
        if (ms <= 0 || m_stop)
            m_timer1.stop();
        else
            m_timer1.start(ms);
    };
    m_copies->openNotice = [this](bool& stopShowing) {
        CD13Msg1::Options options;
        options.text = m_app.State().catalogue->m_GetMsgA(kMsgOpenNotice);
        options.icon = Icon::Information;
        options.checkLabel = m_app.State().catalogue->m_GetMsgA(kMsgOpenNoticeCheck);
        options.checked = true;
        CD13Msg1 notice(options, this);
        notice.Run(stopShowing);
        return true;
    };
    openFile = [this](const QString& container) { m_copies->Open({container}); };
}

int CMainFrame::OpenSelected(const QString& program) {
    if (!m_copies || !m_contents)
        return -1;
    QStringList containers;
    for (int row : m_list->SelectedRows()) {
        const ContentsItem& item = m_contents->Item(row);
        if (!item.IsFolder() && !item.IsPlainFile())
            containers.append(item.FullPath());
    }
    if (containers.isEmpty())
        return -1;
    return m_copies->Open(containers, program);
}

} // namespace korimbo
