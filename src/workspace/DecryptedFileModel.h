#pragma once

#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <functional>

namespace korimbo {

// One row of the decrypted-file list: a working copy found in the editing area.
struct DecryptedItem {
    QString displayName; // column 0: with or without extension, by TitleMode
    bool changed = true; // column 1: differs from its container, or has none
    QString fileName;    // column 2: the name with extension
    QString fullPath;    // column 3: the row's key
    bool seen = false;   // column 4: mark of the rebuild in progress
    QString container;   // column 5: the container, or empty
};

// The working copies of the selected folder's editing area ("Ac"), rebuilt from the disk by mark and
// sweep so that copies left by an earlier run are listed too. Qt Core only: the list view paints the
// changed rows (kChangedRole) and the icons.
class CDecryptedFileModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        kDisplayName, // "復号中ファイル"
        kState,       // "状態" (hidden): "1" changed or no container, "0" unchanged
        kFileName,    // "ファイル名" (hidden)
        kFullPath,    // "フルパス" (hidden)
        kCheck,       // "チェック" (hidden): "1" seen in the rebuild in progress
        kContainer,   // "暗号ファイルパス" (hidden)
        kColumnCount
    };
    static constexpr int kVisibleColumns = 1;
    enum Role {
        kChangedRole = Qt::UserRole + 1, // bool: drawn blue on light grey
        kFileNameRole,                   // QString
        kFullPathRole,                   // QString
        kContainerRole,                  // QString
    };

    CDecryptedFileModel(const FolderRegistry& registry, const WorkFolderSettings& workFolder,
                        const SettingsRecord& settings, QObject* parent = nullptr);

    // Where the model asks about copies; the window fills them from the working copies. Without
    // `containerOf` no copy has a container; without `isChanged` the last-write times are compared.
    std::function<QString(const QString& copy)> containerOf;
    std::function<bool(const QString& copy, const QString& container)> isChanged;

    // Points the list at the editing area of `folder` (an encrypted folder's path; empty: none). A missing
    // area clears the rows, stops watching and gives false; the same area again changes nothing.
    [[nodiscard]] bool SetDirectory(const QString& folder);
    // The watched editing area, or empty.
    QString Directory() const { return m_directory; }
    QString Folder() const { return m_folder; }
    // Asks the watcher for a rebuild at its next round.
    void RequestRefresh();
    // Mark and sweep over the editing area: new copies are appended, the rows of existing ones keep their
    // place and get their container and state again, rows of vanished copies are removed. False when the
    // area could not be read to the end (the unseen rows then stay); nothing is shown.
    [[nodiscard]] bool Rebuild();
    void Clear();
    // The names shown again after the extension display of the settings changed; no disk access.
    void RefreshDisplay();

    // Whether a file has a container in its folder (CWorkingCopies::ContainerOf).
    using ContainerTest = std::function<bool(const QString& file)>;
    // The one rule of what a working copy is: any file, dot files too, but the lock, swap, backup and
    // temporary files of editors and our own scratch files (IsEditorScratchName), unless `hasContainer`
    // says the name is a container's. Without it, such names are never copies.
    static bool IsCopyName(const QString& file, const ContainerTest& hasContainer = {});
    // Every working copy below `directory`, subdirectories descended, in name order. False when a
    // directory cannot be read.
    static bool CollectCopies(const QString& directory, QStringList& files, const ContainerTest& hasContainer = {});
    // Whether the area `directory` holds a working copy; one that cannot be read counts as holding one.
    static bool HasCopies(const QString& directory);

    const DecryptedItem& Item(int row) const { return m_items[row]; }
    // The row of a working copy, or -1.
    int RowOf(const QString& fullPath) const;
    QStringList FullPaths(const QList<int>& rows) const;
    QStringList Containers(const QList<int>& rows) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The area to watch from now on (empty: none); the watcher follows it.
    void directoryChanged(const QString& area);
    void refreshRequested();

private:
    QString DisplayNameOf(const QString& fileName) const;
    QString ContainerOf(const QString& copy) const;
    bool Changed(const QString& copy, const QString& container) const;
    QString ToolTipOf(const DecryptedItem& item) const;

    const FolderRegistry& m_registry;
    const WorkFolderSettings& m_workFolder;
    const SettingsRecord& m_settings;
    QString m_folder;
    QString m_directory;
    QList<DecryptedItem> m_items;
};

} // namespace korimbo
