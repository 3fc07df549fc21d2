#pragma once

#include "ui/CommandTable.h"
#include "workspace/TakeOut.h"

#include <QDialog>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace korimbo {

class Interaction;

// The take-out window ("取り出し"): the staged items as icons to drag onto a file manager or a mail
// message, or to copy or move into a folder chosen in a folder dialog. Kinds 4 and 5 only drag.
class CD01TakeOut : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 330;
    static constexpr int kDragOnlyShorter = 60;

    CD01TakeOut(const TakeOutWindowRequest& request, CTakeOut& takeOut, QWidget* parent = nullptr);
    TakeOutPrompts::WindowResult Run();

    // The folder dialog of copy and move ("項目のコピー" / "項目の移動"); empty when cancelled. Tests and
    // the real dialog answer through DialogHook.
    QString ChooseFolder(bool move);
    // The paths a drag from the icon list hands over: the selected icons, or all of them.
    QStringList DragPaths() const;
    // Starts the drag of the icon list (left or right button), as a person pulling the icons out.
    void StartDrag();
    // The icon list's pop-up: copy or move to a chosen folder. At `globalPos`, or for the Menu key and
    // Shift+F10 at the current icon.
    void ShowPopup(const QPoint& globalPos);
    void ShowKeyboardPopup();

    QListWidget* Icons() const { return m_icons; }
    QLabel* Text() const { return m_text; }
    QPushButton* CopyButton() const { return m_copy; }
    QPushButton* MoveButton() const { return m_move; }
    QPushButton* CancelButton() const { return m_cancel; }
    TakeOutPrompts::WindowResult Result() const { return m_result; }

private:
    void CopyOrMove(bool move);
    void BindCommands();
    PopupContext Context() const;

    TakeOutWindowRequest m_request;
    CTakeOut& m_takeOut;
    QListWidget* m_icons;
    QLabel* m_text;
    QPushButton* m_copy;
    QPushButton* m_move;
    QPushButton* m_cancel;
    TakeOutPrompts::WindowResult m_result = TakeOutPrompts::WindowResult::kCancelled;
    CCommandTable m_table{CommandOwner::kTakeOutWindow};
};

} // namespace korimbo
