#include "ui/D01TakeOut.h"

#include "platform/ClipboardFiles.h"
#include "ui/DialogHook.h"
#include "ui/TypeIcons.h"

#include <QApplication>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace korimbo {

namespace {

constexpr qint64 kLargeCopy = 8 * 1024 * 1024; // a copy this large shows its progress

// The icon list: its icons leave by a drag with the left or the right button.
class TakeOutIcons final : public QListWidget {
public:
    TakeOutIcons(CD01TakeOut& window, QWidget* parent) : QListWidget(parent), m_window(window) {}

protected:
    void startDrag(Qt::DropActions) override { m_window.StartDrag(); }
    void mousePressEvent(QMouseEvent* event) override {
        m_rightPress = event->button() == Qt::RightButton ? event->position().toPoint() : QPoint(-1, -1);
        QListWidget::mousePressEvent(event);
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        if (event->reason() == QContextMenuEvent::Mouse)
            m_window.ShowPopup(event->globalPos());
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (CCommandTable::IsPopupKey(*event))
            m_window.ShowKeyboardPopup();
        else
            QListWidget::keyPressEvent(event);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if ((event->buttons() & Qt::RightButton) && m_rightPress.x() >= 0 && itemAt(m_rightPress) &&
            (event->position().toPoint() - m_rightPress).manhattanLength() >= QApplication::startDragDistance()) {
            m_rightPress = QPoint(-1, -1);
            m_window.StartDrag();
            return;
        }
        QListWidget::mouseMoveEvent(event);
    }

private:
    CD01TakeOut& m_window;
    QPoint m_rightPress{-1, -1};
};

} // namespace

CD01TakeOut::CD01TakeOut(const TakeOutWindowRequest& request, CTakeOut& takeOut, QWidget* parent)
    : QDialog(parent), m_request(request), m_takeOut(takeOut), m_icons(new TakeOutIcons(*this, this)),
      m_text(new QLabel(QStringLiteral("上記アイコンをドラッグ＆ドロップするか、コピーまたは移動先を指定してください。"), this)),
      m_copy(new QPushButton(QStringLiteral("場所を指定してコピーする..."), this)),
      m_move(new QPushButton(QStringLiteral("場所を指定して移動する..."), this)),
      m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("取り出し"));
    setWindowTitle(request.title);
    m_icons->setObjectName(QStringLiteral("icons"));
    m_icons->setViewMode(QListView::IconMode);
    m_icons->setIconSize(QSize(32, 32));
    m_icons->setGridSize(QSize(78, 75));
    m_icons->setMovement(QListView::Static);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setWordWrap(true);
    m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_icons->setDragEnabled(true);
    m_icons->setDragDropMode(QAbstractItemView::DragOnly);
    for (const TakeOutItem& item : request.items) {
        auto* row = new QListWidgetItem(TypeIcon(QFileInfo(item.staged).fileName(), item.folder),
                                        QFileInfo(item.staged).fileName(), m_icons);
        row->setData(Qt::UserRole, item.staged);
        row->setToolTip(item.staged);
    }
    m_text->setObjectName(QStringLiteral("text"));
    m_text->setWordWrap(true);
    m_copy->setObjectName(QStringLiteral("copy"));
    m_move->setObjectName(QStringLiteral("move"));
    m_cancel->setObjectName(QStringLiteral("cancel"));

    auto* layout = new QVBoxLayout(this);
    if (!request.hint.isEmpty()) {
        auto* hint = new QLabel(request.hint, this);
        hint->setObjectName(QStringLiteral("hint"));
        hint->setWordWrap(true);
        layout->addWidget(hint);
    }
    layout->addWidget(m_icons, 1);
    layout->addWidget(m_text);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_copy);
    buttons->addWidget(m_move);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    // Kinds 4 and 5 go onto a mail message by drag only; the window is shorter without the buttons.
    m_copy->setVisible(!request.dragOnly);
    m_move->setVisible(!request.dragOnly);
    m_text->setVisible(!request.dragOnly);
    setFixedSize(kWidth, request.dragOnly ? kHeight - kDragOnlyShorter : kHeight);

    setAccessibleName(windowTitle());
    setAccessibleDescription(m_text->text());
    m_icons->setAccessibleName(QStringLiteral("取り出す項目"));
    m_icons->setAccessibleDescription(QStringLiteral("ドラッグ＆ドロップで取り出す項目のアイコン。"
                                                     "メニュー キーでコピーと移動のメニューを開きます。"));
    BindCommands();
    connect(m_copy, &QPushButton::clicked, this, [this] { CopyOrMove(false); });
    connect(m_move, &QPushButton::clicked, this, [this] { CopyOrMove(true); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

PopupContext CD01TakeOut::Context() const {
    PopupContext context;
    context.pane = PopupContext::Pane::kTakeOut;
    context.dragOnly = m_request.dragOnly;
    return context;
}

void CD01TakeOut::BindCommands() {
    for (int id : {cmd::TakeOutCopyTo, cmd::TakeOutMoveTo})
        m_table.Bind(
            id, [this, id] { return CCommandTable::PopupEnabled(id, Context()); },
            [this](int chosen) { CopyOrMove(chosen == cmd::TakeOutMoveTo); });
}

void CD01TakeOut::ShowPopup(const QPoint& globalPos) {
    QMenu menu(this);
    CCommandTable::FillPopup(menu, Context());
    if (QAction* chosen = menu.exec(globalPos))
        m_table.Run(chosen->data().toInt());
}

void CD01TakeOut::ShowKeyboardPopup() {
    QListWidgetItem* item = m_icons->currentItem();
    const QPoint at = item ? m_icons->visualItemRect(item).center() : QPoint(0, 0);
    ShowPopup(m_icons->viewport()->mapToGlobal(at));
}

TakeOutPrompts::WindowResult CD01TakeOut::Run() {
    DialogHook::Exec(*this);
    return m_result;
}

QStringList CD01TakeOut::DragPaths() const {
    QStringList paths;
    for (const QListWidgetItem* item : m_icons->selectedItems())
        paths.append(item->data(Qt::UserRole).toString());
    if (paths.isEmpty())
        for (const TakeOutItem& item : m_request.items)
            paths.append(item.staged);
    return paths;
}

void CD01TakeOut::StartDrag() {
    const QStringList paths = DragPaths();
    if (paths.isEmpty())
        return;
    auto* drag = new QDrag(m_icons);
    drag->setMimeData(MakeClipboardFiles(paths, false));
    if (!m_icons->selectedItems().isEmpty())
        drag->setPixmap(m_icons->selectedItems().first()->icon().pixmap(32, 32));
    if (drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction) != Qt::IgnoreAction)
        m_result = TakeOutPrompts::WindowResult::kDragged; // the window stays open for more
}

QString CD01TakeOut::ChooseFolder(bool move) {
    QFileDialog dialog(this, move ? QStringLiteral("項目の移動") : QStringLiteral("項目のコピー"),
                       QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    dialog.setObjectName(move ? QStringLiteral("項目の移動") : QStringLiteral("項目のコピー"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Our own dialog: it runs inside the busy command and answers like the rest of the program's windows.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, move ? QStringLiteral("移動") : QStringLiteral("コピー"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    if (DialogHook::Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void CD01TakeOut::CopyOrMove(bool move) {
    const QString target = ChooseFolder(move);
    if (target.isEmpty())
        return;
    QStringList paths;
    for (const TakeOutItem& item : m_request.items)
        paths.append(item.staged);
    std::unique_ptr<QProgressDialog> progress;
    m_takeOut.progress = [this, &progress, move](qint64 done, qint64 total) {
        if (total < kLargeCopy)
            return true;
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(
                move ? QStringLiteral("項目を移動しています...") : QStringLiteral("項目をコピーしています..."),
                QStringLiteral("キャンセル"), 0, 1000, this);
            progress->setWindowTitle(windowTitle());
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
        }
        progress->setValue(int(done * 1000 / total));
        return !progress->wasCanceled();
    };
    const OpResult rc = m_takeOut.CopyOut(paths, target, move);
    m_takeOut.progress = nullptr;
    progress.reset();
    // A refused move target (or a failure, already shown) leaves the window open for another choice.
    if (rc != OpResult::kDone)
        return;
    m_result = move ? TakeOutPrompts::WindowResult::kMoved : TakeOutPrompts::WindowResult::kCopied;
    accept();
}

} // namespace korimbo
