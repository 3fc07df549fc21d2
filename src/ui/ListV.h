#pragma once

#include <QIdentityProxyModel>
#include <QStringList>
#include <QWidget>

#include <functional>

class QLineEdit;
class QListView;
class QMenu;
class QTreeView;
class QDropEvent;

namespace korimbo {

class CContentsModel;
struct PopupContext;
struct SettingsRecord;

// The contents model with the icons of its rows: the desktop's icon for the type of a file's name, the
// folder icon for folders, and a plain document icon where the icon theme has none.
class ContentsIcons : public QIdentityProxyModel {
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
    // The row drawn highlighted while files are dragged over it (-1: none).
    void SetDropRow(int row);
    int DropRow() const { return m_dropRow; }
    // The name column is edited in place: the editor starts from the shown name, and what it ends with is
    // handed on (the rename itself happens elsewhere; the rows are listed again afterwards).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

Q_SIGNALS:
    void NameEdited(int row, const QString& shown, const QString& typed);

private:
    int m_dropRow = -1;
};

// The folder contents list (middle pane): the rows of the contents model in a report (details view, a
// QTreeView with the five visible columns) or as large icons (a QListView over the same model and the same
// selection). It is also where files from a file manager are dropped to be encrypted in.
class CListV : public QWidget {
    Q_OBJECT

public:
    explicit CListV(QWidget* parent = nullptr);

    // The model whose rows are shown, and the settings the column widths come from and go back to.
    void SetModel(CContentsModel* model, SettingsRecord* settings);
    CContentsModel* Model() const { return m_model; }

    int SelectedCount() const;
    bool SelectionHasPlainFile() const;
    bool SelectionHasDirectory() const;
    QList<int> SelectedRows() const;
    QStringList SelectedPaths() const;
    void SelectAll();
    // Selects one row alone, makes it current and gives the list the focus.
    void SelectRow(int row);
    // Starts the in-place rename of `row`'s name in the view on show.
    void BeginRename(int row);
    // The editor of a rename in progress, or null.
    QLineEdit* RenameEditor() const;
    // The text of status pane 0 when idle: the model's status text, or the idle prompt without a model.
    QString SelectionSummary() const;
    // 0 icons, 2 details (anything else shows as details).
    void SetViewStyle(int dispMode);
    int ViewStyle() const { return m_style; }
    // The column widths from the settings (columns 5 to 10 stay hidden).
    void ApplyColumnWidths();

    QTreeView* Details() const { return m_details; }
    QListView* Icons() const { return m_icons; }
    // The row the drop highlight is on, or -1.
    int DropRow() const { return m_iconModel ? m_iconModel->DropRow() : -1; }

    static QString IdlePrompt();
    // The pop-up of the current row, as the Menu key and Shift+F10 open it: at the row, on the selection
    // (the current row alone when it is not selected); without a current row, the pop-up of the empty area.
    void ShowKeyboardPopup();

    // Runs a pop-up menu and returns the chosen command id (0: none). Tests answer it in advance.
    std::function<int(QMenu& menu, const QPoint& globalPos)> runMenu;
    // Whether a paste would encrypt files from the file manager, and whether one is possible at all.
    std::function<bool()> isBusy; // drops are refused while it holds
    std::function<bool()> pasteEncrypts;
    std::function<bool()> pasteEnabled;
    // The display names of the programs offered for a file's name (the first is the default).
    std::function<QStringList(const QString& name)> programsFor;
    // Adds the submenu "新規作成(&W)" to the pop-up of the list's empty area.
    std::function<void(QMenu& menu)> addNewMenu;


Q_SIGNALS:
    // A double click on a row.
    void OpenRequested(int row);
    // Files from a file manager dropped on the list: into the folder row under the drop point, else into
    // the shown directory.
    void FilesDropped(const QString& destination, const QStringList& paths, bool move);
    // A command of the list's pop-up menu (paste, encrypt the selected plain files).
    void PopupCommand(int id);
    void SelectionChanged();
    // The selected rows were dragged (left or right button) beyond the drag distance: a drag out begins.
    void DragOutRequested(Qt::MouseButton button);
    // An in-place rename ended with `typed` (the editor started from `shown`).
    void RenameEdited(int row, const QString& shown, const QString& typed);
    // Items dragged inside the program dropped on the list, with "ここにコピー(&C)" or "ここに移動(&M)":
    // into the folder row under the drop point, else into the shown directory.
    void InsideDropped(const QString& destination, const QStringList& paths, bool move);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void HandleDrag(QEvent* event);
    void HandleDrop(QWidget* viewport, QDropEvent* event);
    void ShowPopup(const QPoint& globalPos);
    void ShowPopupAt(int row, const QPoint& globalPos);
    PopupContext PopupContextAt(int row) const;
    void AddOpenWithMenu(QMenu& menu, const QString& name);
    bool HandleMouse(QObject* viewport, QEvent* event);
    bool HandleViewKeys(QEvent* event);
    int RowAt(const QPoint& viewportPos) const;
    QWidget* CurrentView() const;
    int RunMenu(QMenu& menu, const QPoint& globalPos);
    void StoreColumnWidth(int column, int width);

    CContentsModel* m_model = nullptr;
    ContentsIcons* m_iconModel = nullptr;
    SettingsRecord* m_settings = nullptr;
    QTreeView* m_details = nullptr;
    QListView* m_icons = nullptr;
    int m_style = 0;
    // A press on a row that may become a drag out; the pop-up of a right press waits for its release.
    struct Press {
        Qt::MouseButton button = Qt::NoButton;
        QPoint position;
        bool menuPending = false;
        QPoint menuPosition;
    } m_press;
};

} // namespace korimbo
