#pragma once

#include "folder/NameSearch.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace korimbo {

class CNameSearchModel;

// "名前で検索": a window beside the main window that searches the names of a logged-in folder while the
// user types. Enter (or a double click) on a row, or on the box with a row current, chooses the item; the
// main window then selects it in the tree and the contents list. The window stays open for the next one.
class CNameSearchWindow : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTypingPauseMs = 150; // the query runs once typing pauses this long
    static constexpr int kShownLimit = 1000;   // rows shown at most; the count says how many matched

    CNameSearchWindow(const CNameSearch& search, QWidget* parent);
    ~CNameSearchWindow() override;

    // The folder searched (its index built); the query runs again over it.
    void SetFolder(const QString& folder);
    QString Folder() const { return m_folder; }
    // "ログイン中のすべての暗号フォルダー": every folder whose names are built is searched, not the one alone.
    [[nodiscard]] bool EveryFolder() const;
    // The folder was logged out or released: its rows go and nothing is searched until another is set.
    void ForgetFolder(const QString& folder);
    // Runs the query of the box now (the typing pause cuts it short).
    void SearchNow();
    // Puts the focus into the box with its text selected, ready for a new query.
    void FocusQuery();

    CNameSearchModel* Model() const { return m_model; }
    QLineEdit* QueryBox() const { return m_query; }
    QTreeView* Results() const { return m_results; }
    QString CountText() const;

    // The item chosen; the main window selects it.
    std::function<void(const NameHit& hit)> choose;
    // Every folder was chosen: the main window builds the names of the logged-in folders it lacks.
    std::function<void()> everyFolderChosen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void ChooseCurrent();
    void ChooseRow(int row);
    void ShowCount();
    void ShowScope();
    [[nodiscard]] int CurrentRow() const;

    const CNameSearch& m_search;
    CNameSearchModel* m_model = nullptr;
    QString m_folder;
    QLabel* m_scope = nullptr;
    QCheckBox* m_everyFolder = nullptr;
    QLineEdit* m_query = nullptr;
    QTreeView* m_results = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_choose = nullptr;
    QPushButton* m_close = nullptr;
    QTimer m_typingPause;
};

} // namespace korimbo
