#include "folder/FolderItems.h"

#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>

namespace korimbo {

CFolderItems::CFolderItems(const FolderServices& services) : m_s(services) {}

bool CFolderItems::ReadOnlyFolder(const QString& path) const {
    const int slot = m_s.registry.SlotOf(KeyOf(path));
    return slot >= 0 && m_s.registry.ReadOnlyText(slot) == QStringLiteral("1");
}

CFolderItems::Source CFolderItems::Describe(const QString& path) {
    Source source;
    source.name = QFileInfo(path).fileName();
    const QString key = KeyOf(path);
    // A link is an item of its own: what it points to is not read as a container.
    if (key.isEmpty() || KindOf(path) != ItemKind::File)
        return source;
    ContainerInfo info;
    if (const std::optional<ContainerCheck> check = m_s.engine.CheckContainer(path, info, key, false);
        check && check->Usable()) {
        source.container = true;
        source.plainSize = info.plainSize;
        if (!info.name.isEmpty() && !info.name.contains(u'/'))
            source.name = info.name;
    }
    return source;
}

QList<NameEntry>& CFolderItems::EntriesOf(const QString& directory) {
    auto found = m_entries.find(directory);
    if (found != m_entries.end())
        return found.value();
    QList<NameEntry> entries;
    const QString key = KeyOf(directory);
    if (!key.isEmpty() && KindOf(directory) == ItemKind::Folder && m_s.nameFile.RefreshNameFile(directory, key) == 0)
        m_s.nameFile.LoadNameEntries(directory, key, true, entries);
    return m_entries.insert(directory, entries).value();
}

bool CFolderItems::NameTaken(const QString& directory, const QString& name) {
    for (const NameEntry& entry : EntriesOf(directory))
        if (entry.displayName == name)
            return true;
    return KindOf(ChildPath(directory, name)) != ItemKind::Missing;
}

QString CFolderItems::ShownName(const QString& path) {
    if (KindOf(path) == ItemKind::Folder)
        return QFileInfo(path).fileName();
    const QString disk = QFileInfo(path).fileName();
    for (const NameEntry& entry : EntriesOf(QFileInfo(path).absolutePath()))
        if (entry.diskName == disk)
            return entry.displayName;
    return disk;
}

bool CFolderItems::HoldsOpenFile(const QString& folder, QString* which) {
    if (!isOpenInWorkspace || (mayHoldOpen && !mayHoldOpen(folder)))
        return false;
    const QString found = FindBelow(
        folder, [this](const TreeEntry& entry) { return entry.kind == ItemKind::File && IsOpen(entry.path); });
    if (which)
        *which = found;
    return !found.isEmpty();
}

bool CFolderItems::HoldsFileInUse(const QString& folder, QString* which) {
    const QString found = FindBelow(folder, [this](const TreeEntry& entry) {
        int error = 0;
        return entry.kind == ItemKind::File && !m_s.files.Open(entry.path, OpenMode::ReadWriteAlone, error) &&
               error == EBUSY;
    });
    if (which)
        *which = found;
    return !found.isEmpty();
}

void CFolderItems::Changed(const QString& directory) {
    const QString clean = CleanPath(directory);
    if (!m_changed.contains(clean))
        m_changed.append(clean);
}

void CFolderItems::RefreshChanged() {
    for (const QString& directory : std::as_const(m_changed)) {
        const QString key = KeyOf(directory);
        if (!key.isEmpty() && KindOf(directory) == ItemKind::Folder)
            m_s.nameFile.RefreshNameFile(directory, key);
    }
    m_entries.clear();
}

QString CFolderItems::ModifiedText(const QString& path) {
    return QFileInfo(path).lastModified().toLocalTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

int CFolderItems::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_s.ui, m_s.messages, number, tail, icon);
}

int CFolderItems::ReportError(int number, int error, const QString& path) {
    return Report(number, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + path);
}

OpResult CFolderItems::Fail(int number, const QString& tail, Icon icon) {
    Report(number, tail, icon);
    return OpResult::kFailed;
}

OpResult CFolderItems::FailError(int number, int error, const QString& path) {
    ReportError(number, error, path);
    return OpResult::kFailed;
}

bool CFolderItems::Stopped() {
    if (!m_s.ui.StopRequested())
        return false;
    Report(msg::kStoppedKeepingDone, QString(), Icon::Information);
    return true;
}

} // namespace korimbo
