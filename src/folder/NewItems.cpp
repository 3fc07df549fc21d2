#include "folder/NewItems.h"

#include "state/WorkAreas.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

#include <cerrno>

namespace korimbo {

namespace {

// The counter of the collision names has no practical limit.
constexpr int kMaxAttempts = 999999999;

const QString kNullFile = QStringLiteral("NullFile");
const QString kFileName = QStringLiteral("FileName");
const QString kData = QStringLiteral("Data");

QString Numbered(int n) {
    return QStringLiteral(" (") + QString::number(n) + u')';
}

} // namespace

CNewItems::CNewItems(FolderRegistry& registry, CNameFile& nameFile, Associations& associations,
                     const WorkFolderSettings& workFolder, FileSystem& files, Interaction& ui, MessageSource& messages,
                     CEncryptIn& encryptIn)
    : m_registry(registry), m_nameFile(nameFile), m_associations(associations), m_workFolder(workFolder),
      m_files(files), m_ui(ui), m_messages(messages), m_encryptIn(encryptIn) {}

QString CNewItems::NewFolderName(const NameTaken& taken) {
    const QString base = QStringLiteral("新しいフォルダー");
    if (!taken(base))
        return base;
    for (int n = 2; n < kMaxAttempts; ++n)
        if (const QString name = base + Numbered(n); !taken(name))
            return name;
    return QString();
}

QString CNewItems::NewFileName(const QString& typeText, const QString& extension, const NameTaken& taken) {
    const QString stem = QStringLiteral("新規 ") + typeText;
    if (!taken(stem + extension))
        return stem + extension;
    for (int n = 2; n < kMaxAttempts; ++n)
        if (const QString name = stem + Numbered(n) + extension; !taken(name))
            return name;
    return QString();
}

QString CNewItems::TypeText(Associations& associations, const QString& extension) {
    QString text;
    if (associations.FileTypeName(extension, text) == 0 && !text.isEmpty())
        return text;
    const QString bare = extension.startsWith(u'.') ? extension.mid(1) : extension;
    return bare.isEmpty() ? QStringLiteral("ファイル") : bare.toUpper() + QStringLiteral(" ファイル");
}

int CNewItems::Report(int number, int error, const QString& path) {
    return ReportMessage(m_ui, m_messages, number, ErrnoText(error) + QStringLiteral("\n\n") + path);
}

OpResult CNewItems::Fail(int number, int error, const QString& path) {
    Report(number, error, path);
    return OpResult::kFailed;
}

bool CNewItems::Writable(const QString& directory, QString& key) {
    key = m_nameFile.OwningRoot(directory);
    const int slot = m_registry.SlotOf(key);
    if (slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1")) {
        ReportMessage(m_ui, m_messages, msg::kReadOnlyFolder, QString(), Icon::Warning);
        return false;
    }
    return true;
}

CNewItems::NameTaken CNewItems::TakenIn(const QString& directory, const QString& key, bool& ok) {
    QList<NameEntry> entries;
    ok = m_nameFile.RefreshNameFile(directory, key) == 0 &&
         m_nameFile.LoadNameEntries(directory, key, true, entries) == 0;
    QSet<QString> names;
    for (const NameEntry& entry : std::as_const(entries))
        names.insert(entry.displayName.toCaseFolded());
    return [names, directory](const QString& name) {
        // A hidden entry is in no name file, yet it holds its name on the disk.
        return names.contains(name.toCaseFolded()) || QFileInfo::exists(ChildPath(directory, name)) ||
               QFileInfo(ChildPath(directory, name)).isSymLink();
    };
}

OpResult CNewItems::NewFolder(const QString& rawDirectory, QString& created) {
    const QString directory = CleanPath(rawDirectory);
    QString key;
    if (!Writable(directory, key))
        return OpResult::kFailed;
    if (!QFileInfo(directory).isDir())
        return Fail(msg::kFolderNotMade, ENOENT, directory);
    bool ok = false;
    const NameTaken taken = TakenIn(directory, key, ok);
    if (!ok)
        return OpResult::kFailed;
    const QString name = NewFolderName(taken);
    const QString path = ChildPath(directory, name);
    if (const int rc = m_files.MakeFolder(path).error; rc != 0)
        return Fail(msg::kFolderNotMade, rc, name);
    m_nameFile.RefreshNameFile(directory, key);
    created = path;
    return OpResult::kDone;
}

OpResult CNewItems::NewFile(const QString& rawDirectory, const QString& extension, QString& container) {
    const QString directory = CleanPath(rawDirectory);
    QString key;
    if (!Writable(directory, key))
        return OpResult::kFailed;
    const QString ext = extension.startsWith(u'.') ? extension : u'.' + extension;
    ShellNew description;
    if (m_associations.ShellNewOf(ext, description) != 0 || description.kind.isEmpty())
        return Fail(msg::kFileNotMade, ENOENT, ext);
    if (!QFileInfo(directory).isDir())
        return Fail(msg::kFileNotMade, ENOENT, directory);
    bool ok = false;
    const NameTaken taken = TakenIn(directory, key, ok);
    if (!ok)
        return OpResult::kFailed;
    const QString name = NewFileName(TypeText(m_associations, ext), ext, taken);

    // A folder of its own in the creation area keeps the file's name free of anything else there.
    const int slot = m_registry.SlotOf(key);
    const QString area = slot < 0 ? QString()
                                  : WorkAreas::AreaOf(m_workFolder.RootOf(WorkAreas::kCreation),
                                                      m_registry.WorkIdText(slot), WorkAreas::kCreation);
    QString unique;
    if (area.isEmpty() || UniqueNameText(false, unique) != 0)
        return Fail(msg::kFileNotMade, ENOENT, area);
    const QString aside = ChildPath(area, unique);
    if (const int rc = m_files.MakePrivateFolder(aside).error; rc != 0)
        return Fail(msg::kFileNotMade, rc, aside);
    const QString plain = ChildPath(aside, name);
    const auto cleanUp = [&] {
        if (m_files.Exists(plain))
            static_cast<void>(m_files.Remove(plain));
        static_cast<void>(m_files.RemoveFolder(aside));
    };
    if (WriteNewFile(description, plain) != 0) {
        cleanUp();
        return OpResult::kFailed;
    }

    // Moved in: the plain file goes once its container is on disk.
    EncryptInRequest request;
    request.mode = EncryptInRequest::kMove;
    request.sources = {plain};
    request.destination = directory;
    const OpResult rc = m_encryptIn.Run(request);
    cleanUp();
    if (rc != OpResult::kDone)
        return OpResult::kFailed;
    QList<NameEntry> entries;
    if (m_nameFile.LoadNameEntries(directory, key, false, entries) != 0)
        return OpResult::kFailed;
    for (const NameEntry& entry : std::as_const(entries)) {
        if (entry.kind == NameEntry::kContainer && entry.displayName == name) {
            container = ChildPath(directory, entry.diskName);
            return OpResult::kDone;
        }
    }
    return Fail(msg::kFileNotMade, ENOENT, name);
}

int CNewItems::WriteNewFile(const ShellNew& description, const QString& path) {
    if (description.kind == kFileName) {
        if (description.value.isEmpty())
            return Report(msg::kTemplateNotCopied, ENOENT, description.value);
        return CopyTemplate(description.value, path);
    }
    QByteArray bytes;
    if (description.kind == kData)
        bytes = description.value.toUtf8();
    else if (description.kind != kNullFile)
        return Report(msg::kFileNotMade, EINVAL, description.kind);
    int error = 0;
    std::unique_ptr<File> out = m_files.Open(path, OpenMode::WriteTruncate, error);
    if (!out)
        return Report(msg::kFileNotMade, error, path);
    if (!bytes.isEmpty() && out->Write(bytes.constData(), bytes.size()) != bytes.size())
        return Report(msg::kFileNotMade, out->Error() != 0 ? out->Error() : EIO, path);
    return 0;
}

int CNewItems::CopyTemplate(const QString& from, const QString& to) {
    CopyOptions options;
    options.temp = TempKind::Plain;
    options.sync = false; // it is encrypted in and wiped at once
    options.progress = [this](qint64) {
        m_ui.Pump();
        return true;
    };
    if (const CopyResult copied = CopyFileTo(m_files, from, to, options); !copied.Ok()) {
        const int error = copied.error != 0 ? copied.error : EIO;
        return copied.SourceFailed() ? Report(msg::kTemplateNotCopied, error, from)
                                     : Report(msg::kFileNotMade, error, to);
    }
    // A new file, whatever the age of its template.
    static_cast<void>(m_files.SetModificationTime(to, QDateTime::currentSecsSinceEpoch()));
    return 0;
}

} // namespace korimbo
