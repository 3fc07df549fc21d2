#pragma once

#include "ui/CommandIds.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class QAction;
class QKeyEvent;
class QMenu;
class QObject;

namespace korimbo {

// Which pane must hold the keyboard focus for a command to apply.
enum class FocusRule {
    kAnywhere,
    kListOrTree, // item commands: the contents list's selection or the tree's item
    kNotList,    // folder commands: anywhere but the contents list
};

// Where the running program offers a command.
enum class Placement {
    kMenus,      // the menu bar, the toolbar or an accelerator (and maybe a pop-up too)
    kPopup,      // a pop-up menu only
    kNotInMenus, // handled with its enabling rule, offered by no menu, button or key of the running program
};

// The window whose commands a row is.
enum class CommandOwner { kMainWindow, kTakeOutWindow };

// What a pop-up is opened on, as its widget sees it. Which entries a pop-up has and which of them are
// enabled is decided by the table from this alone.
struct PopupContext {
    enum class Pane {
        kContentsItems, // the contents list's selection
        kContentsArea,  // the contents list beside its rows
        kTree,          // an item of the folder tree
        kDecryptedRows, // the decrypted-file list's selection
        kDecryptedArea, // the decrypted-file list beside its rows
        kTakeOut,       // the take-out window's icons
    };
    Pane pane = Pane::kContentsArea;
    int selected = 0;        // the rows the pop-up acts on
    int plainFiles = 0;      // of them, the plain files
    int folders = 0;         // of them, the folders
    bool topFolder = false;  // the tree's item is a registered folder itself
    bool loggedIn = false;   // the tree's item belongs to a logged-in folder
    bool pasteAllowed = false;
    bool pasteEncrypts = false; // a paste would encrypt files from the file manager
    bool newItems = false;      // the list offers the submenu "新規作成(&W)"
    bool dragOnly = false;      // the take-out window lets its items go by drag only
};

// The fixed part of a row: what the user sees and where it is offered.
struct CommandRow {
    int id = 0;
    const char16_t* text = u"";       // with its accelerator; in the menu bar "\t" and the key follow
    FocusRule focus = FocusRule::kAnywhere;
    Placement placement = Placement::kMenus;
    bool checkable = false;
    bool whileBusy = false;           // stays available while the window is busy (stop)
    int count = 1;                    // a range of ids from `id` (the programs, the new-file types)
    CommandOwner owner = CommandOwner::kMainWindow;
    bool (*popupRule)(const PopupContext&) = nullptr; // whether its pop-up entry is enabled; null: always
};

// One top menu of the menu bar: its title and entries (command ids, kSeparator, kViewStyleMenu, kNewItemsMenu).
struct MenuLayout {
    QString title;
    QList<int> ids;
};

struct ToolButtonRow {
    int id = 0;
    const char* themeIcon = nullptr;
    const char* ownIcon = nullptr;
    const char16_t* toolTip = u"";
    const char16_t* accessibleName = u"";
};

struct AcceleratorRow {
    QKeySequence keys;
    int id = 0;
    bool permanent = false; // Shift+Delete deletes for good
};

// The command table: one row per command with its text, focus rule, placement, enabling rule and work.
// The menu bar, the toolbar, the accelerators and the pop-ups are built from the rows; a command runs only
// through Run, which asks the row's rule first. Each window binds the rows it owns.
class CCommandTable {
public:
    using Predicate = std::function<bool()>;
    using Handler = std::function<void(int id)>;

    static constexpr int kSeparator = 0;
    static constexpr int kViewStyleMenu = -1; // the submenu "表示(&V)" of the view menu
    static constexpr int kNewItemsMenu = -2;  // the submenu "新規作成(&W)"
    static constexpr int kOpenWithMenu = -3;  // the submenu "プログラムから開く(&W)" of the contents list
    // Fills a pop-up's submenu marker (kNewItemsMenu, kOpenWithMenu) into the menu given.
    using SubmenuFiller = std::function<void(QMenu& menu, int marker)>;

    explicit CCommandTable(CommandOwner owner) : m_owner(owner) {}

    // ---- the fixed rows ----
    static const QList<CommandRow>& Rows();
    // The row of `id`, also an id within a row's range; null for an unknown id.
    static const CommandRow* Row(int id);
    // The menu bar's text, and a pop-up's (without the key after the tab).
    static QString Text(int id);
    static QString PopupText(int id);
    // Adds `id`'s pop-up entry to `menu`; the entry's data is the id.
    static QAction* AddEntry(QMenu& menu, int id);
    // An entry named from the user's data (a program, a file type): "&1 name", then "&A name"..., the
    // letters in `reserved` left to the fixed entries of its menu.
    static QString NumberedText(int index, const QString& name, const QString& reserved);
    // The entries of the pop-up opened on `context`: command ids, kSeparator and submenu markers.
    static QList<int> PopupLayout(const PopupContext& context);
    // Whether `id`'s pop-up entry is enabled on `context`.
    static bool PopupEnabled(int id, const PopupContext& context);
    // Builds the pop-up of `context` into `menu`, entries enabled by their rows' pop-up rules.
    static void FillPopup(QMenu& menu, const PopupContext& context, const SubmenuFiller& submenu = {});
    static QList<MenuLayout> MenuBar();
    static QList<ToolButtonRow> ToolBar(); // id kSeparator: a separator
    static QList<AcceleratorRow> Accelerators();
    // The keys that open the pop-up of the focused item: the Menu key and Shift+F10.
    static bool IsPopupKey(const QKeyEvent& event);

    // ---- the window's rows ----
    // The enabling rule and the work of a row; `checked` for the rows with a check mark.
    void Bind(int id, Predicate enabled, Handler handler, Predicate checked = {});
    // The work of a pop-up entry where it differs from the menu bar's: the pop-up enabled its own entries.
    void BindPopup(int id, Handler handler);
    bool HasRule(int id) const;
    bool HasHandler(int id) const;
    // The rows of this window that are not bound (empty once the window is built).
    QList<int> Unbound() const;

    // The busy gate and the focus: set by the window.
    std::function<bool()> isBusy;
    std::function<bool(FocusRule)> focusHolds;

    [[nodiscard]] bool IsEnabled(int id) const;
    // Runs `id` when its rule allows it; false when it did not run.
    bool Run(int id);
    // Runs a pop-up's chosen entry: its pop-up work, else the row's work under its rule.
    bool RunPopup(int id);

    // One action per row of this window (not the ranges), whose trigger hands its id to `trigger`.
    void MakeActions(QObject* parent, const std::function<void(int id)>& trigger);
    QAction* Action(int id) const { return m_actions.value(id); }
    const QHash<int, QAction*>& Actions() const { return m_actions; }
    // Every action's enabled state and check mark from the rules.
    void UpdateStates();

private:
    struct Binding {
        Predicate enabled;
        Handler handler;
        Predicate checked;
        Handler popup;
    };
    int RowId(int id) const;

    CommandOwner m_owner;
    QHash<int, Binding> m_bindings; // by the row's first id
    QHash<int, QAction*> m_actions;
};

} // namespace korimbo
