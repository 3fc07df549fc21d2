#include "ui/MainFrame.h"

#include "folder/ContentsModel.h"
#include "folder/ContentsWatcher.h"
#include "folder/EncryptInPrompts.h"
#include "folder/NameFile.h"
#include "platform/AccessCheck.h"
#include "ui/DialogHook.h"
#include "ui/ListV.h"
#include "ui/ListV2.h"
#include "ui/QtInteraction.h"
#include "ui/StatusAnimation.h"
#include "ui/TreeV.h"
#include "ui/USplitterWnd.h"
#include "util/MessageNumbers.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/LoginManager.h"
#include "workspace/TakeOut.h"
#include "workspace/WorkingCopies.h"
#include "workspace/WorkspaceCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QSessionManager>
#include <QShortcut>
#include <QShowEvent>
#include <QListView>
#include <QTreeView>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QToolButton>

namespace korimbo {

// While the window is busy, keyboard, mouse and context-menu input to the windows that were already
// open when the busy section began goes nowhere, except clicks on the stop button while the running
// operation can be stopped. The message boxes, dialogs and pop-up menus that the running operation
// itself opens are new windows: their input goes through, or nobody could answer them.
class BusyInputFilter final : public QObject {
public:
    explicit BusyInputFilter(CMainFrame& frame) : QObject(&frame), m_frame(frame) {}

    // The windows whose input a busy section swallows: those visible when it begins.
    void TakeBlockedWindows() {
        m_blocked.clear();
        m_blocked.append(&m_frame);
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget != &m_frame && widget->isVisible())
                m_blocked.append(widget);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_frame.IsBusy() || !IsInput(event->type()))
            return false;
        if (!IsBlocked(watched))
            return false;
        if (IsMouse(event->type()))
            return !IsStopButton(watched);
        return true;
    }

private:
    static bool IsMouse(QEvent::Type type) {
        return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
               type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove;
    }

    static bool IsInput(QEvent::Type type) {
        switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return IsMouse(type);
        }
    }

    // The top-level widget an event goes to. Events on a native window are left alone: Qt hands each of
    // them on to the widget concerned, and that delivery is judged here.
    static QWidget* TopLevelOf(QObject* watched) {
        for (QObject* o = watched; o; o = o->parent())
            if (auto* widget = qobject_cast<QWidget*>(o))
                return widget->window();
        return nullptr;
    }

    bool IsBlocked(QObject* watched) const {
        const QWidget* top = TopLevelOf(watched);
        if (!top)
            return false;
        for (const QPointer<QWidget>& widget : m_blocked)
            if (widget == top)
                return true;
        return false;
    }

    bool IsStopButton(QObject* watched) const {
        if (!m_frame.IsAbortable())
            return false;
        const QToolButton* stop = m_frame.ToolButton(cmd::Stop);
        for (QObject* o = watched; o; o = o->parent())
            if (o == stop)
                return true;
        return false;
    }

    CMainFrame& m_frame;
    QList<QPointer<QWidget>> m_blocked;
};

CMainFrame::CMainFrame(Ckelpie5App& app, Interaction& ui) : m_app(app), m_ui(ui) {
    setWindowTitle(QtInteraction::kTitle);
    setContextMenuPolicy(Qt::NoContextMenu); // the toolbar cannot be hidden
    if (auto* qtUi = dynamic_cast<QtInteraction*>(&ui)) {
        qtUi->SetParentWindow(this);
        qtUi->SetStopSource([this] { return m_abortRequested; });
        qtUi->SetStatusSink([this](const QString& text) { SetStatusText(text); });
    }
    m_watchTimer.setSingleShot(true);
    m_watchTimer.setInterval(300);
    m_animationTimer.setInterval(100);
    connect(&m_watchTimer, &QTimer::timeout, this, &CMainFrame::OnWatchTimer);
    connect(&m_animationTimer, &QTimer::timeout, this, &CMainFrame::OnAnimationTimer);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::RefreshClipboardState);
    m_inputFilter = new BusyInputFilter(*this);
    qApp->installEventFilter(m_inputFilter);
    // The session manager asks before a logout that the user may still cancel: only the working copies
    // are dealt with here. The shutdown and the saves run when the application really quits.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!CommitSessionData([&manager] { return manager.allowsInteraction(); }))
            manager.cancel();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        Shutdown(false);
        m_app.SaveAtShutdown(isMaximized());
    });
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(m_inputFilter);
    if (auto* qtUi = dynamic_cast<QtInteraction*>(&m_ui)) {
        qtUi->SetParentWindow(nullptr);
        qtUi->SetStopSource({});
        qtUi->SetStatusSink({});
    }
    m_app.SaveAtShutdown(isMaximized());
}

int CMainFrame::Create() {
    const QSize size = m_app.InitialWindowSize();
    resize(size);
    BuildPanes();
    BuildKeyboard();
    BuildToolBar();
    BuildStatusBar();
    if (m_app.CreateState() != OpResult::kDone)
        return -1;
    WireFolderCommands();
    WireContents();
    WireInside();
    WireNewItems();
    WireWorkspace();
    BuildAccelerators();
    ApplyInitialWidths();
    m_list->SetViewStyle(m_app.State().settings.dispMode);
    m_animationTimer.start();
    m_app.SetStartupCompleted();
    return 0;
}

int CMainFrame::PostShow() {
    BuildMenuBar();
    RefreshClipboardState();
    m_app.BringOverEarlierPlainAreas();
    m_app.EmptyTemporaryWorkAreas(true);
    m_app.ReportLeftWorkingCopies();
    if (m_endRequested)
        return 0;
    if (m_app.NeedsFirstStartRegistration()) {
        RunFirstStart();
        // A registration cut short by a termination signal is an ordinary end, not a failed start.
        if (m_shutDown)
            return m_endRequested ? 0 : -1;
    }
    const QString only = m_app.SingleFolderForLogin();
    if (!only.isEmpty() && startLogin)
        startLogin(only);
    return 0;
}

// The first start creates the default encrypted folder beside the program and registers it; a failed
// or cancelled registration ends the program.
void CMainFrame::RunFirstStart() {
    if (!registerFolder)
        return; // registration lands with the folder tree
    const QString folder = m_app.DefaultEncryptedFolder();
    if (!QDir().mkpath(folder) || registerFolder(folder) != OpResult::kDone) {
        Shutdown(false);
        close();
    }
}

void CMainFrame::BuildPanes() {
    m_splitter = new CUSplitterWnd(this);
    m_tree = new CTreeV(m_splitter);
    m_list = new CListV(m_splitter);
    m_list2 = new CListV2(m_splitter);
    for (int i = 0; i < 3; ++i)
        m_splitter->widget(i)->setMinimumWidth(10);
    setCentralWidget(m_splitter);
    connect(m_splitter, &CUSplitterWnd::BarReleased, this, &CMainFrame::OnBarReleased);
}

// Tab goes tree, contents list, decrypted-file list; F6 and Shift+F6 cycle them from anywhere in the
// window. The panes say what they are to a screen reader.
void CMainFrame::BuildKeyboard() {
    setTabOrder(m_tree, m_list->Details());
    setTabOrder(m_list->Details(), m_list->Icons());
    setTabOrder(m_list->Icons(), m_list2);
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { CyclePanes(true); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { CyclePanes(false); });
    const QString popupKeys = QStringLiteral("メニュー キーまたは Shift+F10 でメニューを開きます。");
    m_tree->setAccessibleName(QStringLiteral("暗号フォルダー"));
    m_tree->setAccessibleDescription(QStringLiteral("登録された暗号フォルダーとその中のフォルダー。") + popupKeys);
    for (QWidget* view : {static_cast<QWidget*>(m_list->Details()), static_cast<QWidget*>(m_list->Icons())}) {
        view->setAccessibleName(QStringLiteral("フォルダーの内容"));
        view->setAccessibleDescription(QStringLiteral("選択したフォルダーのファイル。Enter で開く、F2 で名前の変更、"
                                                      "Delete で削除、Ctrl+Z で元に戻す。") + popupKeys);
    }
    m_list2->setAccessibleName(QStringLiteral("復号中のファイル"));
    m_list2->setAccessibleDescription(QStringLiteral("編集のために復号したファイル。") + popupKeys);
}

void CMainFrame::CyclePanes(bool forward) {
    const QList<QWidget*> panes = {m_tree, m_list->Details(), m_list->Icons(), m_list2};
    int at = -1;
    for (int i = 0; i < panes.size(); ++i)
        if (panes[i]->isAncestorOf(QApplication::focusWidget()) || panes[i] == QApplication::focusWidget())
            at = i;
    const int count = static_cast<int>(panes.size());
    for (int step = 1; step <= count; ++step) {
        QWidget* pane = panes[((at < 0 ? (forward ? -1 : 0) : at) + (forward ? step : count - step)) % count];
        if (pane->isVisible() && pane->isEnabled()) {
            pane->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    }
}

void CMainFrame::BuildStatusBar() {
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusPane0"));
    m_busyIcon = new QLabel(this);
    m_busyIcon->setObjectName(QStringLiteral("statusBusyIcon"));
    m_busyIcon->setFixedSize(20, 16);
    statusBar()->addWidget(m_statusLabel, 1);
    statusBar()->addPermanentWidget(m_busyIcon);
    ShowPhase(0);
}

// ---- widths ----

void CMainFrame::ApplyInitialWidths() {
    const auto widths = PaneWidths::Initial(m_app.State().settings);
    m_splitter->setSizes({widths[0], widths[1], std::max(10, m_splitter->width() - widths[0] - widths[1] - 8)});
}

void CMainFrame::LayoutColumns() {
    if (!m_splitter)
        return;
    const auto widths = PaneWidths::Layout(m_app.State().settings, width());
    m_splitter->setSizes({widths[0], widths[1], std::max(10, m_splitter->width() - widths[0] - widths[1] - 8)});
}

void CMainFrame::OnBarReleased() {
    SettingsRecord& settings = m_app.State().settings;
    const QList<int> sizes = m_splitter->sizes();
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    PaneWidths::TakeRelease(settings, settings.sizeTvWidth, sizes[0], sizes[2], border);
    LayoutColumns();
}

// The splitter has no width of its own before the first show: the widths from the settings are set
// again once it has.
void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce || !m_app.State().startupCompleted)
        return;
    m_shownOnce = true;
    m_splitter->resize(centralWidget()->size());
    ApplyInitialWidths();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!m_app.State().startupCompleted)
        return;
    SettingsRecord& settings = m_app.State().settings;
    if (!isMaximized() && !isFullScreen()) {
        settings.sizeMfWidth = frameGeometry().width();
        settings.sizeMfHigh = frameGeometry().height();
    }
    LayoutColumns();
}

// ---- busy sections ----

void CMainFrame::EnterBusy() {
    if (m_busyDepth++ > 0)
        return;
    m_inputFilter->TakeBlockedWindows();
    SetMenusEnabled(false);
    UpdateCommandStates();
    m_animating = true;
    m_phase = 2;
    m_ticks = 0;
    ShowPhase(2);
    m_statusLabel->setText(StatusPaneText());
}

void CMainFrame::LeaveBusy() {
    if (m_busyDepth == 0 || --m_busyDepth > 0)
        return;
    SetMenusEnabled(true);
    m_animating = false;
    m_phase = 0;
    ShowPhase(0);
    m_statusLabel->clear();
    QThread::msleep(5);
    UpdateCommandStates();
    update();
}

void CMainFrame::SetMenusEnabled(bool enabled) {
    for (QMenu* menu : m_topMenus)
        menu->menuAction()->setEnabled(enabled);
}

void CMainFrame::SetAbortable(bool on) {
    m_abortable = on;
    // An operation that becomes stoppable after a termination signal stops at its first safe point.
    m_abortRequested = on && m_endRequested;
    UpdateCommandStates();
}

void CMainFrame::SetStatusText(const QString& text, bool nameOnly) {
    m_statusText = nameOnly ? QFileInfo(text).fileName() : text;
    if (m_animating)
        m_statusLabel->setText(StatusPaneText());
}

QString CMainFrame::StatusPaneText() const {
    return m_statusText.isEmpty()
               ? m_app.State().catalogue ? m_app.State().catalogue->m_GetMsgA(msg::kWorking) : QString()
               : m_statusText;
}

void CMainFrame::ShowPhase(int phase) {
    m_busyIcon->setPixmap(StatusPhaseIcon(phase).pixmap(16, 16));
}

// ---- timers ----

void CMainFrame::OnWatchTimer() {
    ++m_timerDepth;
    // The tick re-arms the timer itself while programs are watched.
    if (m_copies && !m_stop)
        m_copies->WatchTick();
    --m_timerDepth;
}

void CMainFrame::OnAnimationTimer() {
    ++m_timerDepth;
    if (m_animating) {
        if (isActiveWindow()) {
            ShowPhase(m_phase);
            m_phase = NextStatusPhase(m_phase);
            ++m_ticks;
            m_statusLabel->setText(StatusPaneText());
        } else {
            ShowPhase(0);
            m_statusLabel->clear();
        }
    } else {
        const QString shown = m_statusLabel->text();
        if (shown.isEmpty() || shown == CListV::IdlePrompt() || shown == m_lastSummary) {
            const QString summary = m_list->SelectionSummary();
            if (summary != shown) {
                m_statusLabel->setText(summary);
                m_lastSummary = summary;
            }
        }
        UpdateCommandStates();
    }
    --m_timerDepth;
}

// ---- exit ----

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_shutDown) {
        event->accept();
        return;
    }
    if (IsBusy()) {
        m_ui.Message(m_app.State().catalogue->m_GetMsgA(msg::kExitWhileBusy), Icon::Information, Buttons::Ok, 0,
                     msg::kExitWhileBusy);
        event->ignore();
        return;
    }
    if (confirmWorkingCopiesAtExit && !confirmWorkingCopiesAtExit()) {
        event->ignore();
        return;
    }
    Shutdown(true);
    event->accept();
}

bool CMainFrame::CommitSessionData(const std::function<bool()>& mayInteract) {
    if (m_shutDown || !confirmWorkingCopiesAtExit)
        return true;
    // Without leave to ask, the copies stay where they are; the next start reports them.
    if (IsBusy() || !mayInteract())
        return true;
    return confirmWorkingCopiesAtExit();
}

void CMainFrame::EndOnSignal() {
    if (m_endRequested || m_shutDown)
        return;
    m_endRequested = true;
    if (m_abortable)
        m_abortRequested = true;
    DialogHook::EndAll();
    // Every event loop returns, the main one only once the running operation has returned to it: no
    // write is cut short. The shutdown then runs from aboutToQuit, with reports off.
    QCoreApplication::exit(0);
}

void CMainFrame::Shutdown(bool reportFailures) {
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_stop = true;
    auto pump = [this](int ms) { m_ui.Sleep(ms); };
    pump(20);
    m_watchTimer.stop();
    m_animationTimer.stop();
    pump(20);
    for (int round = 0; round < 20 && m_timerDepth > 0; ++round)
        pump(50);
    pump(20);
    FinishDragOutNow(); // a drag's decrypted copies are wiped, not only deleted with the area
    if (m_app.State().registry)
        m_app.EmptyTemporaryWorkAreas(reportFailures);
    if (m_tree)
        m_tree->clear();
}

} // namespace korimbo
