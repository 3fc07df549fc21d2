#include "ui/ListV.h"

#include "folder/ContentsModel.h"
#include "platform/ClipboardFiles.h"
#include "state/SettingsFile.h"
#include "ui/CommandTable.h"
#include "ui/DropMenus.h"
#include "ui/InsideDrag.h"
#include "ui/TypeIcons.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QStyledItemDelegate>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>

namespace korimbo {

// ---- icons ----

QVariant ContentsIcons::data(const QModelIndex& index, int role) const {
    if (role == Qt::DecorationRole && index.column() == CContentsModel::kName) {
        const QModelIndex source = mapToSource(index);
        return TypeIcon(source.data(CContentsModel::kTypeNameRole).toString(),
                        source.data(CContentsModel::kFolderRole).toBool());
    }
    if (role == Qt::EditRole && index.column() == CContentsModel::kName)
        return QIdentityProxyModel::data(index, Qt::DisplayRole);
    if (role == Qt::BackgroundRole && index.row() == m_dropRow && m_dropRow >= 0)
        return QApplication::palette().highlight();
    if (role == Qt::ForegroundRole && index.row() == m_dropRow && m_dropRow >= 0)
        return QApplication::palette().highlightedText();
    return QIdentityProxyModel::data(index, role);
}

Qt::ItemFlags ContentsIcons::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
    if (index.isValid() && index.column() == CContentsModel::kName)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool ContentsIcons::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != CContentsModel::kName)
        return false;
    Q_EMIT NameEdited(index.row(), index.data(Qt::DisplayRole).toString(), value.toString());
    return false; // the rows are listed again once the rename is done
}

void ContentsIcons::SetDropRow(int row) {
    if (row == m_dropRow)
        return;
    const int old = m_dropRow;
    m_dropRow = row;
    for (int r : {old, row})
        if (r >= 0 && r < rowCount())
            Q_EMIT dataChanged(index(r, 0), index(r, columnCount() - 1));
}

// ---- the name's editor ----

namespace {

// The editor of an in-place rename takes every key: Return ends the edit instead of opening the item,
// Delete and the Ctrl keys edit the text instead of starting commands.
class NameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
};

} // namespace

// ---- the list ----

CListV::CListV(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CListV"));
    m_details = new QTreeView(this);
    m_details->setObjectName(QStringLiteral("CListVDetails"));
    m_details->setRootIsDecorated(false);
    m_details->setUniformRowHeights(true);
    m_details->setItemsExpandable(false);
    m_details->setAllColumnsShowFocus(true);
    m_details->setSortingEnabled(false);
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setSortIndicatorShown(true);
    m_details->header()->setStretchLastSection(false);
    m_icons = new QListView(this);
    m_icons->setObjectName(QStringLiteral("CListVIcons"));
    m_icons->setViewMode(QListView::IconMode);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);
    m_icons->setWordWrap(true);
    m_icons->setIconSize(QSize(32, 32));
    m_icons->setGridSize(QSize(78, 75));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_details);
    layout->addWidget(m_icons);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setFocusPolicy(Qt::StrongFocus);
        view->setAcceptDrops(true);
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        view->setContextMenuPolicy(Qt::NoContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            if (index.isValid())
                Q_EMIT OpenRequested(index.row());
        });
    }
    connect(m_details->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (!m_model)
            return;
        m_model->SortByColumn(column);
        m_details->header()->setSortIndicator(column,
                                              m_model->SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    connect(m_details->header(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) { StoreColumnWidth(column, width); });
    auto* names = new NameDelegate(this);
    m_details->setItemDelegateForColumn(CContentsModel::kName, names);
    m_icons->setItemDelegate(names);
    SetViewStyle(0);
}

void CListV::SetModel(CContentsModel* model, SettingsRecord* settings) {
    m_model = model;
    m_settings = settings;
    m_iconModel = new ContentsIcons(this);
    m_iconModel->setSourceModel(model);
    m_details->setModel(m_iconModel);
    m_icons->setModel(m_iconModel);
    m_icons->setModelColumn(CContentsModel::kName);
    m_icons->setSelectionModel(m_details->selectionModel());
    connect(m_details->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CListV::SelectionChanged);
    // The rename runs after the editor has closed, not inside its commit.
    connect(m_iconModel, &ContentsIcons::NameEdited, this,
            [this](int row, const QString& shown, const QString& typed) {
                QMetaObject::invokeMethod(
                    this, [this, row, shown, typed] { Q_EMIT RenameEdited(row, shown, typed); },
                    Qt::QueuedConnection);
            });
    ApplyColumnWidths();
}

void CListV::ApplyColumnWidths() {
    if (!m_model)
        return;
    QHeaderView* header = m_details->header();
    const int widths[CContentsModel::kVisibleColumns] = {
        m_settings ? m_settings->lv1WidthTi : 270, m_settings ? m_settings->lv1WidthMs : 80,
        m_settings ? m_settings->lv1WidthSr : 130, m_settings ? m_settings->lv1WidthMt : 140,
        m_settings ? m_settings->lv1WidthAt : 140};
    SettingsRecord* keep = m_settings;
    m_settings = nullptr; // setting the widths is not a change by the user
    for (int column = 0; column < CContentsModel::kColumnCount; ++column) {
        const bool visible = column < CContentsModel::kVisibleColumns;
        m_details->setColumnHidden(column, !visible);
        if (visible)
            header->resizeSection(column, std::max(0, widths[column]));
    }
    header->setSectionResizeMode(CContentsModel::kSize, QHeaderView::Interactive);
    m_settings = keep;
}

void CListV::StoreColumnWidth(int column, int width) {
    if (!m_settings || column >= CContentsModel::kVisibleColumns || m_details->isColumnHidden(column))
        return;
    int* fields[CContentsModel::kVisibleColumns] = {&m_settings->lv1WidthTi, &m_settings->lv1WidthMs,
                                                    &m_settings->lv1WidthSr, &m_settings->lv1WidthMt,
                                                    &m_settings->lv1WidthAt};
    *fields[column] = width;
}

QList<int> CListV::SelectedRows() const {
    QList<int> rows;
    if (!m_details->selectionModel())
        return rows;
    for (const QModelIndex& index : m_details->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CListV::SelectedCount() const {
    return static_cast<int>(SelectedRows().size());
}

bool CListV::SelectionHasPlainFile() const {
    for (int row : SelectedRows())
        if (m_model->Item(row).IsPlainFile())
            return true;
    return false;
}

bool CListV::SelectionHasDirectory() const {
    for (int row : SelectedRows())
        if (m_model->Item(row).IsFolder())
            return true;
    return false;
}

QStringList CListV::SelectedPaths() const {
    QStringList paths;
    for (int row : SelectedRows())
        paths.append(m_model->Item(row).FullPath());
    return paths;
}

void CListV::SelectAll() {
    m_details->selectAll();
    CurrentView()->setFocus();
}

void CListV::SelectRow(int row) {
    const QModelIndex index = m_details->model()->index(row, 0);
    m_details->selectionModel()->setCurrentIndex(index,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    (m_style == 0 ? static_cast<QAbstractItemView*>(m_icons) : m_details)->scrollTo(index);
    CurrentView()->setFocus();
}

void CListV::BeginRename(int row) {
    if (!m_iconModel || row < 0 || row >= m_iconModel->rowCount())
        return;
    SelectRow(row);
    auto* view = m_style == 0 ? static_cast<QAbstractItemView*>(m_icons) : m_details;
    view->edit(m_iconModel->index(row, CContentsModel::kName));
}

QLineEdit* CListV::RenameEditor() const {
    auto* view = m_style == 0 ? static_cast<QAbstractItemView*>(m_icons) : m_details;
    for (QLineEdit* editor : view->viewport()->findChildren<QLineEdit*>())
        if (editor->isVisible())
            return editor;
    return nullptr;
}

QString CListV::IdlePrompt() {
    return QStringLiteral("\u3000");
}

QString CListV::SelectionSummary() const {
    return m_model ? m_model->StatusText(SelectedCount()) : IdlePrompt();
}

void CListV::SetViewStyle(int dispMode) {
    const bool hadFocus = hasFocus();
    m_style = dispMode == 0 ? 0 : 2;
    m_details->setVisible(m_style == 2);
    m_icons->setVisible(m_style == 0);
    // The frame asks the list whether it has the focus: the view on show answers for it.
    setFocusProxy(CurrentView());
    if (hadFocus)
        CurrentView()->setFocus();
}

QWidget* CListV::CurrentView() const {
    return m_style == 0 ? static_cast<QWidget*>(m_icons) : static_cast<QWidget*>(m_details);
}

int CListV::RowAt(const QPoint& viewportPos) const {
    const QModelIndex index = m_style == 0 ? m_icons->indexAt(viewportPos) : m_details->indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

int CListV::RunMenu(QMenu& menu, const QPoint& globalPos) {
    if (runMenu)
        return runMenu(menu, globalPos);
    QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

bool CListV::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_details || watched == m_icons)
        return HandleViewKeys(event);
    if (watched != m_details->viewport() && watched != m_icons->viewport())
        return QWidget::eventFilter(watched, event);
    if (HandleMouse(watched, event))
        return true;
    // While a command runs nothing is dropped: a second operation inside the first one's event pump would
    // work on rows that are about to change.
    const bool dropping = event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
                          event->type() == QEvent::Drop;
    if (dropping && isBusy && isBusy()) {
        event->ignore();
        return true;
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        HandleDrag(event);
        return true;
    case QEvent::DragLeave:
        if (m_iconModel)
            m_iconModel->SetDropRow(-1);
        return true;
    case QEvent::Drop:
        HandleDrop(static_cast<QWidget*>(watched), static_cast<QDropEvent*>(event));
        return true;
    case QEvent::ContextMenu: {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        // A right press may still become a drag: its pop-up comes at the release.
        if (menuEvent->reason() == QContextMenuEvent::Mouse && m_press.button == Qt::RightButton) {
            m_press.menuPending = true;
            m_press.menuPosition = menuEvent->globalPos();
            return true;
        }
        if (menuEvent->reason() == QContextMenuEvent::Keyboard)
            ShowKeyboardPopup();
        else
            ShowPopup(menuEvent->globalPos());
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// A press on a row with the left or right button and no modifier may start a drag out of the selection;
// the moves of such a press are ours, so the view does not turn them into a rubber band.
bool CListV::HandleMouse(QObject* viewport, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint position = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        m_press = Press();
        const bool button = mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton;
        const bool plain = (mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0;
        if (m_model && !m_model->Directory().isEmpty() && button && plain && RowAt(position) >= 0) {
            m_press.button = mouse->button();
            m_press.position = position;
        }
        return false;
    }
    if (m_press.button == Qt::NoButton)
        return false;
    if (type == QEvent::MouseMove) {
        if ((mouse->buttons() & m_press.button) == 0) {
            m_press = Press();
            return false;
        }
        if ((position - m_press.position).manhattanLength() >= QApplication::startDragDistance()) {
            const Qt::MouseButton button = m_press.button;
            m_press = Press();
            if (SelectedCount() > 0)
                Q_EMIT DragOutRequested(button);
        }
        return true;
    }
    // The release of a press that did not become a drag: a click as usual, and the waiting pop-up.
    if (mouse->button() != m_press.button)
        return false;
    const Press press = m_press;
    m_press = Press();
    if (press.menuPending) {
        QApplication::sendEvent(viewport, event);
        ShowPopup(press.menuPosition);
        return true;
    }
    return false;
}

// Files from a file manager may be dropped while a folder is shown; a folder row under the pointer is
// highlighted and becomes the destination.
void CListV::HandleDrag(QEvent* event) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    ClipboardFiles files;
    InsideDragItems inside;
    if (!m_model || m_model->Directory().isEmpty() ||
        (!ReadInsideDrag(drag->mimeData(), inside) && !ReadClipboardFiles(drag->mimeData(), files))) {
        drag->ignore();
        return;
    }
    const int row = RowAt(drag->position().toPoint());
    m_iconModel->SetDropRow(row >= 0 && m_model->Item(row).IsFolder() ? row : -1);
    drag->acceptProposedAction();
}

void CListV::HandleDrop(QWidget* viewport, QDropEvent* event) {
    ClipboardFiles files;
    InsideDragItems inside;
    const int row = m_iconModel ? m_iconModel->DropRow() : -1;
    if (m_iconModel)
        m_iconModel->SetDropRow(-1);
    if (m_model && !m_model->Directory().isEmpty() && ReadInsideDrag(event->mimeData(), inside)) {
        event->acceptProposedAction();
        const QString destination = row >= 0 ? m_model->Item(row).FullPath() : m_model->Directory();
        QMenu menu(this);
        AddInsideDropEntries(menu);
        bool move = false;
        if (IsInsideDrop(RunMenu(menu, viewport->mapToGlobal(event->position().toPoint())), move))
            Q_EMIT InsideDropped(destination, inside.paths, move);
        return;
    }
    if (!m_model || m_model->Directory().isEmpty() || !ReadClipboardFiles(event->mimeData(), files)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QString destination = row >= 0 ? m_model->Item(row).FullPath() : m_model->Directory();
    // The paths are taken now: the drag's data is gone once the menu has run.
    const QStringList paths = files.paths;
    const QPoint global = viewport->mapToGlobal(event->position().toPoint());
    QMenu menu(this);
    AddEncryptDropEntries(menu);
    bool move = false;
    if (IsEncryptDrop(RunMenu(menu, global), move))
        Q_EMIT FilesDropped(destination, paths, move);
}

// The programs offered for a file's name, numbered; the chooser after them.
void CListV::AddOpenWithMenu(QMenu& menu, const QString& name) {
    QMenu* with = menu.addMenu(QStringLiteral("プログラムから開く(&W)"));
    const QStringList programs = programsFor ? programsFor(name) : QStringList();
    for (int i = 0; i < programs.size() && i < cmd::kMaxPrograms; ++i)
        with->addAction(CCommandTable::NumberedText(i, programs[i], QStringLiteral("P")))
            ->setData(cmd::OpenWithFirst + i);
    if (!programs.isEmpty())
        with->addSeparator();
    CCommandTable::AddEntry(*with, cmd::OpenWithChooser);
}

// A pop-up over selected plain files offers to encrypt them in place; elsewhere it offers the paste.
void CListV::ShowPopup(const QPoint& globalPos) {
    if (!m_model || m_model->Directory().isEmpty())
        return;
    const QWidget* viewport = m_style == 0 ? m_icons->viewport() : m_details->viewport();
    ShowPopupAt(RowAt(viewport->mapFromGlobal(globalPos)), globalPos);
}

void CListV::ShowKeyboardPopup() {
    if (!m_model || m_model->Directory().isEmpty())
        return;
    auto* view = static_cast<QAbstractItemView*>(CurrentView());
    const QModelIndex current = view->currentIndex();
    if (!current.isValid() || !view->selectionModel()->isRowSelected(current.row(), QModelIndex())) {
        if (!current.isValid()) {
            ShowPopupAt(-1, view->viewport()->mapToGlobal(QPoint(0, 0)));
            return;
        }
        view->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    const QRect rect = view->visualRect(current.siblingAtColumn(CContentsModel::kName));
    ShowPopupAt(current.row(), view->viewport()->mapToGlobal(rect.center()));
}

// The pop-up's facts: the selection's kinds, or the paste beside the rows.
PopupContext CListV::PopupContextAt(int row) const {
    PopupContext context;
    const QList<int> selected = SelectedRows();
    if (row >= 0 && selected.contains(row)) {
        context.pane = PopupContext::Pane::kContentsItems;
        context.selected = int(selected.size());
        for (int r : selected) {
            context.plainFiles += m_model->Item(r).IsPlainFile() ? 1 : 0;
            context.folders += m_model->Item(r).IsFolder() ? 1 : 0;
        }
        return context;
    }
    context.pane = PopupContext::Pane::kContentsArea;
    context.pasteAllowed = pasteEnabled && pasteEnabled();
    context.pasteEncrypts = pasteEncrypts && pasteEncrypts();
    context.newItems = bool(addNewMenu);
    return context;
}

void CListV::ShowPopupAt(int row, const QPoint& globalPos) {
    QMenu menu(this);
    CCommandTable::FillPopup(menu, PopupContextAt(row), [this, row](QMenu& parent, int marker) {
        if (marker == CCommandTable::kOpenWithMenu)
            AddOpenWithMenu(parent, m_model->Item(row).texts[CContentsModel::kOriginalName]);
        else if (marker == CCommandTable::kNewItemsMenu && addNewMenu)
            addNewMenu(parent);
    });
    if (const int id = RunMenu(menu, globalPos); id != 0)
        Q_EMIT PopupCommand(id);
}

// The Menu key and Shift+F10 open the pop-up of the current row.
bool CListV::HandleViewKeys(QEvent* event) {
    if (event->type() != QEvent::KeyPress || !CCommandTable::IsPopupKey(*static_cast<QKeyEvent*>(event)))
        return false;
    ShowKeyboardPopup();
    return true;
}

} // namespace korimbo
