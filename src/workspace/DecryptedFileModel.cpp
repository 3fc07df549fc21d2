#include "workspace/DecryptedFileModel.h"

#include "state/WorkAreas.h"
#include "util/EditorFiles.h"
#include "util/TreeWalk.h"

#include <QFileInfo>

namespace korimbo {

namespace {

const QString kHeaders[CDecryptedFileModel::kColumnCount] = {
    QStringLiteral("復号中ファイル"), QStringLiteral("状態"),   QStringLiteral("ファイル名"),
    QStringLiteral("フルパス"),       QStringLiteral("チェック"), QStringLiteral("暗号ファイルパス"),
};

} // namespace

bool CDecryptedFileModel::IsCopyName(const QString& file, const ContainerTest& hasContainer) {
    return !IsEditorScratchName(QFileInfo(file).fileName()) || (hasContainer && hasContainer(file));
}

bool CDecryptedFileModel::CollectCopies(const QString& directory, QStringList& files,
                                        const ContainerTest& hasContainer) {
    // A link that leads to a file counts as one; an editor's lock link that leads nowhere does not.
    const WalkResult walked = WalkTree(directory, [&](const TreeEntry& entry) {
        const bool file =
            entry.kind == ItemKind::File || (entry.kind == ItemKind::Link && QFileInfo(entry.path).isFile());
        if (file && IsCopyName(entry.path, hasContainer))
            files.append(entry.path);
        return Visit::Continue;
    });
    return walked.unreadable.isEmpty();
}

bool CDecryptedFileModel::HasCopies(const QString& directory) {
    if (!QFileInfo(directory).isDir())
        return false;
    QStringList files;
    // An area that cannot be read to the end may hold copies: it counts as holding some.
    return !CollectCopies(directory, files) || !files.isEmpty();
}

CDecryptedFileModel::CDecryptedFileModel(const FolderRegistry& registry, const WorkFolderSettings& workFolder,
                                         const SettingsRecord& settings, QObject* parent)
    : QAbstractTableModel(parent), m_registry(registry), m_workFolder(workFolder), m_settings(settings) {}

bool CDecryptedFileModel::SetDirectory(const QString& folder) {
    QString area;
    const int slot = m_registry.SlotOf(folder);
    if (slot >= 0)
        area = WorkAreas::AreaOf(m_workFolder.RootOf(WorkAreas::kEditing), m_registry.WorkIdText(slot),
                                 WorkAreas::kEditing);
    if (area.isEmpty() || !QFileInfo(area).isDir()) {
        Clear();
        // Forgotten, so that selecting the folder again once its area exists starts watching it.
        m_folder.clear();
        if (!m_directory.isEmpty()) {
            m_directory.clear();
            Q_EMIT directoryChanged(QString());
        }
        return false;
    }
    m_folder = folder;
    if (area == m_directory)
        return true;
    // The rows of another folder's area go at once, not at the first rebuild after a busy section.
    Clear();
    m_directory = area;
    Q_EMIT directoryChanged(area);
    RequestRefresh();
    return true;
}

void CDecryptedFileModel::RequestRefresh() {
    Q_EMIT refreshRequested();
}

void CDecryptedFileModel::Clear() {
    if (m_items.isEmpty())
        return;
    beginResetModel();
    m_items.clear();
    endResetModel();
}

void CDecryptedFileModel::RefreshDisplay() {
    for (int row = 0; row < m_items.size(); ++row) {
        DecryptedItem& item = m_items[row];
        const QString displayName = DisplayNameOf(item.fileName);
        if (displayName == item.displayName)
            continue;
        item.displayName = displayName;
        Q_EMIT dataChanged(index(row, 0), index(row, 0));
    }
}

QString CDecryptedFileModel::DisplayNameOf(const QString& fileName) const {
    if (m_settings.titleMode != 0)
        return fileName;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString CDecryptedFileModel::ContainerOf(const QString& copy) const {
    return containerOf ? containerOf(copy) : QString();
}

bool CDecryptedFileModel::Changed(const QString& copy, const QString& container) const {
    if (container.isEmpty())
        return true;
    if (isChanged)
        return isChanged(copy, container);
    return QFileInfo(copy).lastModified() != QFileInfo(container).lastModified();
}

bool CDecryptedFileModel::Rebuild() {
    if (m_directory.isEmpty())
        return true;
    if (!QFileInfo(m_directory).isDir()) {
        // The area went away with everything in it.
        Clear();
        return true;
    }
    for (DecryptedItem& item : m_items)
        item.seen = false;

    QStringList files;
    const bool complete =
        CollectCopies(m_directory, files, [this](const QString& file) { return !ContainerOf(file).isEmpty(); });
    for (const QString& file : files) {
        const QString container = ContainerOf(file);
        const bool changed = Changed(file, container);
        const int row = RowOf(file);
        if (row < 0) {
            DecryptedItem item;
            item.fileName = QFileInfo(file).fileName();
            item.displayName = DisplayNameOf(item.fileName);
            item.fullPath = file;
            item.container = container;
            item.changed = changed;
            item.seen = true;
            const int at = static_cast<int>(m_items.size());
            beginInsertRows(QModelIndex(), at, at);
            m_items.append(item);
            endInsertRows();
            continue;
        }
        DecryptedItem& item = m_items[row];
        item.seen = true;
        // The display name follows TitleMode, which the settings sheet may have changed.
        const QString displayName = DisplayNameOf(item.fileName);
        if (item.container != container || item.changed != changed || item.displayName != displayName) {
            item.container = container;
            item.changed = changed;
            item.displayName = displayName;
            Q_EMIT dataChanged(index(row, 0), index(row, kColumnCount - 1));
        }
    }
    if (!complete)
        return false;

    // Last to first, a run of unseen rows at a time.
    for (int last = static_cast<int>(m_items.size()) - 1; last >= 0;) {
        if (m_items[last].seen) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !m_items[first - 1].seen)
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        m_items.remove(first, last - first + 1);
        endRemoveRows();
        last = first - 1;
    }
    return true;
}

int CDecryptedFileModel::RowOf(const QString& fullPath) const {
    for (int row = 0; row < m_items.size(); ++row) {
        if (m_items[row].fullPath == fullPath)
            return row;
    }
    return -1;
}

QStringList CDecryptedFileModel::FullPaths(const QList<int>& rows) const {
    QStringList paths;
    for (int row : rows) {
        if (row >= 0 && row < m_items.size())
            paths.append(m_items[row].fullPath);
    }
    return paths;
}

QStringList CDecryptedFileModel::Containers(const QList<int>& rows) const {
    QStringList paths;
    for (int row : rows) {
        if (row >= 0 && row < m_items.size())
            paths.append(m_items[row].container);
    }
    return paths;
}

int CDecryptedFileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

int CDecryptedFileModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString CDecryptedFileModel::ToolTipOf(const DecryptedItem& item) const {
    const QString where = item.container.isEmpty() ? QStringLiteral("暗号ファイル: なし（新しいファイル）")
                                                   : QStringLiteral("暗号ファイル: ") + item.container;
    const QString state = item.changed ? QStringLiteral("状態: 変更あり") : QStringLiteral("状態: 変更なし");
    return item.fileName + u'\n' + where + u'\n' + state;
}

QVariant CDecryptedFileModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_items.size() || index.column() >= kColumnCount)
        return QVariant();
    const DecryptedItem& item = m_items[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kDisplayName:
            return item.displayName;
        case kState:
            return item.changed ? QStringLiteral("1") : QStringLiteral("0");
        case kFileName:
            return item.fileName;
        case kFullPath:
            return item.fullPath;
        case kCheck:
            return item.seen ? QStringLiteral("1") : QStringLiteral("0");
        case kContainer:
            return item.container;
        default:
            return QVariant();
        }
    case Qt::ToolTipRole:
        return ToolTipOf(item);
    case kChangedRole:
        return item.changed;
    case kFileNameRole:
        return item.fileName;
    case kFullPathRole:
        return item.fullPath;
    case kContainerRole:
        return item.container;
    default:
        return QVariant();
    }
}

QVariant CDecryptedFileModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumnCount)
        return kHeaders[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace korimbo
