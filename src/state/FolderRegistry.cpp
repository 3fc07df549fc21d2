#include "state/FolderRegistry.h"

#include "state/SettingsFile.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"

#include <algorithm>

#include <cstring>

namespace korimbo {

// ---- FolderEntry ----

FolderEntry::FolderEntry() : m_record(kSize, '\0') {}

FolderEntry FolderEntry::FromRecord(const char* record) {
    FolderEntry entry;
    std::memcpy(entry.m_record.data(), record, kSize);
    return entry;
}

FolderEntry FolderEntry::Fresh() {
    FolderEntry entry;
    entry.SetHint(QString());
    std::memset(entry.m_record.data() + kBlankOffset, 0x20, kSize - kBlankOffset);
    return entry;
}

void FolderEntry::SetVerifier(const QByteArray& verifier) {
    std::memcpy(m_record.data() + kVerifierOffset, verifier.constData(),
                static_cast<std::size_t>(std::min<qsizetype>(verifier.size(), kVerifierBytes)));
}

QString FolderEntry::Text(int offset, int units, bool stopAtNul) const {
    QString text;
    for (int i = 0; i < units; ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(m_record.constData() + offset + 2 * i);
        const char16_t unit = static_cast<char16_t>(p[0] | (p[1] << 8));
        if (stopAtNul && unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

void FolderEntry::SetText(int offset, int units, const QString& text, char16_t filler) {
    for (int i = 0; i < units; ++i) {
        const char16_t unit = i < text.size() ? text.at(i).unicode() : filler;
        m_record[offset + 2 * i] = static_cast<char>(unit & 0xFF);
        m_record[offset + 2 * i + 1] = static_cast<char>(unit >> 8);
    }
}

// ---- FolderRegistry ----

namespace {

bool Inside(const QString& path, const QString& folder) {
    if (folder.isEmpty())
        return false;
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    return (path + u'/').startsWith(base);
}

QString WithoutSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder.chopped(1) : folder;
}

int DecimalOf(const QString& text) {
    return SettingsFile::DecimalValue(text) & 0xFF;
}

} // namespace

OpResult FolderRegistry::Report(int number, const QString& tail) {
    ReportMessage(m_engine.Ui(), m_engine.Messages(), number, tail);
    return OpResult::kFailed;
}

QString FolderRegistry::StoredForm(const QString& path) const {
    if (Inside(path, m_places.documents))
        return kDocumentsPlaceholder + path.mid(WithoutSlash(m_places.documents).size());
    if (Inside(path, m_places.desktop))
        return kDesktopPlaceholder + path.mid(WithoutSlash(m_places.desktop).size());
    // A folder on the program's own medium follows the medium to wherever it is mounted next time.
    const QString root = WithoutSlash(m_places.programMountRoot);
    if (!root.isEmpty() && m_places.mountRootOf && Inside(path, root) &&
        WithoutSlash(m_places.mountRootOf(path)) == root)
        return kProgramVolumePlaceholder + path.mid(root.size());
    return path;
}

QString FolderRegistry::ExpandedForm(const QString& stored) const {
    const struct {
        const QString& placeholder;
        const QString& folder;
    } kinds[] = {{kDocumentsPlaceholder, m_places.documents},
                 {kDesktopPlaceholder, m_places.desktop},
                 {kProgramVolumePlaceholder, m_places.programMountRoot}};
    for (const auto& kind : kinds) {
        if (stored.startsWith(kind.placeholder, Qt::CaseInsensitive) && !kind.folder.isEmpty())
            return WithoutSlash(kind.folder) + stored.mid(kind.placeholder.size());
    }
    return stored;
}

OpResult FolderRegistry::LoadFolderRegistry(const QString& envFolder) {
    m_count = 0;
    m_entries.fill(FolderEntry());
    m_pathTexts.fill(QString());
    m_readOnlyTexts.fill(QString());
    m_workIdTexts.fill(QString());
    m_autoReleaseTexts.fill(QString());
    m_driveTypes.fill(0);
    m_loaded = false;

    const QString path = envFolder + u'/' + kFileName;
    if (!m_files.Exists(path)) {
        if (const int rc = m_files.ReplaceContents(path, QByteArray()).error; rc != 0)
            return Report(msg::kRegistryNotMade,
                          WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
    }
    qint64 size = 0;
    if (m_files.Size(path, size).Failed())
        return Report(msg::kRegistrySizeUnread, path);
    if (size == 0) {
        m_loaded = true;
        return OpResult::kDone;
    }
    QByteArray data;
    if (const int rc = m_files.ReadContents(path, data).error; rc != 0)
        return Report(msg::kRegistryNotRead, WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
    if (m_engine.DecipherWithBuiltInKey(reinterpret_cast<std::uint8_t*>(data.data()), data.size()) != 0)
        return OpResult::kFailed;
    for (qsizetype pos = 0; m_count < kMaxEntries && pos + FolderEntry::kSize <= data.size();
         pos += FolderEntry::kSize) {
        const FolderEntry entry = FolderEntry::FromRecord(data.constData() + pos);
        const int j = m_count++;
        m_entries[j] = entry;
        m_pathTexts[j] = entry.StoredPath().isEmpty() ? QString() : ExpandedForm(entry.StoredPath());
        m_readOnlyTexts[j] = QString::number(entry.ReadOnly());
        m_workIdTexts[j] = entry.WorkId();
        m_autoReleaseTexts[j] = QString::number(entry.AutoRelease());
        m_driveTypes[j] = entry.DriveType();
    }
    data.fill('\0');
    m_loaded = true;
    return OpResult::kDone;
}

OpResult FolderRegistry::SaveFolderRegistry(const QString& envFolder) {
    if (!m_loaded)
        return Report(msg::kRegistryNotLoaded, QString());
    QByteArray data;
    data.reserve(m_count * FolderEntry::kSize);
    for (int i = 0; i < m_count; ++i) {
        if (m_pathTexts[i].isEmpty())
            continue; // a removed entry
        FolderEntry entry = m_entries[i];
        entry.SetStoredPath(StoredForm(m_pathTexts[i]));
        data.append(entry.Record());
    }
    if (m_engine.EncipherWithBuiltInKey(reinterpret_cast<std::uint8_t*>(data.data()), data.size()) != 0)
        return OpResult::kFailed;
    const QString path = envFolder + u'/' + kFileName;
    if (const int rc = m_files.ReplaceContents(path, data).error; rc != 0)
        return Report(msg::kRegistryNotWritten, WithPath(FileErrorText(FileErrorCause(rc)), path, PathSeparator::Line));
    return OpResult::kDone;
}

QByteArray FolderRegistry::ReferenceVerifier() {
    QByteArray reference(FolderEntry::kVerifierBytes, '\0');
    const QString text = m_engine.Messages().MsgB(31).left(128);
    std::memcpy(reference.data(), text.utf16(), static_cast<std::size_t>(text.size()) * 2);
    return reference;
}

OpResult FolderRegistry::AddFolder(const QString& envFolder, const QString& path, const QString& hint,
                                   const QString& password, const QString& readOnlyText, const QString& workId,
                                   const QString& autoReleaseText, int driveType) {
    if (m_count >= kMaxEntries)
        return OpResult::kFailed; // registration refuses a 101st folder before it gets here
    const int i = m_count;
    FolderEntry entry = FolderEntry::Fresh();
    entry.SetHint(hint.left(FolderEntry::kHintUnits));
    entry.SetByte(FolderEntry::kReadOnlyOffset, DecimalOf(readOnlyText));
    entry.SetByte(FolderEntry::kAutoReleaseOffset, DecimalOf(autoReleaseText));
    entry.SetByte(FolderEntry::kDriveTypeOffset, driveType);
    entry.SetWorkId(workId.left(FolderEntry::kWorkIdUnits));

    QString key;
    if (m_engine.RegisterTempKey(password, QString(), key) != 0)
        return OpResult::kFailed;
    QByteArray verifier = ReferenceVerifier();
    if (m_engine.EncipherBuffer(reinterpret_cast<std::uint8_t*>(verifier.data()), verifier.size(), key) != 0)
        return OpResult::kFailed;
    entry.SetVerifier(verifier);

    const FolderEntry previousEntry = m_entries[i];
    const QString previousPath = m_pathTexts[i];
    m_entries[i] = entry;
    m_pathTexts[i] = path.left(FolderEntry::kPathUnits);
    m_count = i + 1;
    return SaveAndReload(envFolder, [&] {
        m_entries[i] = previousEntry;
        m_pathTexts[i] = previousPath;
        m_count = i;
    });
}

int FolderRegistry::SlotOf(const QString& path) const {
    for (int i = 0; !path.isEmpty() && i < m_count; ++i)
        if (m_pathTexts[i] == path)
            return i;
    return -1;
}

QList<FolderRegistry::Registered> FolderRegistry::RegisteredFolders() const {
    QList<Registered> folders;
    for (int i = 0; i < m_count; ++i)
        if (!m_pathTexts[i].isEmpty())
            folders.append({i, m_pathTexts[i]});
    return folders;
}

OpResult FolderRegistry::RemoveFolder(const QString& envFolder, const QString& path) {
    const int i = SlotOf(path);
    if (i < 0)
        return Report(msg::kReleaseNotRegistered, path);
    const QString previousPath = m_pathTexts[i];
    m_pathTexts[i].clear();
    return SaveAndReload(envFolder, [&] { m_pathTexts[i] = previousPath; });
}

// The table always holds what the file holds: the per-slot texts are rebuilt from it after a change,
// and a change whose save failed is taken back, so the file was not written and the table still matches
// it (a retry is not refused as already registered, a later save carries no entry the user never got).
OpResult FolderRegistry::SaveAndReload(const QString& envFolder, const std::function<void()>& undo) {
    if (SaveFolderRegistry(envFolder) != OpResult::kDone) {
        undo();
        return OpResult::kFailed;
    }
    return LoadFolderRegistry(envFolder);
}

bool FolderRegistry::IsFolderRegistered(const QString& path) const {
    for (const QString& text : m_pathTexts)
        if (!text.isEmpty() && text == path)
            return true;
    return false;
}

Verdict FolderRegistry::OpensVerifier(const FolderEntry& entry, const QString& key) {
    QByteArray copy = entry.Verifier();
    if (m_engine.DecipherBuffer(reinterpret_cast<std::uint8_t*>(copy.data()), copy.size(), key) != 0)
        return Verdict::kFailed;
    const bool opens = copy == ReferenceVerifier();
    copy.fill('\0');
    return opens ? Verdict::kYes : Verdict::kNo;
}

Verdict FolderRegistry::VerifyFolderPassword(const QString& path, const QString& password) {
    const int i = SlotOf(path);
    if (i < 0) {
        static_cast<void>(Report(msg::kVerifyNotRegistered, path));
        return Verdict::kFailed;
    }
    QString key;
    if (m_engine.RegisterTempKey(password, QString(), key) != 0)
        return Verdict::kFailed;
    return OpensVerifier(m_entries[i], key);
}

OpResult FolderRegistry::GetFolderHint(const QString& path, QString& hint) {
    const int i = SlotOf(path);
    if (i < 0)
        return Report(msg::kHintNotRegistered, path);
    hint = m_entries[i].Hint();
    return OpResult::kDone;
}

Verdict FolderRegistry::IsPasswordUsedByAnyFolder(const QString& password) {
    QString key;
    if (m_engine.RegisterTempKey(password, QString(), key) != 0)
        return Verdict::kFailed;
    for (int i = 0; i < m_count; ++i) {
        if (m_pathTexts[i].isEmpty())
            continue;
        if (const Verdict opens = OpensVerifier(m_entries[i], key); opens != Verdict::kNo)
            return opens;
    }
    return Verdict::kNo;
}

} // namespace korimbo
