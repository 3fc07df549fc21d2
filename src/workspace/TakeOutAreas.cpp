#include "workspace/TakeOutAreas.h"

#include "crypto/WipeBatch.h"
#include "state/WorkAreas.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <cerrno>

namespace korimbo {

namespace {

void OpenUpOne(FileSystem& files, const QString& path, ItemKind kind) {
    struct stat st {};
    if ((kind != ItemKind::File && kind != ItemKind::Folder) || ::lstat(NativePath(path).constData(), &st) != 0)
        return;
    const unsigned added = kind == ItemKind::Folder ? 0755 : 0444;
    static_cast<void>(files.SetPermissions(path, (st.st_mode & 07777) | added));
}

} // namespace

CTakeOutAreas::CTakeOutAreas(const FolderServices& s)
    : m_engine(s.engine), m_registry(s.registry), m_workFolder(s.workFolder), m_files(s.files), m_ui(s.ui),
      m_messages(s.messages) {}

QString CTakeOutAreas::TakeOutArea(const QString& root) const {
    const int slot = m_registry.SlotOf(root);
    return slot < 0 ? QString()
                    : WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.PlainRoot()), m_registry.WorkIdText(slot),
                                        WorkAreas::kTakeOut);
}

// The containers of kinds 2, 3 and 5 wait in the folder's "Re" area, beside the decrypted ones in "To".
QString CTakeOutAreas::ExportFolder(const QString& root) const {
    const int slot = m_registry.SlotOf(root);
    return slot < 0 ? QString()
                    : WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.PlainRoot()), m_registry.WorkIdText(slot),
                                        WorkAreas::kReturn);
}

int CTakeOutAreas::PrepareTakeOutArea(const QString& root) {
    const QString area = TakeOutArea(root);
    if (area.isEmpty() || Empty(area, true, msg::kCopyNotRemoved, msg::kCopyFolderNotRemoved) != 0)
        return -1;
    // Plaintext waits here: only the user may enter the area.
    if (const int rc = m_files.MakePrivateFolder(area).error; rc != 0)
        return ReportMessage(m_ui, m_messages, msg::kExportCopyFailed,
                             WithPath(ErrnoText(rc), area, PathSeparator::Paragraph));
    return 0;
}

int CTakeOutAreas::PrepareExportFolder(const QString& root) {
    const QString folder = ExportFolder(root);
    if (folder.isEmpty())
        return -1;
    if (Empty(folder, false, 0, 0) != 0 || m_files.MakePrivateFolder(folder).Failed())
        return ReportMessage(m_ui, m_messages, msg::kExportNotEmptied,
                             WithPath(QString(), folder, PathSeparator::Paragraph));
    return 0;
}

int CTakeOutAreas::EmptyTakeOutArea(const QString& root) {
    const QString area = TakeOutArea(root);
    return area.isEmpty() ? 0 : Empty(area, true, msg::kCopyNotRemoved, msg::kCopyFolderNotRemoved);
}

int CTakeOutAreas::EmptyExportFolder(const QString& root) {
    const QString folder = ExportFolder(root);
    return folder.isEmpty() ? 0 : Empty(folder, false, msg::kExportNotRemoved, msg::kExportFolderNotRemoved);
}

void CTakeOutAreas::OpenUp(const QString& path) {
    const ItemKind kind = KindOf(path);
    OpenUpOne(m_files, path, kind);
    if (kind == ItemKind::Folder)
        WalkTree(path, [this](const TreeEntry& entry) {
            OpenUpOne(m_files, entry.path, entry.kind);
            return Visit::Continue;
        });
}

int CTakeOutAreas::Empty(const QString& area, bool wipe, int fileMessage, int folderMessage) {
    const ItemKind kind = KindOf(area);
    // A link in the area's place goes as a link: what it points to is not ours, and the staging must
    // not write plaintext through it.
    if (kind == ItemKind::Link) {
        const RemoveResult removed = RemoveTree(m_files, area);
        return removed.Ok() ? 0 : NotEmptied(removed, QString(), fileMessage, folderMessage);
    }
    if (kind != ItemKind::Folder)
        return 0;
    QString wipeError;
    std::function<SysResult(const QString&)> wipeFile;
    if (wipe)
        wipeFile = [&](const QString& file) -> SysResult {
            wipeError.clear();
            return m_engine.WipeAndDelete(file, wipeError, true) == 0 ? 0 : EIO;
        };
    static_cast<void>(m_files.SetPermissions(area, kPrivateFolderMode));
    if (wipe)
        if (const RemoveResult wiped = WipeFilesIn(area, wipeError); !wiped.Ok())
            return NotEmptied(wiped, wipeError, fileMessage, folderMessage);
    QStringList entries;
    static_cast<void>(EntriesOf(area, entries));
    for (const QString& entry : entries)
        if (const RemoveResult removed = RemoveTree(m_files, entry, wipeFile); !removed.Ok())
            return NotEmptied(removed, wipeError, fileMessage, folderMessage);
    return 0;
}

// Every file below `area` wiped, in one write-back of the volume; the folders stay for the removal.
RemoveResult CTakeOutAreas::WipeFilesIn(const QString& area, QString& wipeError) {
    CWipeBatch batch(m_engine, m_files, m_messages, area);
    RemoveResult result;
    WalkTree(area, [&](const TreeEntry& entry) {
        // A read-only folder would keep its files from their wipe names.
        if (entry.kind == ItemKind::Folder)
            static_cast<void>(m_files.SetPermissions(entry.path, kPrivateFolderMode));
        else if (entry.kind == ItemKind::File && batch.Add(entry.path, wipeError) != CCryptEngine::kWiped)
            result = {EIO, entry.path};
        return result.Ok() ? Visit::Continue : Visit::Stop;
    });
    // What waits is wiped even after a failure: it is plaintext.
    QString finishError;
    if (batch.Finish(finishError) != CCryptEngine::kWiped && result.Ok()) {
        result = {EIO, area};
        wipeError = finishError;
    }
    return result;
}

int CTakeOutAreas::NotEmptied(const RemoveResult& removed, const QString& wipeError, int fileMessage,
                              int folderMessage) {
    if (fileMessage == 0)
        return -1;
    if (wipeError.isEmpty() && KindOf(removed.path) == ItemKind::Folder)
        return ReportMessage(m_ui, m_messages, folderMessage,
                             WithPath(QString(), removed.path, PathSeparator::Paragraph));
    const QString error =
        wipeError.isEmpty() ? ErrnoText(removed.error) + QStringLiteral("\n\n") + removed.path : wipeError;
    return ReportMessage(m_ui, m_messages, fileMessage, u'\n' + error);
}

int CTakeOutAreas::CheckRoomForCopies(qint64 bytes) {
    qint64 free = -1;
    const QString root = QDir::cleanPath(m_workFolder.PlainRoot());
    if (bytes <= 0 || m_files.FreeBytes(root, free).Failed() || free < 0 || bytes <= free)
        return 0;
    return ReportMessage(m_ui, m_messages, msg::kNoRoomForCopies, WithPath(QString(), root, PathSeparator::Paragraph),
                         Icon::Warning);
}

} // namespace korimbo
