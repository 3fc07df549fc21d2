#include "ui/TreeV.h"

#include "platform/ClipboardFiles.h"
#include "state/FolderRegistry.h"
#include "ui/CommandTable.h"
#include "ui/DropMenus.h"
#include "ui/InsideDrag.h"
#include "ui/OwnIcons.h"
#include "util/FileNames.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <QUrl>

namespace korimbo {

namespace {

const QString kInsideFormat = QString::fromLatin1(kInsideDragFormat);

QStringList LocalPaths(const QMimeData* data) {
    ClipboardFiles files;
    ReadClipboardFiles(data, files);
    return files.paths;
}

} // namespace

CTreeV::CTreeV(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("CTreeV"));
    setHeaderHidden(true);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    connect(this, &QTreeWidget::itemExpanded, this, &CTreeV::LoadChildren);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            Q_EMIT FolderSelected(PathOf(item), TopFolderOf(item));
    });
}

QTreeWidgetItem* CTreeV::ItemUnderMouseOrCurrent() const {
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    QTreeWidgetItem* item = viewport()->rect().contains(pos) ? itemAt(pos) : nullptr;
    return item ? item : currentItem();
}

CTreeV::ItemKind CTreeV::KindUnderMouseOrCurrent() const {
    const QTreeWidgetItem* item = ItemUnderMouseOrCurrent();
    if (!item)
        return ItemKind::None;
    return item->parent() ? ItemKind::Below : ItemKind::TopFolder;
}

QString CTreeV::PathOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kPathRole).toString() : QString();
}

QString CTreeV::TopFolderOf(const QTreeWidgetItem* item) {
    while (item && item->parent())
        item = item->parent();
    return PathOf(item);
}

QString CTreeV::LabelFor(const QString& path, const QString& mountRoot, int driveType) {
    const QString root = mountRoot.endsWith(u'/') ? mountRoot.chopped(1) : mountRoot;
    const QString parent = QFileInfo(path).path();
    QString label = (parent == (root.isEmpty() ? QStringLiteral("/") : root))
                        ? path
                        : root + QStringLiteral("/…/") + QFileInfo(path).fileName();
    if (driveType == 2)
        label += QStringLiteral("（リムーバルディスク）");
    else if (driveType == 5)
        label += QStringLiteral("（CD/DVD/BDドライブ）");
    return label;
}

void CTreeV::Populate(const FolderRegistry& registry) {
    clear();
    for (const FolderRegistry::Registered& folder : registry.RegisteredFolders())
        AddFolder(folder.path, registry.DriveTypeOf(folder.slot));
}

QTreeWidgetItem* CTreeV::AddFolder(const QString& path, int driveType) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, LabelFor(path, mountRootOf ? mountRootOf(path) : QStringLiteral("/"), driveType));
    item->setToolTip(0, path);
    item->setData(0, kPathRole, path);
    item->setData(0, kDriveTypeRole, driveType);
    AddPlaceholderIfNeeded(item);
    RefreshLoginState();
    return item;
}

void CTreeV::RemoveFolder(const QString& path) {
    delete FindTop(path);
}

QTreeWidgetItem* CTreeV::FindTop(const QString& path) const {
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (PathOf(topLevelItem(i)) == path)
            return topLevelItem(i);
    return nullptr;
}

void CTreeV::RefreshLoginState() {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        const bool in = isLoggedIn && isLoggedIn(PathOf(item));
        const bool present = QFileInfo(PathOf(item)).isDir();
        item->setIcon(0, !present ? ThemeOrOwnIcon(QStringLiteral("folder-important"), QStringLiteral("folder-missing"))
                         : in     ? ThemeOrOwnIcon(QStringLiteral("folder-open"), QStringLiteral("folder-open"))
                                  : ThemeOrOwnIcon(QStringLiteral("folder-locked"), QStringLiteral("folder-locked")));
    }
}

bool CTreeV::SelectPath(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        const QString top = PathOf(item);
        if (!IsWithinPath(clean, top))
            continue;
        const QStringList parts = clean.mid(top.size()).split(u'/', Qt::SkipEmptyParts);
        for (const QString& part : parts) {
            QTreeWidgetItem* next = ChildNamed(item, part);
            if (!next) {
                // Made since the branch was read: read it again.
                ReloadChildren(item);
                next = ChildNamed(item, part);
            }
            if (!next)
                break;
            item = next;
        }
        setCurrentItem(item);
        scrollToItem(item);
        return true;
    }
    return false;
}

void CTreeV::RefreshBranch(const QString& path) {
    QTreeWidgetItem* item = nullptr;
    for (QTreeWidgetItemIterator it(this); *it && !item; ++it)
        if (PathOf(*it) == path)
            item = *it;
    if (!item)
        return;
    const bool expanded = item->isExpanded();
    QTreeWidgetItem* current = currentItem();
    const QString currentPath = PathOf(current);
    // The current item may be below the branch: it is found again by its path afterwards.
    bool below = false;
    for (QTreeWidgetItem* p = current; p; p = p->parent())
        below = below || p->parent() == item;
    if (expanded)
        ReloadChildren(item);
    else {
        qDeleteAll(item->takeChildren());
        AddPlaceholderIfNeeded(item);
    }
    if (below) {
        const QSignalBlocker block(this);
        SelectPath(currentPath);
    }
}

QTreeWidgetItem* CTreeV::ChildNamed(QTreeWidgetItem* item, const QString& name) {
    item->setExpanded(true); // loads the children
    for (int c = 0; c < item->childCount(); ++c)
        if (item->child(c)->text(0) == name)
            return item->child(c);
    return nullptr;
}

void CTreeV::ReloadChildren(QTreeWidgetItem* item) {
    qDeleteAll(item->takeChildren());
    item->addChild(new QTreeWidgetItem({kPlaceholder}));
    item->setExpanded(false);
    LoadChildren(item);
    item->setExpanded(item->childCount() > 0);
}

// A branch shows a placeholder child until it is opened, so only opened branches cost a listing.
void CTreeV::AddPlaceholderIfNeeded(QTreeWidgetItem* item) {
    const QDir dir(PathOf(item));
    if (!dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty())
        item->addChild(new QTreeWidgetItem({kPlaceholder}));
}

void CTreeV::LoadChildren(QTreeWidgetItem* item) {
    if (item->childCount() != 1 || !item->child(0)->data(0, kPathRole).toString().isEmpty())
        return; // already loaded
    delete item->takeChild(0);
    const QDir dir(PathOf(item));
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        auto* child = new QTreeWidgetItem(item, {name});
        child->setData(0, kPathRole, dir.filePath(name));
        child->setIcon(0, ThemeOrOwnIcon(QStringLiteral("folder"), QStringLiteral("folder")));
        AddPlaceholderIfNeeded(child);
    }
}

int CTreeV::RunMenu(QMenu& menu, const QPoint& globalPos) {
    if (runMenu)
        return runMenu(menu, globalPos);
    QAction* chosen = menu.exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

// A click opens the pop-up of the item under the pointer; the Menu key and Shift+F10 open the current
// item's (the platform's keyboard pop-up event is left to the key, which comes with it).
void CTreeV::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard)
        return;
    ShowPopup(itemAt(viewport()->mapFromGlobal(event->globalPos())), event->globalPos());
}

void CTreeV::keyPressEvent(QKeyEvent* event) {
    if (!CCommandTable::IsPopupKey(*event)) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    QTreeWidgetItem* item = currentItem();
    if (item)
        ShowPopup(item, viewport()->mapToGlobal(visualItemRect(item).center()));
}

void CTreeV::ShowPopup(QTreeWidgetItem* item, const QPoint& globalPos) {
    if (!item)
        return;
    setCurrentItem(item);
    PopupContext context;
    context.pane = PopupContext::Pane::kTree;
    context.topFolder = item->parent() == nullptr;
    context.loggedIn = isLoggedIn && isLoggedIn(TopFolderOf(item));
    QMenu menu(this);
    CCommandTable::FillPopup(menu, context);
    if (const int id = RunMenu(menu, globalPos); id != 0)
        Q_EMIT ContextCommand(id, PathOf(item));
}

void CTreeV::dragEnterEvent(QDragEnterEvent* event) {
    if (isBusy && isBusy())
        return event->ignore();
    if (event->mimeData()->hasUrls() || event->mimeData()->hasFormat(kInsideFormat))
        event->acceptProposedAction();
}

void CTreeV::dragMoveEvent(QDragMoveEvent* event) {
    if (isBusy && isBusy())
        return event->ignore();
    if (event->mimeData()->hasUrls() || event->mimeData()->hasFormat(kInsideFormat))
        event->acceptProposedAction();
}

void CTreeV::dropEvent(QDropEvent* event) {
    if (isBusy && isBusy())
        return event->ignore();
    const QMimeData* data = event->mimeData();
    QTreeWidgetItem* target = itemAt(event->position().toPoint());
    const QPoint global = viewport()->mapToGlobal(event->position().toPoint());
    event->acceptProposedAction();
    QMenu menu(this);
    auto add = [&menu](int id, const char16_t* text) { menu.addAction(QString::fromUtf16(text))->setData(id); };

    if (data->hasFormat(kInsideFormat)) {
        InsideDragItems items;
        if (!target || !ReadInsideDrag(data, items))
            return;
        AddInsideDropEntries(menu);
        bool move = false;
        if (IsInsideDrop(RunMenu(menu, global), move))
            Q_EMIT InsideDropped(PathOf(target), items.paths, move);
        return;
    }
    const QStringList paths = LocalPaths(data);
    if (paths.size() == 1 && QFileInfo(paths.first()).isDir()) {
        add(cmd::DropRegister, u"暗号フォルダーとして登録(&R)");
        add(cmd::DropCancel, u"キャンセル(&N)");
        if (RunMenu(menu, global) == cmd::DropRegister)
            Q_EMIT RegisterRequested(paths.first());
        return;
    }
    if (!target || paths.isEmpty())
        return;
    AddEncryptDropEntries(menu);
    bool move = false;
    if (IsEncryptDrop(RunMenu(menu, global), move))
        Q_EMIT FilesDropped(PathOf(target), paths, move);
}

} // namespace korimbo
