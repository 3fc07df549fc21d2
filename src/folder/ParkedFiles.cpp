#include "folder/ParkedFiles.h"

#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <sys/stat.h>

namespace korimbo {

namespace {

const QString kJournalName = QStringLiteral(".parked-files");
const QString kParkedKey = QStringLiteral("parked");
const QString kHomeKey = QStringLiteral("home");
// A path whose name is not text (PathFromNative) also as its bytes, which JSON text cannot carry.
const QString kBytesSuffix = QStringLiteral("Bytes");

QJsonValue PathValue(const QJsonValue& entry, const QString& key) {
    const QJsonValue bytes = entry[key + kBytesSuffix];
    if (bytes.isString())
        return PathFromNative(QByteArray::fromBase64(bytes.toString().toLatin1()));
    return entry[key];
}

void AddPath(QJsonObject& entry, const QString& key, const QString& path) {
    entry.insert(key, path);
    const QByteArray native = NativePath(path);
    if (native != path.toUtf8())
        entry.insert(key + kBytesSuffix, QString::fromLatin1(native.toBase64()));
}

bool IsThere(const QString& path) {
    struct stat st {};
    return ::lstat(NativePath(path).constData(), &st) == 0;
}

} // namespace

ParkedFiles::ParkedFiles(FileSystem& files, CCryptEngine& engine, const QString& creationArea)
    : m_files(files), m_engine(engine), m_area(creationArea) {}

QString ParkedFiles::JournalOf(const QString& creationArea) {
    return ChildPath(creationArea, kJournalName);
}

SysResult ParkedFiles::Load() {
    m_entries.clear();
    const QString journal = JournalOf(m_area);
    if (!m_files.Exists(journal))
        return 0;
    QByteArray data;
    if (const int rc = m_files.ReadContents(journal, data).error; rc != 0)
        return rc;
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isArray())
        return EINVAL;
    for (const QJsonValue& value : document.array()) {
        const Entry entry{PathValue(value, kParkedKey).toString(), PathValue(value, kHomeKey).toString()};
        if (entry.parked.isEmpty() || entry.home.isEmpty())
            return EINVAL;
        m_entries.append(entry);
    }
    return 0;
}

// All or nothing, synced, then the folder synced so that the rename itself survives a power cut. The
// work root is a private folder: the journal is the owner's alone (0600).
SysResult ParkedFiles::Save() {
    const QString journal = JournalOf(m_area);
    int rc = 0;
    if (m_entries.isEmpty()) {
        rc = m_files.Exists(journal) ? m_files.Remove(journal).error : 0;
    } else {
        QJsonArray array;
        for (const Entry& entry : m_entries) {
            QJsonObject object;
            AddPath(object, kParkedKey, entry.parked);
            AddPath(object, kHomeKey, entry.home);
            array.append(object);
        }
        rc = m_files.ReplaceContents(journal, QJsonDocument(array).toJson(QJsonDocument::Compact)).error;
    }
    return rc != 0 ? rc : m_files.SyncFolder(m_area).error;
}

SysResult ParkedFiles::Park(const QString& source, const QString& parked) {
    m_entries.append({CleanPath(parked), QFileInfo(CleanPath(source)).absolutePath()});
    if (const int rc = Save().error; rc != 0) {
        m_entries.removeLast();
        return rc;
    }
    const int rc = MoveFile(m_files, m_engine, source, parked).error;
    // A copy that arrived stays listed: it is the user's file too, and goes back with the others.
    if (rc != 0 && !IsThere(parked))
        Forget(parked);
    return rc;
}

void ParkedFiles::Forget(const QString& parked) {
    const QString clean = CleanPath(parked);
    if (m_entries.removeIf([&](const Entry& entry) { return entry.parked == clean; }) > 0)
        (void)Save();
}

QList<ParkedFiles::Failure> ParkedFiles::PutBackAll() {
    QList<Failure> failed;
    QList<Entry> kept;
    for (const Entry& entry : std::as_const(m_entries)) {
        if (!IsThere(entry.parked))
            continue; // dealt with before the run ended
        const QString home = FreeNameIn(entry.home, QFileInfo(entry.parked).fileName());
        if (const int rc = MoveFile(m_files, m_engine, entry.parked, home).error; rc != 0 && IsThere(entry.parked)) {
            failed.append({entry, rc});
            kept.append(entry);
        }
    }
    m_entries = kept;
    // Not saved: the entries of files put back name files that are gone, and the next run drops them.
    (void)Save();
    return failed;
}

QString ParkedFiles::FailureText(const Failure& failure) {
    return u'\n' + ErrnoText(failure.error) + QStringLiteral("\n\n") + failure.entry.parked + QStringLiteral("\n→ ") +
           failure.entry.home;
}

// A file of the same name may have arrived meanwhile: the user's file comes back beside it.
QString ParkedFiles::FreeNameIn(const QString& folder, const QString& name) {
    QString path = ChildPath(folder, name);
    const QFileInfo original(name);
    for (int n = 2; IsThere(path); ++n)
        path = ChildPath(folder, original.completeBaseName() + QStringLiteral(" (%1)").arg(n) +
                                     (original.suffix().isEmpty() ? QString() : u'.' + original.suffix()));
    return path;
}

SysResult ParkedFiles::MoveFile(FileSystem& files, CCryptEngine& engine, const QString& from, const QString& to) {
    const int rc = files.Rename(from, to).error;
    if (rc != EXDEV)
        return rc;
    // The copy keeps the source's modification time: the container made from it stores that time, and the
    // user's file keeps it when it comes back. Its temporary name is one a start-up wipes.
    CopyOptions options;
    options.temp = TempKind::Plain;
    options.discard = [&engine](const QString& temp) {
        QString error;
        (void)engine.WipeAndDelete(temp, error, true);
    };
    if (const CopyResult copied = CopyFileTo(files, from, to, options); !copied.Ok())
        return copied.error != 0 ? copied.error : EIO;
    // Renamed before it is overwritten: a wipe cut short leaves a name the start-up wipes, never a
    // half-zeroed file under the user's name.
    QString error;
    return engine.WipeAndDelete(from, error, true) == 0 ? 0 : EIO;
}

} // namespace korimbo
