#pragma once

#include <QStringList>
#include <QTreeWidget>

#include <functional>

class QMenu;

namespace korimbo {

class FolderRegistry;

// The folder tree (left pane): the registered encrypted folders as top-level items, their directories
// below them, loaded when a branch is opened. It is also where folders are dropped to be registered.
class CTreeV : public QTreeWidget {
    Q_OBJECT

public:
    enum class ItemKind { None, TopFolder, Below };
    enum Role { kPathRole = Qt::UserRole + 1, kTopRole, kDriveTypeRole };
    static inline const QString kPlaceholder = QStringLiteral("Dummy");

    explicit CTreeV(QWidget* parent = nullptr);

    // The item under the mouse pointer, else the current item, and its kind.
    ItemKind KindUnderMouseOrCurrent() const;
    QTreeWidgetItem* ItemUnderMouseOrCurrent() const;

    // Top-level items for every registered folder, in registry order.
    void Populate(const FolderRegistry& registry);
    QTreeWidgetItem* AddFolder(const QString& path, int driveType);
    void RemoveFolder(const QString& path);
    QTreeWidgetItem* FindTop(const QString& path) const;
    // Icons follow the login state of each folder.
    void RefreshLoginState();
    // Selects the item of `path` (a registered folder or a directory below one), opening the branches on
    // the way. False when no registered folder holds the path.
    bool SelectPath(const QString& path);
    // The loaded children of the item of `path` are read again from the disk.
    void RefreshBranch(const QString& path);

    static QString PathOf(const QTreeWidgetItem* item);
    static QString TopFolderOf(const QTreeWidgetItem* item);
    // The label of a top-level folder: the path when it lies directly below its mount root, else the
    // mount root, "/…/" and the folder's own name; then the drive label text.
    static QString LabelFor(const QString& path, const QString& mountRoot, int driveType);

    // Where the tree asks about the world; set by the main window.
    std::function<QString(const QString&)> mountRootOf;
    std::function<bool(const QString&)> isLoggedIn;
    std::function<bool()> isBusy; // drops are refused while it holds
    // Runs a pop-up menu and returns the chosen command id (0: none). Tests answer it in advance.
    std::function<int(QMenu& menu, const QPoint& globalPos)> runMenu;

Q_SIGNALS:
    void FolderSelected(const QString& directory, const QString& topFolder);
    void RegisterRequested(const QString& directory);
    void ContextCommand(int id, const QString& directory);
    void FilesDropped(const QString& directory, const QStringList& paths, bool move);
    void InsideDropped(const QString& directory, const QStringList& paths, bool move);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void LoadChildren(QTreeWidgetItem* item);
    void ReloadChildren(QTreeWidgetItem* item);
    QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const QString& name);
    static void AddPlaceholderIfNeeded(QTreeWidgetItem* item);
    int RunMenu(QMenu& menu, const QPoint& globalPos);
    void ShowPopup(QTreeWidgetItem* item, const QPoint& globalPos);
};

} // namespace korimbo
