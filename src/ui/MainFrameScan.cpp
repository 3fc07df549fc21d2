// The integrity scan of the selected folder tree: "整合性の検査(&I)..." of the menu "操作(&S)".
#include "folder/FolderScan.h"
#include "folder/NameFile.h"
#include "ui/MainFrame.h"
#include "ui/ScanResultDialog.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "workspace/LoginManager.h"

namespace korimbo {

void CMainFrame::BindScanCommands() {
    m_table.Bind(
        cmd::IntegrityScan, [this] { return ScanAllowed(); }, [this](int) { static_cast<void>(IntegrityScan()); });
}

// A registered folder chosen in the tree and logged in, and nothing else running.
bool CMainFrame::ScanAllowed() const {
    if (m_abortable || !m_login)
        return false;
    const QString top = SelectedTopFolder();
    return !top.isEmpty() && m_login->IsLoggedIn(top);
}

// Every container of the folder's tree decoded as a dry run, with progress in the status area and the stop
// button; the outcome is shown before the busy time ends, so nothing else runs under it.
OpResult CMainFrame::IntegrityScan() {
    if (!ScanAllowed())
        return OpResult::kDeclined;
    const QString top = SelectedTopFolder();
    AppState& state = m_app.State();
    CFolderScan scan(*state.engine, m_app.Svc().files, m_ui, *state.catalogue, m_nameFile.get());
    FolderScanResult result;
    const BusySection busy = BusyScope();
    SetAbortable(true);
    const OpResult rc = scan.Run(top, top, result);
    SetAbortable(false);
    ClearStatusText();
    if (rc == OpResult::kDone)
        ShowScanResult(result);
    return rc;
}

void CMainFrame::ShowScanResult(const FolderScanResult& result) {
    MessageSource& messages = *m_app.State().catalogue;
    if (result.stopped)
        static_cast<void>(ReportMessage(m_ui, messages, msg::kScanStopped,
                                        QStringLiteral("%1 / %2").arg(result.checked).arg(result.total),
                                        Icon::Information));
    if (!result.findings.isEmpty()) {
        CScanResultDialog dialog(result, messages, this);
        static_cast<void>(dialog.Run());
    } else if (result.stopped) {
        return;
    } else if (result.containers == 0) {
        static_cast<void>(ReportMessage(m_ui, messages, msg::kScanNothingToCheck, QString(), Icon::Information));
    } else {
        static_cast<void>(
            ReportMessage(m_ui, messages, msg::kScanAllWhole, QString::number(result.containers), Icon::Information));
    }
}

} // namespace korimbo
