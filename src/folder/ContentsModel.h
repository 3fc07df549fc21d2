#pragma once

#include "folder/NameFile.h"
#include "state/SettingsFile.h"
#include "util/OpResult.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <QElapsedTimer>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace korimbo {

// One row of the contents list: the texts of its eleven columns, the hidden ones included, except the full
// path (column 8), which is made when asked for: a large directory holds many rows, and its path would
// otherwise be copied into each of them.
struct ContentsItem {
    std::array<QString, 11> texts;
    // The name whose extension chooses the row's icon and type (the display name of a container, the
    // disk name of a plain file); empty for a folder.
    QString typeName;
    QString directory; // one string shared by every row of a listing
    QString diskName;

    bool IsFolder() const;    // column 10 is "1"
    bool IsPlainFile() const; // column 9 is "1"
    QString FullPath() const { return directory + u'/' + diskName; }
    // The text of a column, the full path included.
    QString Text(int column) const;
};

// The contents of the directory shown in the middle pane: one row per folder, container and plain file,
// built from the directory's name file, kept in the list's sort order, and brought up to date
// incrementally when the directory changes. Qt Core only; the list view shows it.
class CContentsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        kName,         // "名前"
        kSize,         // "元のサイズ"
        kType,         // "種類"
        kModified,     // "更新日時"
        kEncrypted,    // "暗号化日時"
        kDiskTime,     // "更新日時" (hidden): yyyyMMddhhmmss of the disk entry
        kState,        // "状態" (hidden)
        kOriginalName, // "元ﾌｧｲﾙ名" (hidden)
        kFullPath,     // "ﾌﾙﾊﾟｽ" (hidden)
        kPlain,        // "非暗号" (hidden): "1" plain file, "0" container, "" folder
        kFolderFlag,   // "ﾌｫﾙﾀﾞ識別" (hidden): "1" folder
        kColumnCount
    };
    static constexpr int kVisibleColumns = 5;
    enum Role {
        kFolderRole = Qt::UserRole + 1, // bool
        kPlainRole,                     // bool
        kFullPathRole,                  // QString
        kTypeNameRole,                  // QString: ContentsItem::typeName
    };

    CContentsModel(CNameFile& nameFile, CCryptEngine& engine, const SettingsRecord& settings, Interaction& ui,
                   MessageSource& messages, QObject* parent = nullptr);

    // Where the model asks about the world; set by its owner.
    std::function<QString(const QString& extension)> typeNameOf; // the desktop's name of a type, or empty
    // Free bytes of the volume, or -1. Called on a thread of its own (a dead network mount can block it
    // for good), after a listing and after an update: never from StatusText.
    std::function<qint64(const QString& path)> freeSpaceOf;
    std::function<void(bool)> busy;                              // around a full listing

    // Full listing of `directory` with the key of its folder: refresh the name file, then one row per
    // entry, sorted by the current sort column. kFailed when shown; the list then stays empty.
    OpResult ListFolder(const QString& directory, const QString& key);
    // Brings the rows of the shown directory up to date with the disk: changed entries are replaced,
    // new ones inserted, vanished ones removed. Cheap when nothing changed. kFailed when shown.
    OpResult UpdateList();
    // No directory shown.
    void Clear();
    // The names shown again after the extension display of the settings changed; no disk access.
    void RefreshDisplay();
    QString Directory() const { return m_directory; }
    QString Key() const { return m_key; }

    // A click on the header of `column`: its direction flips, the others are reset, the rows are sorted.
    void SortByColumn(int column);
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const;

    const ContentsItem& Item(int row) const { return m_items[row]; }
    // The row whose column 8 is `fullPath`, or -1.
    int RowOf(const QString& fullPath) const;
    // The tool tip of a row.
    QString ItemTip(int row) const;
    // Status pane 0: the idle text with no directory shown, else the selection count or the item count
    // with the free space once it has been read.
    QString StatusText(int selectedCount) const;
    // Reads the free space of the shown directory's volume again, off this thread.
    void RequestFreeSpace();
    // The free bytes last read for the shown directory, -1 while none has been read.
    qint64 FreeSpace() const;
    static constexpr int kFreeSpaceLimitMs = 3000;
    // "名前", "元のサイズ", ... of the eleven columns.
    static QString ColumnTitle(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    int FillList(const QString& directory, const QString& key);
    // Refreshes and loads the name file of the shown directory; without an owning root there is none.
    // `enumerated`: the directory's entries just read, which the refresh may use instead of its own.
    int LoadIndex(bool& withNameFile, NameIndex& index, QList<DiskEntry>* enumerated = nullptr);
    // The name-file entry of a file, or its header read directly when the directory has no name file; an
    // entry of the index is moved out (each disk entry asks once).
    int EntryOf(const DiskEntry& disk, NameIndex& index, bool withNameFile, NameEntry& entry);
    ContentsItem FolderItem(const DiskEntry& disk) const;
    ContentsItem FileItem(const DiskEntry& disk, const NameEntry& entry) const;
    // The desktop's name of the name's type, else "ファイル" or "EXT ファイル"; `known` says which.
    QString TypeNameOf(const QString& name, bool* known) const;
    // A container's plain name as the list shows it: a known extension is left out when the settings say so.
    QString ContainerNameShown(const QString& plainName) const;
    QString ContainerNameShown(const QString& plainName, bool knownType) const;
    // A fingerprint of every listed entry (name and disk time; hidden ones left out), sorted: an update
    // compares it to see whether anything changed, at eight bytes an entry.
    std::vector<std::size_t> DiskStateOf(const QList<DiskEntry>& disk, PumpPacer& pacer) const;
    QList<DiskEntry> ListedEntries(bool withNameFile) const;
    // The rows of the entries listed; the files without a line are named in `unread`.
    QList<ContentsItem> RowsOf(const QList<DiskEntry>& disk, NameIndex& index, bool withNameFile,
                               QStringList& unread);
    bool Before(const ContentsItem& a, const ContentsItem& b) const;
    void SortRows(QList<ContentsItem>& rows);
    void Resort();
    // Moves a row whose sort key changed to its place among the others, which are in order.
    void MoveIntoPlace(int row);

    CNameFile& m_nameFile;
    CCryptEngine& m_engine;
    const SettingsRecord& m_settings;
    Interaction& m_ui;
    MessageSource& m_messages;
    QList<ContentsItem> m_items;
    std::vector<std::size_t> m_diskState; // of every listed entry at the last listing
    QString m_directory;
    QString m_key;
    int m_sortColumn = 0;
    std::array<bool, kColumnCount> m_ascending{};
    struct CachedType {
        QString text; // the desktop's name of the type, else "EXT ファイル"
        bool known = false;
    };
    mutable QHash<QString, CachedType> m_typeCache; // by extension
    // A free-space read, shared with its thread, which may outlive the model.
    struct FreeSpaceRead {
        QString directory;
        std::atomic<qint64> bytes{-1};
        std::atomic<bool> done{false};
        qint64 shown = -1; // what is shown until this read is done
        QElapsedTimer started;
    };
    std::shared_ptr<FreeSpaceRead> m_freeRead;
};

} // namespace korimbo
