#include "folder/NameSearch.h"

#include "util/MessageNumbers.h"
#include "util/NameFold.h"
#include "util/PathIdentity.h"

#include <QFileInfo>

#include <algorithm>

namespace korimbo {

QString NameHit::Directory() const {
    return QFileInfo(path).path();
}

CNameSearch::CNameSearch(CNameFile& nameFile, const CCryptEngine& engine, Interaction& ui, MessageSource& messages)
    : m_nameFile(nameFile), m_engine(engine), m_ui(ui), m_messages(messages) {}

OpResult CNameSearch::Build(const QString& folder) {
    Forget(folder);
    if (folder.isEmpty() || !m_engine.HasKey(folder))
        return OpResult::kDeclined;
    FolderIndex index;
    index.folder = folder;
    const int rc = AddDirectory(folder, QString(), index);
    m_ui.SetStatusText(QString());
    if (rc != 0)
        return rc > 0 ? OpResult::kDeclined : OpResult::kFailed;
    m_indexes.push_back(std::move(index));
    return OpResult::kDone;
}

int CNameSearch::AddDirectory(const QString& directory, const QString& storedPrefix, FolderIndex& index) {
    m_ui.Pump();
    if (m_ui.StopRequested())
        return 1;
    m_ui.SetStatusText(m_messages.MsgA(msg::kSearchReading) + directory);
    QList<NameEntry> entries;
    if (EntriesOf(directory, index.folder, entries) != 0)
        return -1;
    std::sort(entries.begin(), entries.end(), [](const NameEntry& a, const NameEntry& b) {
        return a.displayName.compare(b.displayName, Qt::CaseInsensitive) < 0;
    });
    QList<NameHit> folders;
    for (const NameEntry& entry : entries) {
        if (entry.diskName.startsWith(u'.'))
            continue; // hidden, as in the contents list
        NameHit hit;
        hit.folder = index.folder;
        hit.path = directory + u'/' + entry.diskName;
        hit.name = entry.displayName;
        hit.storedPath = storedPrefix + entry.displayName;
        // A link is an item of its own; a search never goes through one.
        hit.isFolder = entry.kind == NameEntry::kFolder && KindOf(hit.path) == ItemKind::Folder;
        index.folded.push_back(FoldedName(hit.name));
        index.hits.append(hit);
        if (hit.isFolder)
            folders.append(hit);
    }
    for (const NameHit& below : folders)
        if (const int rc = AddDirectory(below.path, below.storedPath + u'/', index); rc != 0)
            return rc;
    return 0;
}

int CNameSearch::EntriesOf(const QString& directory, const QString& key, QList<NameEntry>& entries) {
    const QString nameFile = m_nameFile.NameFilePath(directory);
    if (!m_nameFile.IsWithoutNameFile(nameFile) && QFileInfo::exists(nameFile)) {
        if (m_nameFile.RefreshNameFile(directory, key) != 0)
            return -1;
        return m_nameFile.LoadNameEntries(directory, key, true, entries);
    }
    // A directory never listed has no name file yet: its headers tell the names, and nothing is written.
    ++m_withoutNameFile;
    for (const DiskEntry& disk : ReadDirectory(directory, true)) {
        NameEntry entry;
        if (m_nameFile.EntryFromDisk(directory, disk, key, entry) == 0)
            entries.append(entry);
    }
    return 0;
}

void CNameSearch::Forget(const QString& folder) {
    m_indexes.erase(std::remove_if(m_indexes.begin(), m_indexes.end(),
                                   [&](const FolderIndex& index) { return index.folder == folder; }),
                    m_indexes.end());
}

bool CNameSearch::Holds(const QString& folder) const {
    return std::any_of(m_indexes.begin(), m_indexes.end(),
                       [&](const FolderIndex& index) { return index.folder == folder && m_engine.HasKey(folder); });
}

QStringList CNameSearch::Folders() const {
    QStringList folders;
    for (const FolderIndex& index : m_indexes)
        folders.append(index.folder);
    return folders;
}

int CNameSearch::NameCount() const {
    int count = 0;
    for (const FolderIndex& index : m_indexes)
        count += int(index.hits.size());
    return count;
}

CNameSearch::Found CNameSearch::Find(const QString& pattern, int limit, const QString& onlyFolder) const {
    Found found;
    const QString folded = FoldedName(pattern);
    if (folded.isEmpty())
        return found;
    for (const FolderIndex& index : m_indexes) {
        if ((!onlyFolder.isEmpty() && index.folder != onlyFolder) || !m_engine.HasKey(index.folder))
            continue;
        const std::size_t count = index.folded.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (!FoldedContains(index.folded[i], folded))
                continue;
            if (found.total++ < limit)
                found.hits.append(index.hits.at(qsizetype(i)));
        }
    }
    return found;
}

} // namespace korimbo
