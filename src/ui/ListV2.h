#pragma once

#include <QIdentityProxyModel>
#include <QTreeView>

#include <functional>

class QMenu;

namespace korimbo {

class CDecryptedFileModel;

// The working copies with their icons and the colours of changed rows (blue on light grey).
class DecryptedColours : public QIdentityProxyModel {
    Q_OBJECT

public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

// The decrypted-file list (right pane): the working copies of the folder selected in the tree. Its pop-up
// writes copies back, or goes to a copy's container.
class CListV2 : public QTreeView {
    Q_OBJECT

public:
    explicit CListV2(QWidget* parent = nullptr);

    void SetModel(CDecryptedFileModel* model);
    CDecryptedFileModel* Model() const { return m_model; }
    QList<int> SelectedRows() const;
    int RowCount() const;

    // Runs a pop-up menu and returns the chosen command id (0: none). Tests answer it in advance.
    std::function<int(QMenu& menu, const QPoint& globalPos)> runMenu;

Q_SIGNALS:
    void PopupCommand(int id);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowPopup(const QModelIndex& at, const QPoint& globalPos);

    CDecryptedFileModel* m_model = nullptr;
};

} // namespace korimbo
