#include "folder/FolderScan.h"

#include "folder/NameFile.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"

#include <QFileInfo>

#include <algorithm>

namespace korimbo {

namespace {

// A verdict as a finding's kind; false for a whole container or a plain file.
bool KindOf(const ContainerVerdict& verdict, ScanFinding::Kind& kind) {
    switch (verdict.fault) {
    case ContainerFault::kNone:
    case ContainerFault::kNotContainer:
        return false;
    case ContainerFault::kOtherPassword:
        kind = ScanFinding::kOtherPassword;
        return true;
    case ContainerFault::kUnreadable:
    case ContainerFault::kNewerVersion:
        kind = ScanFinding::kUnreadable;
        return true;
    case ContainerFault::kTruncated:
    case ContainerFault::kBodyError:
    case ContainerFault::kHeaderDamaged:
        break;
    }
    kind = ScanFinding::kDamaged;
    return true;
}

} // namespace

QString ScanFinding::Reason(MessageSource& messages) const {
    ContainerVerdict verdict;
    verdict.fault = fault;
    verdict.error = error;
    verdict.hint = hint;
    return FaultText(verdict, messages);
}

int FolderScanResult::Damaged() const {
    return static_cast<int>(std::count_if(findings.cbegin(), findings.cend(), [](const ScanFinding& finding) {
        return finding.kind != ScanFinding::kOtherPassword;
    }));
}

CFolderScan::CFolderScan(CCryptEngine& engine, FileSystem& files, Interaction& ui, MessageSource& messages,
                         CNameFile* names)
    : m_engine(engine), m_files(files), m_ui(ui), m_messages(messages), m_names(names) {}

OpResult CFolderScan::Run(const QString& root, const QString& key, FolderScanResult& result) {
    result = FolderScanResult();
    std::shared_ptr<const ProbeKeys> keys = m_engine.ProbeKeysFor(key);
    if (!keys) {
        static_cast<void>(ReportMessage(m_ui, m_messages, msg::kKeyNotFound));
        return OpResult::kFailed;
    }
    const QStringList paths = CContainerScan::FilesBelow(root, &result.unreadableFolders);
    CContainerScan scan(std::move(keys), m_files, m_ui);
    scan.SetWorkers(m_workers);
    scan.progress = [this](int done, int total) { ShowProgress(done, total); };
    CContainerScan::Result scanned = scan.Run(paths);
    result.total = scanned.total;
    result.checked = static_cast<int>(scanned.files.size());
    result.stopped = scanned.stopped;
    for (const ScannedFile& file : scanned.files) {
        if (file.verdict.fault != ContainerFault::kNotContainer)
            ++result.containers;
        AddFinding(file, key, result);
    }
    std::stable_sort(result.findings.begin(), result.findings.end(), [](const ScanFinding& a, const ScanFinding& b) {
        return (a.kind == ScanFinding::kOtherPassword) < (b.kind == ScanFinding::kOtherPassword);
    });
    return OpResult::kDone;
}

void CFolderScan::AddFinding(const ScannedFile& file, const QString& key, FolderScanResult& result) {
    ScanFinding finding;
    if (!KindOf(file.verdict, finding.kind))
        return;
    const QFileInfo info(file.path);
    finding.fault = file.verdict.fault;
    finding.error = file.verdict.error;
    finding.diskPath = file.path;
    finding.folder = info.path();
    finding.diskName = info.fileName();
    finding.hint = file.verdict.hint;
    finding.storedName = NameFromNameFile(finding.folder, finding.diskName, key);
    if (finding.storedName.isEmpty())
        finding.storedName = file.verdict.storedName;
    result.findings.append(finding);
}

// The stored name the directory's name file keeps for a container, read once per directory. A directory
// without a name file has none; nothing is made or refreshed.
QString CFolderScan::NameFromNameFile(const QString& directory, const QString& diskName, const QString& key) {
    if (!m_names)
        return QString();
    auto found = m_storedNames.find(directory);
    if (found == m_storedNames.end()) {
        QHash<QString, QString> names;
        const QString path = m_names->NameFilePath(directory);
        QList<NameEntry> entries;
        if (!m_names->IsWithoutNameFile(path) && m_files.Exists(path) &&
            m_names->LoadNameEntries(directory, key, false, entries) == 0)
            for (const NameEntry& entry : entries)
                if (entry.kind == NameEntry::kContainer)
                    names.insert(entry.diskName, entry.displayName);
        found = m_storedNames.insert(directory, names);
    }
    return found->value(diskName);
}

void CFolderScan::ShowProgress(int done, int total) {
    m_ui.SetStatusText(m_messages.MsgA(msg::kScanProgress) + QStringLiteral("（%1 / %2）").arg(done).arg(total));
}

} // namespace korimbo
