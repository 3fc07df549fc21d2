#include "folder/ContentsModel.h"

#include "util/BusySection.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PumpPacer.h"

#include <QSet>

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

namespace korimbo {

namespace {

const QString kFolderType = QStringLiteral("ファイル フォルダー");
const QString kIdleText = QStringLiteral("\u3000");

// "20240102030405" as "2024/01/02 03:04:05".
QString ShownTime(const QString& digits) {
    if (digits.size() < 14)
        return digits;
    return digits.left(4) + u'/' + digits.mid(4, 2) + u'/' + digits.mid(6, 2) + u' ' + digits.mid(8, 2) + u':' +
           digits.mid(10, 2) + u':' + digits.mid(12, 2);
}

// The extension with its dot ("report.txt" → ".txt"), or empty.
QString ExtensionOf(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

// Sorting compares about n log n times: the clock is looked at only every so many comparisons.
constexpr int kComparesPerTick = 1024;

} // namespace

bool ContentsItem::IsFolder() const {
    return texts[CContentsModel::kFolderFlag] == u'1';
}

bool ContentsItem::IsPlainFile() const {
    return texts[CContentsModel::kPlain] == u'1';
}

QString ContentsItem::Text(int column) const {
    return column == CContentsModel::kFullPath ? FullPath() : texts[column];
}

CContentsModel::CContentsModel(CNameFile& nameFile, CCryptEngine& engine, const SettingsRecord& settings,
                               Interaction& ui, MessageSource& messages, QObject* parent)
    : QAbstractTableModel(parent), m_nameFile(nameFile), m_engine(engine), m_settings(settings), m_ui(ui),
      m_messages(messages) {}

QString CContentsModel::ColumnTitle(int column) {
    static const QString titles[kColumnCount] = {
        QStringLiteral("名前"),     QStringLiteral("元のサイズ"), QStringLiteral("種類"),
        QStringLiteral("更新日時"), QStringLiteral("暗号化日時"), QStringLiteral("更新日時"),
        QStringLiteral("状態"),     QStringLiteral("元ﾌｧｲﾙ名"),   QStringLiteral("ﾌﾙﾊﾟｽ"),
        QStringLiteral("非暗号"),   QStringLiteral("ﾌｫﾙﾀﾞ識別")};
    return column >= 0 && column < kColumnCount ? titles[column] : QString();
}

QString CContentsModel::TypeNameOf(const QString& name, bool* known) const {
    // Made once per extension and shared by every row of that type.
    const QString extension = ExtensionOf(name);
    auto cached = m_typeCache.constFind(extension);
    if (cached == m_typeCache.constEnd()) {
        const QString desktopName = typeNameOf && !extension.isEmpty() ? typeNameOf(extension) : QString();
        QString text = desktopName;
        if (text.isEmpty())
            text = extension.isEmpty() ? QStringLiteral("ファイル") : extension.mid(1).toUpper() + QStringLiteral(" ファイル");
        cached = m_typeCache.insert(extension, {text, !desktopName.isEmpty()});
    }
    if (known)
        *known = cached.value().known;
    return cached.value().text;
}

ContentsItem CContentsModel::FolderItem(const DiskEntry& disk) const {
    ContentsItem item;
    item.texts[kName] = ShownName(disk.name);
    item.texts[kType] = kFolderType;
    item.texts[kModified] = ShownTime(disk.time);
    item.texts[kDiskTime] = disk.time;
    item.texts[kOriginalName] = item.texts[kName];
    item.directory = m_directory;
    item.diskName = disk.name;
    item.texts[kFolderFlag] = QStringLiteral("1");
    return item;
}

ContentsItem CContentsModel::FileItem(const DiskEntry& disk, const NameEntry& entry) const {
    ContentsItem item;
    item.texts[kDiskTime] = disk.time;
    item.directory = m_directory;
    item.diskName = disk.name;
    item.texts[kFolderFlag] = QStringLiteral("0");
    if (entry.kind != NameEntry::kContainer) {
        // A name that is not text is shown with its odd bytes as "%XX"; the full path keeps them.
        item.texts[kName] = ShownName(disk.name);
        item.texts[kOriginalName] = item.texts[kName];
        item.texts[kPlain] = QStringLiteral("1");
        item.typeName = item.texts[kName];
        return item;
    }
    bool known = false;
    item.texts[kType] = TypeNameOf(entry.displayName, &known);
    item.texts[kName] = ContainerNameShown(entry.displayName, known);
    item.texts[kSize] = KilobyteColumnText(entry.plainSize);
    item.texts[kModified] = entry.modifiedAt;
    item.texts[kEncrypted] = entry.encryptedAt;
    item.texts[kOriginalName] = entry.displayName;
    item.texts[kPlain] = QStringLiteral("0");
    item.typeName = entry.displayName;
    return item;
}

QString CContentsModel::ContainerNameShown(const QString& plainName) const {
    bool known = false;
    TypeNameOf(plainName, &known);
    return ContainerNameShown(plainName, known);
}

QString CContentsModel::ContainerNameShown(const QString& plainName, bool knownType) const {
    if (!knownType || m_settings.titleMode != 0)
        return plainName;
    return plainName.left(plainName.lastIndexOf(u'.'));
}

void CContentsModel::RefreshDisplay() {
    for (int row = 0; row < m_items.size(); ++row) {
        ContentsItem& item = m_items[row];
        if (item.texts[kPlain] != QStringLiteral("0"))
            continue;
        const QString shown = ContainerNameShown(item.texts[kOriginalName]);
        if (shown == item.texts[kName])
            continue;
        item.texts[kName] = shown;
        Q_EMIT dataChanged(index(row, kName), index(row, kName));
    }
    Resort();
}

int CContentsModel::EntryOf(const DiskEntry& disk, NameIndex& index, bool withNameFile, NameEntry& entry) {
    if (withNameFile) {
        const auto found = index.find(disk.name);
        if (found == index.end())
            return -1;
        // Taken out, so that its strings go with the row made of it, a step at a time, and the index is
        // cheap to free in one go.
        entry = std::move(found.value());
        return 0;
    }
    return m_nameFile.EntryFromDisk(m_directory, disk, m_key, entry);
}

int CContentsModel::LoadIndex(bool& withNameFile, NameIndex& index, QList<DiskEntry>* enumerated) {
    index.clear();
    // A directory in no registered folder (already reported) has no name file; neither has one whose
    // folder has no work area (reported by NameFilePath).
    withNameFile = !m_nameFile.OwningRoot(m_directory).isEmpty() &&
                   !m_nameFile.IsWithoutNameFile(m_nameFile.NameFilePath(m_directory));
    if (!withNameFile)
        return 0;
    QList<NameEntry> entries;
    if (enumerated)
        m_nameFile.OfferEntries(m_directory, std::move(*enumerated));
    if (m_nameFile.RefreshNameFile(m_directory, m_key) != 0 ||
        m_nameFile.LoadNameEntries(m_directory, m_key, false, entries) != 0)
        return -1;
    PumpPacer pacer(m_ui);
    index = IndexByDiskName(std::move(entries), pacer);
    return 0;
}

// Name and time of every entry; the directory is the same for all, so it is left out.
std::vector<std::size_t> CContentsModel::DiskStateOf(const QList<DiskEntry>& disk, PumpPacer& pacer) const {
    std::vector<std::size_t> state;
    state.reserve(static_cast<std::size_t>(disk.size()));
    for (const DiskEntry& entry : disk) {
        if (!entry.hidden)
            state.push_back(qHashMulti(0, entry.name, entry.time));
        static_cast<void>(pacer.Tick());
    }
    std::sort(state.begin(), state.end());
    return state;
}

// The entries to list: those the refresh just gave lines to, so that every listed file has one.
QList<DiskEntry> CContentsModel::ListedEntries(bool withNameFile) const {
    if (!withNameFile) {
        PumpPacer pacer(m_ui);
        return ReadDirectory(m_directory, true, &pacer);
    }
    QList<DiskEntry> entries = m_nameFile.TakeEntriesSeen(m_directory);
    entries.removeIf([](const DiskEntry& entry) { return entry.hidden; });
    return entries;
}

OpResult CContentsModel::ListFolder(const QString& directory, const QString& key) {
    const BusySection section(busy);
    return FillList(directory, key) == 0 ? OpResult::kDone : OpResult::kFailed;
}

int CContentsModel::FillList(const QString& directory, const QString& key) {
    // The old rows go at once: the window is pumped while the new ones are made, and shows an empty list
    // meanwhile rather than rows of another directory.
    beginResetModel();
    m_items.clear();
    m_diskState.clear();
    m_typeCache.clear();
    m_directory = directory;
    m_key = key;
    endResetModel();

    bool withNameFile = false;
    NameIndex index;
    if (m_nameFile.OwningRoot(directory).isEmpty())
        ReportMessage(m_ui, m_messages, msg::kOutsideRegistered, directory, Icon::Warning);
    if (LoadIndex(withNameFile, index) != 0) {
        m_ui.SetStatusText(QString());
        return -1;
    }

    QList<DiskEntry> disk = ListedEntries(withNameFile);
    QStringList unread;
    QList<ContentsItem> rows = RowsOf(disk, index, withNameFile, unread);
    PumpPacer pacer(m_ui);
    ReleasePaced(index, pacer);
    m_ascending.fill(false);
    m_ascending[m_sortColumn] = true;
    SortRows(rows);
    std::vector<std::size_t> state = DiskStateOf(disk, pacer);
    beginResetModel();
    m_items = std::move(rows);
    m_diskState = std::move(state);
    endResetModel();
    ReleasePaced(disk, pacer);
    m_ui.SetStatusText(QString());
    RequestFreeSpace();
    if (!unread.isEmpty())
        ReportMessage(m_ui, m_messages, msg::kNoNameFileLine, QStringLiteral("\n\n") + unread.join(u'\n'));
    return 0;
}

QList<ContentsItem> CContentsModel::RowsOf(const QList<DiskEntry>& disk, NameIndex& index, bool withNameFile,
                                           QStringList& unread) {
    PumpPacer pacer(m_ui);
    QList<ContentsItem> rows;
    rows.reserve(disk.size());
    for (const DiskEntry& entry : disk)
        if (entry.isFolder)
            rows.append(FolderItem(entry));
    // A file the refresh could not read (gone meanwhile, not ours to open) has no line: it is left out
    // and named, the rest is listed. Without a name file it is left out silently, as before.
    for (const DiskEntry& entry : disk) {
        if (pacer.Tick())
            m_ui.SetStatusText(ReadingProgressText(m_messages, rows.size(), disk.size()));
        if (entry.isFolder)
            continue;
        NameEntry found;
        if (EntryOf(entry, index, withNameFile, found) == 0)
            rows.append(FileItem(entry, found));
        else if (withNameFile)
            unread.append(ShownName(m_directory + u'/' + entry.name));
    }
    return rows;
}

void CContentsModel::Clear() {
    beginResetModel();
    m_items.clear();
    m_diskState.clear();
    m_directory.clear();
    m_freeRead.reset();
    m_key.clear();
    endResetModel();
}

bool CContentsModel::SortAscending() const {
    return m_ascending[m_sortColumn];
}

bool CContentsModel::Before(const ContentsItem& a, const ContentsItem& b) const {
    // Ascending: folders first, then the column's texts by code unit; descending is the exact reverse.
    const bool ascending = m_ascending[m_sortColumn];
    const ContentsItem& first = ascending ? a : b;
    const ContentsItem& second = ascending ? b : a;
    const bool firstFolder = first.IsFolder();
    if (firstFolder != second.IsFolder())
        return firstFolder;
    // Every row of a listing has the same directory: the full paths compare as their names do.
    if (m_sortColumn == kFullPath)
        return first.diskName < second.diskName;
    return first.texts[m_sortColumn] < second.texts[m_sortColumn];
}

// Sorting 100,000 rows takes a while: the window is pumped between comparisons. The rows are not the
// model's yet, so a view that repaints meanwhile sees nothing half sorted.
void CContentsModel::SortRows(QList<ContentsItem>& rows) {
    PumpPacer pacer(m_ui);
    int compares = 0;
    std::stable_sort(rows.begin(), rows.end(), [&](const ContentsItem& a, const ContentsItem& b) {
        if (++compares % kComparesPerTick == 0)
            static_cast<void>(pacer.Tick());
        return Before(a, b);
    });
}

void CContentsModel::SortByColumn(int column) {
    if (column < 0 || column >= kColumnCount)
        return;
    const bool ascending = !m_ascending[column];
    m_ascending.fill(false);
    m_ascending[column] = ascending;
    m_sortColumn = column;
    Resort();
}

// Sorts the rows as a layout change, so views keep their selection and current row.
void CContentsModel::Resort() {
    // The rows are only read while the order is worked out, so the window may be pumped meanwhile.
    std::vector<int> order(static_cast<std::size_t>(m_items.size()));
    std::iota(order.begin(), order.end(), 0);
    PumpPacer pacer(m_ui);
    int compares = 0;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (++compares % kComparesPerTick == 0)
            static_cast<void>(pacer.Tick());
        return Before(m_items[a], m_items[b]);
    });
    if (order.size() != static_cast<std::size_t>(m_items.size()))
        return; // changed by what the pumps let through; that change sorts again
    bool moved = false;
    for (std::size_t i = 0; i < order.size() && !moved; ++i)
        moved = order[i] != int(i);
    if (!moved)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    QList<ContentsItem> sorted;
    sorted.reserve(m_items.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newRowOf[static_cast<std::size_t>(order[i])] = int(i);
        sorted.append(m_items[order[i]]);
    }
    m_items = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

OpResult CContentsModel::UpdateList() {
    if (m_directory.isEmpty())
        return OpResult::kDone;
    PumpPacer pacer(m_ui);
    QList<DiskEntry> everything = ReadDirectory(m_directory, false, &pacer);
    if (DiskStateOf(everything, pacer) == m_diskState) {
        ReleasePaced(everything, pacer);
        return OpResult::kDone;
    }

    bool withNameFile = false;
    NameIndex index;
    if (LoadIndex(withNameFile, index, &everything) != 0) {
        m_ui.SetStatusText(QString());
        return OpResult::kFailed;
    }
    QList<DiskEntry> disk = ListedEntries(withNameFile);
    std::vector<std::size_t> state = DiskStateOf(disk, pacer);

    QHash<QString, int> rowOf;
    rowOf.reserve(m_items.size());
    for (int row = 0; row < m_items.size(); ++row) {
        rowOf.insert(m_items[row].diskName, row);
        static_cast<void>(pacer.Tick());
    }

    bool complete = true;
    QList<int> changedRows;
    QList<ContentsItem> added;
    QSet<QString> addedNames;
    QSet<QString> onDisk;
    onDisk.reserve(disk.size());
    qsizetype done = 0;
    for (const DiskEntry& entry : disk) {
        if (pacer.Tick())
            m_ui.SetStatusText(ReadingProgressText(m_messages, done, disk.size()));
        ++done;
        onDisk.insert(entry.name);
        const auto found = rowOf.constFind(entry.name);
        const bool known = found != rowOf.constEnd();
        if (known && m_items[found.value()].IsFolder() == entry.isFolder &&
            m_items[found.value()].texts[kDiskTime] == entry.time)
            continue;
        ContentsItem item;
        if (entry.isFolder) {
            item = FolderItem(entry);
        } else {
            NameEntry nameEntry;
            if (EntryOf(entry, index, withNameFile, nameEntry) != 0) {
                complete = false; // tried again on the next update
                continue;
            }
            item = FileItem(entry, nameEntry);
        }
        if (known && m_items[found.value()].IsFolder() == entry.isFolder) {
            const int row = found.value();
            m_items[row] = item;
            Q_EMIT dataChanged(this->index(row, 0), this->index(row, kColumnCount - 1));
            changedRows.append(row);
        } else {
            added.append(item); // a folder that became a file (or back) is removed below and added anew
            addedNames.insert(entry.name);
        }
    }
    ReleasePaced(index, pacer);
    ReleasePaced(disk, pacer);
    ReleasePaced(rowOf, pacer);

    // Vanished rows, from the last to the first so the rows still to go keep their numbers; neighbours
    // go together, so that many files deleted at once do not move the rest of the list once each.
    const auto stays = [&](int row) {
        const QString& name = m_items[row].diskName;
        return onDisk.contains(name) && !addedNames.contains(name);
    };
    for (int last = int(m_items.size()) - 1; last >= 0; --last) {
        static_cast<void>(pacer.Tick());
        if (stays(last))
            continue;
        int first = last;
        while (first > 0 && !stays(first - 1))
            --first;
        const int count = last - first + 1;
        beginRemoveRows(QModelIndex(), first, last);
        m_items.remove(first, count);
        endRemoveRows();
        changedRows.removeIf([first, last](int changed) { return changed >= first && changed <= last; });
        for (int& changed : changedRows)
            if (changed > last)
                changed -= count;
        last = first;
    }
    // One changed row moves to its new place; only several at once sort the whole list again.
    if (changedRows.size() == 1)
        MoveIntoPlace(changedRows.first());
    else if (!changedRows.isEmpty())
        Resort();
    for (const ContentsItem& item : added) {
        const auto at = std::upper_bound(m_items.cbegin(), m_items.cend(), item,
                                         [this](const ContentsItem& a, const ContentsItem& b) { return Before(a, b); });
        const int row = int(at - m_items.cbegin());
        beginInsertRows(QModelIndex(), row, row);
        m_items.insert(row, item);
        endInsertRows();
    }
    m_diskState = complete ? std::move(state) : std::vector<std::size_t>();
    ReleasePaced(onDisk, pacer);
    m_ui.SetStatusText(QString());
    RequestFreeSpace();
    return OpResult::kDone;
}

void CContentsModel::MoveIntoPlace(int row) {
    const auto before = [this](const ContentsItem& a, const ContentsItem& b) { return Before(a, b); };
    const ContentsItem& item = m_items[row];
    const bool goesUp = row > 0 && Before(item, m_items[row - 1]);
    const bool goesDown = row + 1 < m_items.size() && Before(m_items[row + 1], item);
    if (!goesUp && !goesDown)
        return;
    // The other rows are still in order: the place is found among them by halves.
    if (goesUp) {
        const int target = int(std::upper_bound(m_items.cbegin(), m_items.cbegin() + row, item, before) - m_items.cbegin());
        beginMoveRows(QModelIndex(), row, row, QModelIndex(), target);
        m_items.move(row, target);
    } else {
        const int target = int(std::upper_bound(m_items.cbegin() + row + 1, m_items.cend(), item, before) - m_items.cbegin());
        beginMoveRows(QModelIndex(), row, row, QModelIndex(), target);
        m_items.move(row, target - 1);
    }
    endMoveRows();
}

void CContentsModel::RequestFreeSpace() {
    if (!freeSpaceOf || m_directory.isEmpty())
        return;
    // One read per directory at a time: a volume that does not answer (a server gone from a hard mount)
    // keeps its thread, and gets another try only after the time limit.
    if (m_freeRead && m_freeRead->directory == m_directory && !m_freeRead->done &&
        !m_freeRead->started.hasExpired(kFreeSpaceLimitMs))
        return;
    auto read = std::make_shared<FreeSpaceRead>();
    read->directory = m_directory;
    read->started.start();
    // The last value stays shown until the new one is there.
    if (m_freeRead && m_freeRead->directory == m_directory && m_freeRead->done)
        read->shown = m_freeRead->bytes.load();
    m_freeRead = read;
    std::thread([read, reader = freeSpaceOf]() {
        read->bytes = reader(read->directory);
        read->done = true;
    }).detach();
}

qint64 CContentsModel::FreeSpace() const {
    if (!m_freeRead || m_freeRead->directory != m_directory)
        return -1;
    return m_freeRead->done ? m_freeRead->bytes.load() : m_freeRead->shown;
}

int CContentsModel::RowOf(const QString& fullPath) const {
    const qsizetype slash = fullPath.lastIndexOf(u'/');
    if (slash < 0 || QStringView(fullPath).left(slash) != m_directory)
        return -1;
    const QStringView name = QStringView(fullPath).mid(slash + 1);
    for (int row = 0; row < m_items.size(); ++row)
        if (m_items[row].diskName == name)
            return row;
    return -1;
}

QString CContentsModel::ItemTip(int row) const {
    if (row < 0 || row >= m_items.size())
        return QString();
    const ContentsItem& item = m_items[row];
    QString tip = item.texts[kOriginalName];
    if (!item.IsFolder() && !item.IsPlainFile())
        tip += QStringLiteral("\r\n種類： ") + item.texts[kType] + QStringLiteral("\r\n更新日時： ") +
               item.texts[kModified] + QStringLiteral("\r\n元のサイズ： ") + item.texts[kSize];
    return tip;
}

QString CContentsModel::StatusText(int selectedCount) const {
    if (m_directory.isEmpty())
        return kIdleText;
    if (selectedCount > 0)
        return QStringLiteral("%1 個のオブジェクトを選択").arg(selectedCount);
    QString text = QStringLiteral("%1 個のオブジェクト").arg(m_items.size());
    const qint64 free = FreeSpace();
    if (free >= 0)
        text += QStringLiteral("\u3000（空きディスク領域： ") + SizeText(free) + QStringLiteral("）");
    return text;
}

int CContentsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

int CContentsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CContentsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const ContentsItem& item = m_items[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return item.Text(index.column());
    case Qt::EditRole: // the rename starts from the name as shown
        return index.column() == kName ? item.texts[kName] : QVariant();
    case Qt::ToolTipRole:
        return ItemTip(index.row());
    case Qt::TextAlignmentRole:
        if (index.column() == kSize)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    case kFolderRole:
        return item.IsFolder();
    case kPlainRole:
        return item.IsPlainFile();
    case kFullPathRole:
        return item.FullPath();
    case kTypeNameRole:
        return item.typeName;
    default:
        return QVariant();
    }
}

QVariant CContentsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return ColumnTitle(section);
    if (role == Qt::TextAlignmentRole && section == kSize)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return QVariant();
}

Qt::ItemFlags CContentsModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The name is edited in place by the rename.
    const Qt::ItemFlags editable = index.column() == kName ? Qt::ItemIsEditable : Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren | editable;
}

} // namespace korimbo
