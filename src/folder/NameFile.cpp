#include "folder/NameFile.h"

#include "platform/Launcher.h"
#include "state/WorkAreas.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <system_error>
#include <vector>

namespace korimbo {

namespace {

constexpr int kHeaderText = 2;          // B2: the first line of every name file
constexpr int kNoNameFileMarker = 4;    // B4: the mirror of a directory that has no name file

const QString kField0 = QStringLiteral(":*0*:");
const QString kField1 = QStringLiteral(":*1*:");
const QString kField2 = QStringLiteral(":*2*:");
const QString kField3 = QStringLiteral(":*3*:");
const QString kField4 = QStringLiteral(":*4*:");
const QString kField5 = QStringLiteral(":*5*:");
const QString kField6 = QStringLiteral(":*6*:");
const QString kLineEnd = QStringLiteral("\r\n");
// The characters a name cannot hold as they are in a line: the escape itself, the fields' colon, the line end.
constexpr char16_t kEscapedChars[] = {u'%', u':', u'\r', u'\n', u'\0'};

constexpr int kWriteAttempts = 3;
constexpr int kWriteRetryMs = 300;
constexpr int kGuardTries = 100;
constexpr int kGuardStepMs = 100;
constexpr int kRefreshTries = 10;
constexpr int kRefreshStepMs = 200;
constexpr int kLineBatch = 100;
// About 2 ms of AES: the window is pumped between pieces of a large name file. A whole number of blocks.
constexpr qsizetype kCipherPiece = qsizetype(1) << 20;
constexpr int kReplaceStepMs = 5;

// "yyyyMMddhhmmss" in local time, without the cost of a QDateTime per entry.
QString TimeText(qint64 secondsSinceEpoch) {
    const time_t seconds = static_cast<time_t>(secondsSinceEpoch);
    struct tm local {};
    if (!::localtime_r(&seconds, &local))
        return QStringLiteral("00000000000000");
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text, 14);
}

// The part of a line that says which disk entry it describes: ":*0*:" name ":*1*:" time. A view into the
// line, so that keying 100,000 lines neither makes nor later frees a string for each.
QStringView LineKey(const QString& line) {
    const qsizetype time = line.indexOf(kField1);
    if (time < 0)
        return QStringView();
    const qsizetype end = line.indexOf(kField2, time + kField1.size());
    return end < 0 ? QStringView() : QStringView(line).left(end);
}

QString DiskKey(const DiskEntry& entry) {
    return kField0 + NameEntry::Escaped(entry.name) + kField1 + entry.time;
}

bool NeedsEscape(QChar c) {
    for (const char16_t escaped : kEscapedChars)
        if (c == escaped)
            return true;
    return false;
}

QString Unescaped(const QString& field) {
    if (!field.contains(u'%'))
        return field;
    QString name;
    name.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        bool ok = false;
        const int code =
            field.at(i) == u'%' && i + 2 < field.size() ? QStringView(field).mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (ok) {
            name += QChar(char16_t(code));
            i += 2;
        } else {
            name += field.at(i);
        }
    }
    return name;
}

// What a directory entry can be called: no separator, not the folder itself nor its parent.
bool IsEntryName(const QString& name) {
    return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") && !name.contains(u'/');
}

QString FolderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString NameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Waits while another step holds `flag`, pumping; false when it never let go.
template <typename Flag>
bool WaitForFlag(Interaction& ui, const Flag& flag, int tries, int stepMs) {
    for (int i = 0; flag && i < tries; ++i)
        ui.Sleep(stepMs);
    return !flag;
}

struct FlagHolder {
    explicit FlagHolder(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagHolder() { m_flag = false; }
    FlagHolder(const FlagHolder&) = delete;
    FlagHolder& operator=(const FlagHolder&) = delete;
    bool& m_flag;
};

// The non-empty lines of `text` between CR LFs, the window pumped along the way.
QStringList SplitLines(QStringView text, PumpPacer& pacer) {
    QStringList lines;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(kLineEnd, start);
        if (end < 0)
            end = text.size();
        if (end > start)
            lines.append(text.mid(start, end - start).toString());
        start = end + kLineEnd.size();
        static_cast<void>(pacer.Tick());
    }
    return lines;
}

} // namespace

// ---- NameEntry ----

const QString NameEntry::kFormatLine = QStringLiteral(":*F*:2");

QString NameEntry::Escaped(const QString& name) {
    if (std::none_of(name.cbegin(), name.cend(), NeedsEscape))
        return name;
    QString field;
    field.reserve(name.size() + 8);
    for (const QChar c : name) {
        if (NeedsEscape(c))
            field += QStringLiteral("%%1").arg(int(c.unicode()), 2, 16, QChar(u'0')).toUpper();
        else
            field += c;
    }
    return field;
}

QString NameEntry::Line() const {
    return kField0 + Escaped(diskName) + kField1 + diskTime + kField2 + Escaped(displayName) + kField3 +
           QString::number(kind) + kField4 + QString::number(plainSize) + kField5 + encryptedAt + kField6 + modifiedAt;
}

bool NameEntry::Parse(const QString& line, NameEntry& entry, bool escaped) {
    if (!line.startsWith(kField0))
        return false;
    const QString* markers[] = {&kField1, &kField2, &kField3, &kField4, &kField5, &kField6};
    qsizetype starts[7];
    qsizetype ends[7];
    starts[0] = kField0.size();
    for (int i = 0; i < 6; ++i) {
        const qsizetype at = line.indexOf(*markers[i], starts[i]);
        if (at < 0)
            return false;
        ends[i] = at;
        starts[i + 1] = at + markers[i]->size();
    }
    ends[6] = line.size();
    auto field = [&](int i) { return line.mid(starts[i], ends[i] - starts[i]); };
    bool kindOk = false;
    bool sizeOk = false;
    const int kind = field(3).toInt(&kindOk);
    const qint64 size = field(4).toLongLong(&sizeOk);
    const QString diskName = escaped ? Unescaped(field(0)) : field(0);
    if (!kindOk || !sizeOk || kind < kPlain || kind > kFolder || !IsEntryName(diskName))
        return false;
    entry.diskName = diskName;
    entry.diskTime = field(1);
    entry.displayName = escaped ? Unescaped(field(2)) : field(2);
    entry.kind = kind;
    entry.plainSize = size;
    entry.encryptedAt = field(5);
    entry.modifiedAt = field(6);
    return true;
}

QString ReadingProgressText(MessageSource& messages, qsizetype done, qsizetype total) {
    return messages.MsgA(msg::kSearchReading) + QStringLiteral("%1 / %2").arg(done).arg(total);
}

NameIndex IndexByDiskName(const QList<NameEntry>& entries) {
    NameIndex index;
    index.reserve(entries.size());
    for (const NameEntry& entry : entries)
        index.insert(entry.diskName, entry);
    return index;
}

NameIndex IndexByDiskName(QList<NameEntry>&& entries, PumpPacer& pacer) {
    NameIndex index;
    index.reserve(entries.size());
    for (NameEntry& entry : entries) {
        QString name = entry.diskName;
        index.insert(std::move(name), std::move(entry));
        static_cast<void>(pacer.Tick());
    }
    entries.clear();
    return index;
}

QList<DiskEntry> ReadDirectory(const QString& directory, bool skipHidden, PumpPacer* pacer) {
    QList<DiskEntry> entries;
    DIR* dir = ::opendir(NativePath(directory).constData());
    if (!dir)
        return entries;
    const int fd = ::dirfd(dir);
    while (const dirent* found = ::readdir(dir)) {
        if (pacer)
            static_cast<void>(pacer->Tick());
        const char* name = found->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st {};
        bool hidden = name[0] == '.';
        if (::fstatat(fd, name, &st, 0) != 0) {
            hidden = true; // a broken link
            if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
        }
        const bool isFolder = S_ISDIR(st.st_mode);
        const QString text = PathFromNative(QByteArray(name));
        // A write the program did not finish is nobody's entry: a complete one would otherwise pass for a
        // second container of the same name, and a write-back could go into it instead of the container.
        if (!isFolder && name[0] == '.' && CCryptEngine::IsTempName(text))
            continue;
        const bool special = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
        if (skipHidden && hidden)
            continue;
        entries.append({text, TimeText(st.st_mtim.tv_sec), isFolder, hidden, special});
    }
    ::closedir(dir);
    return entries;
}

// ---- CNameFile ----

CNameFile::CNameFile(CCryptEngine& engine, const FolderRegistry& registry, const WorkFolderSettings& workFolder,
                     FileSystem& files, Interaction& ui, MessageSource& messages)
    : m_engine(engine), m_registry(registry), m_workFolder(workFolder), m_files(files), m_ui(ui), m_messages(messages) {
}

QString CNameFile::DiskTimeText(const QFileInfo& info) {
    return TimeText(info.lastModified().toSecsSinceEpoch());
}

QString CNameFile::DiskTimeOf(const QString& path) {
    struct stat st {};
    if (::stat(NativePath(path).constData(), &st) != 0)
        return QString();
    return TimeText(st.st_mtim.tv_sec);
}

QByteArray CNameFile::StampOf(const QString& path) {
    struct stat st {};
    if (::stat(NativePath(path).constData(), &st) != 0)
        return QByteArray();
    const qint64 parts[] = {qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
                            qint64(st.st_mtim.tv_nsec)};
    return QByteArray(reinterpret_cast<const char*>(parts), sizeof parts);
}

QList<DiskEntry> CNameFile::TakeEntriesSeen(const QString& directory) {
    QList<DiskEntry> entries;
    if (directory == m_seenDirectory)
        entries.swap(m_seenEntries);
    else
        entries = ReadDirectory(directory, false);
    m_seenDirectory.clear();
    m_seenEntries.clear();
    return entries;
}

void CNameFile::OfferEntries(const QString& directory, QList<DiskEntry> entries) {
    m_offeredDirectory = directory;
    m_offeredEntries = std::move(entries);
}

void CNameFile::OfferContainer(const QString& path, const ContainerInfo& info, const QString& key,
                               const QString& diskTime) {
    // A bound for offers no refresh takes (a directory never listed again in this run).
    constexpr qsizetype kMostOffered = 200000;
    if (m_offeredContainers.size() >= kMostOffered)
        m_offeredContainers.clear();
    m_offeredContainers.insert(path, {key, diskTime, info.name, info.plainSize, info.encryptedAtText, info.modifiedText});
}

const QString& CNameFile::HeaderText() {
    if (m_header.isEmpty())
        m_header = m_messages.MsgB(kHeaderText);
    return m_header;
}

const QString& CNameFile::NoNameFileMarker() {
    if (m_noNameFile.isEmpty())
        m_noNameFile = m_messages.MsgB(kNoNameFileMarker);
    return m_noNameFile;
}

QString CNameFile::OwningRoot(const QString& path) const {
    // The first registered root that is the path or lies above it, by the text ("/data/box" does not own
    // "/data/boxes"): the rest of the path is cut from it.
    for (const auto& [slot, root] : m_registry.RegisteredFolders())
        if (IsWithinPath(path, root))
            return root;
    return QString();
}

namespace {

// The mirror of a directory, one step for each of its steps. A work root that folds case gives the step
// of "Docs" to "docs" too: the second to come gets a step named after its exact name, so that two
// directories never share one name file.
QString CaseKeptStep(const QString& name) {
    return QStringLiteral(".case-") +
           QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString MirrorOf(const QString& mirror, const QString& relative) {
    QString path = mirror;
    for (const QString& name : relative.split(u'/', Qt::SkipEmptyParts)) {
        const QString step = ChildPath(path, name);
        path = HeldUnderOtherName(step).isEmpty() ? step : ChildPath(path, CaseKeptStep(name));
    }
    return path;
}

} // namespace

QString CNameFile::NameFilePath(const QString& directory) {
    const QString root = OwningRoot(directory);
    const int slot = root.isEmpty() ? -1 : m_registry.SlotOf(root);
    const QString mirror =
        slot < 0 ? QString()
                 : WorkAreas::AreaOf(m_workFolder.angoTempFolder, m_registry.WorkIdText(slot), WorkAreas::kNameFile);
    if (mirror.isEmpty()) {
        ReportMessage(m_ui, m_messages, msg::kListedWithoutNameFile, directory, Icon::Warning);
        return NoNameFileMarker() + u'/' + kFileName;
    }
    return MirrorOf(mirror, directory.mid(root.size())) + u'/' + kFileName;
}

bool CNameFile::IsWithoutNameFile(const QString& nameFilePath) const {
    const QString marker = const_cast<CNameFile*>(this)->NoNameFileMarker();
    return !marker.isEmpty() && nameFilePath.startsWith(marker);
}

int CNameFile::RefreshNameFile(const QString& directory, const QString& key) {
    // An offer holds only for the refresh that follows it.
    QList<DiskEntry> offered;
    const bool hasOffer = directory == m_offeredDirectory;
    if (hasOffer)
        offered.swap(m_offeredEntries);
    m_offeredDirectory.clear();
    m_offeredEntries.clear();
    m_seenDirectory.clear();
    m_seenEntries.clear();
    m_refreshedPath.clear();
    m_refreshedText.clear();
    const QString path = NameFilePath(directory);
    if (IsWithoutNameFile(path))
        return 0;
    // A refresh that still runs (re-entered through a pump) gets a while to finish, then is overtaken.
    WaitForFlag(m_ui, m_refreshing, kRefreshTries, kRefreshStepMs);
    FlagHolder holding(m_refreshing);
    ++m_refreshes;

    const QString header = HeaderText();
    const QString headerLine = header + kLineEnd;
    qint64 size = 0;
    if (m_files.Exists(path) && m_files.Size(path, size).Ok() && size == 0) {
        static_cast<void>(m_files.MakeWritable(path));
        if (m_files.Remove(path).Failed())
            return ReportMessage(m_ui, m_messages, msg::kNameFileNotDeleted,
                                 WithPath(QString(), path, PathSeparator::Line));
    }
    if (!m_files.Exists(path) && WriteNameFile(path, headerLine, key) != 0)
        return -1;

    // Reading a large name file from the disk is one step that cannot pump: it starts with a fresh interval.
    PumpPacer pacer(m_ui);
    m_ui.Pump();
    QString text;
    const int read = ReadText(path, key, text);
    m_ui.Pump();
    if (read == kReadIoFailed)
        return -1;
    if (read == kReadOk && text.startsWith(header) && text.size() > headerLine.size() + 2 && !text.contains(kField6) &&
        !text.contains(NameEntry::kFormatLine)) {
        // Lines without their last field are of no use: start again from the header alone.
        if (WriteNameFile(path, headerLine, key) != 0 || ReadNameFile(path, key, text) != 0)
            return -1;
    }
    if (read == kReadUndecipherable || !text.startsWith(header)) {
        // Damaged or left by a crash: the file is only a cache of the headers, so it is made again.
        ReportMessage(m_ui, m_messages, msg::kNameFileDamaged, path);
        text = headerLine;
    }

    bool upgraded = false;
    QStringList lines = EntryLines(text, upgraded, pacer);

    m_seenDirectory = directory;
    m_seenEntries = hasOffer ? std::move(offered) : ReadDirectory(directory, false, &pacer);
    RemoveLeftovers(directory);
    const QList<DiskEntry>& disk = m_seenEntries;
    // A directory of many thousand entries takes seconds when every header is read: the window is pumped
    // along the way and shows how far the pass got.
    QHash<QStringView, int> lineByKey; // views into `lines`, which outlive it
    lineByKey.reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QStringView lineKey = LineKey(lines.at(i));
        if (!lineKey.isEmpty())
            lineByKey.insert(lineKey, i);
        static_cast<void>(pacer.Tick());
    }

    // One pass finds the lines kept and reads the headers of the entries without one.
    std::vector<char> keep(static_cast<std::size_t>(lines.size()), 0);
    QStringList added;
    qsizetype done = 0;
    qsizetype unmatched = 0;
    for (const DiskEntry& entry : disk) {
        ++done;
        if (pacer.Tick())
            m_ui.SetStatusText(ReadingProgressText(m_messages, done, disk.size()));
        const QString diskKey = DiskKey(entry);
        const auto found = lineByKey.constFind(QStringView(diskKey));
        if (found != lineByKey.constEnd()) {
            keep[static_cast<std::size_t>(found.value())] = 1;
            continue;
        }
        ++unmatched;
        NameEntry made;
        if (EntryFromDisk(directory, entry, key, made) == 0)
            added.append(made.Line());
    }
    ReleasePaced(lineByKey, pacer);
    const bool consistent = !upgraded && lines.size() == disk.size() && unmatched == 0;
    if (consistent) {
        ReleasePaced(lines, pacer);
        Remember(path, text);
        return 0;
    }

    QString out = headerLine + NameEntry::kFormatLine + kLineEnd;
    QString batch;
    int inBatch = 0;
    auto append = [&](const QString& line) {
        static_cast<void>(pacer.Tick());
        if (!line.contains(kField6)) {
            ReportMessage(m_ui, m_messages, msg::kNameFileBadLine, WithPath(QString(), line, PathSeparator::Line));
            return;
        }
        batch += line;
        batch += kLineEnd;
        if (++inBatch == kLineBatch) {
            out += batch;
            batch.clear();
            inBatch = 0;
        }
    };
    for (int i = 0; i < lines.size(); ++i)
        if (keep[static_cast<std::size_t>(i)])
            append(lines.at(i));
    for (const QString& line : added)
        append(line);
    out += batch;
    // What the text was made from goes before the write, a piece at a time.
    ReleasePaced(lines, pacer);
    ReleasePaced(added, pacer);
    text.clear();
    if (WriteNameFile(path, out, key) != 0)
        return -1;
    Remember(path, out);
    return 0;
}

QStringList CNameFile::EntryLines(const QString& text, bool& upgraded, PumpPacer& pacer) {
    // Trimming the text may have left the header's own line end short, so the header alone is cut off.
    QStringList lines = SplitLines(QStringView(text).mid(HeaderText().size()), pacer);
    upgraded = !lines.isEmpty() && lines.first() != NameEntry::kFormatLine;
    if (!upgraded) {
        if (!lines.isEmpty())
            lines.removeFirst();
        return lines;
    }
    // Names were written as they are: each line is read the old way and written the new one. A line that
    // a name split is dropped, and its entry read again from the disk.
    QStringList escaped;
    escaped.reserve(lines.size());
    for (const QString& line : lines) {
        NameEntry entry;
        if (NameEntry::Parse(line, entry, false))
            escaped.append(entry.Line());
        static_cast<void>(pacer.Tick());
    }
    return escaped;
}

void CNameFile::Remember(const QString& path, const QString& text) {
    m_refreshedPath = path;
    m_refreshedText = text;
    m_refreshedStamp = StampOf(path);
}

void CNameFile::RemoveLeftovers(const QString& directory) {
    if (!m_processes)
        return;
    // The listing leaves our temporary files out, so they are looked for on their own: names only, no
    // stat, which costs little beside the listing itself.
    const QStringList leftovers = CCryptEngine::TempNamesIn(directory);
    for (const QString& name : leftovers) {
        const QString path = directory + u'/' + name;
        // Open means a write still runs (here or in another instance): its file is not left over.
        if (QFileInfo(path).isFile() && !m_processes->IsOpenElsewhere(path) && m_files.Remove(path).Ok())
            ++m_leftoversRemoved;
    }
}

int CNameFile::EntryFromDisk(const QString& directory, const DiskEntry& disk, const QString& key, NameEntry& entry) {
    entry = NameEntry();
    entry.diskName = disk.name;
    entry.diskTime = disk.time;
    entry.displayName = disk.name;
    entry.encryptedAt = QStringLiteral("0");
    entry.modifiedAt = QStringLiteral("0");
    if (disk.isFolder) {
        entry.kind = NameEntry::kFolder;
        return 0;
    }
    if (disk.special)
        return 0; // a pipe, socket or device is never opened: a plain entry
    const QString path = directory + u'/' + disk.name;
    OfferedContainer known;
    if (!TakeOffer(path, key, disk.time, known)) {
        ContainerInfo info;
        ++m_headerReads;
        const std::optional<ContainerCheck> check = m_engine.CheckContainer(path, info, key, false);
        if (!check)
            return -1; // cannot be read at all: no line, the next refresh tries again
        if (!check->Usable())
            return 0;
        known = {key, disk.time, info.name, info.plainSize, info.encryptedAtText, info.modifiedText};
    }
    entry.kind = NameEntry::kContainer;
    entry.displayName = known.name;
    entry.plainSize = known.plainSize;
    entry.encryptedAt = known.encryptedAt;
    entry.modifiedAt = known.modifiedAt;
    return 0;
}

// The offer for `path` when it still stands for the file there (same key, same time); used up either way.
bool CNameFile::TakeOffer(const QString& path, const QString& key, const QString& diskTime, OfferedContainer& known) {
    const auto offered = m_offeredContainers.constFind(path);
    if (offered == m_offeredContainers.cend())
        return false;
    known = *offered;
    m_offeredContainers.erase(offered);
    return known.key == key && known.diskTime == diskTime;
}

int CNameFile::LoadNameEntries(const QString& directory, const QString& key, bool includeFolders,
                               QList<NameEntry>& entries) {
    entries.clear();
    const QString path = NameFilePath(directory);
    if (IsWithoutNameFile(path))
        return 0;
    // Nothing on this thread can finish a refresh while we wait, so the wait is bounded like a refresh's.
    WaitForFlag(m_ui, m_refreshing, kRefreshTries, kRefreshStepMs);
    QString text;
    const bool fresh = path == m_refreshedPath && !m_refreshedStamp.isEmpty() && StampOf(path) == m_refreshedStamp;
    if (fresh)
        text.swap(m_refreshedText); // the file is still what the refresh read or wrote
    if (path == m_refreshedPath) {
        m_refreshedPath.clear();
        m_refreshedText.clear();
    }
    if (!fresh && ReadNameFile(path, key, text) != 0)
        return -1;
    const QString header = HeaderText();
    if (!text.startsWith(header))
        return ReportMessage(m_ui, m_messages, msg::kNameFileBadOnLoad, path);
    bool upgraded = false;
    PumpPacer pacer(m_ui);
    QStringList lines = EntryLines(text, upgraded, pacer);
    entries.reserve(lines.size());
    for (const QString& line : lines) {
        NameEntry entry;
        if (NameEntry::Parse(line, entry) && (includeFolders || entry.kind != NameEntry::kFolder))
            entries.append(std::move(entry));
        static_cast<void>(pacer.Tick());
    }
    ReleasePaced(lines, pacer);
    return 0;
}

bool CNameFile::HasSubfolders(const QString& directory, const QString& key) {
    const QString path = NameFilePath(directory);
    if (!IsWithoutNameFile(path) && m_engine.HasKey(key) && m_files.Exists(path)) {
        QList<NameEntry> entries;
        if (LoadNameEntries(directory, key, true, entries) == 0) {
            for (const NameEntry& entry : entries)
                if (entry.kind == NameEntry::kFolder)
                    return true;
            return false;
        }
    }
    return !FindBelow(directory, [](const TreeEntry& entry) {
                return entry.kind == ItemKind::Folder ||
                       (entry.kind == ItemKind::Link && QFileInfo(entry.path).isDir());
            }).isEmpty();
}

int CNameFile::ReadNameFile(const QString& path, const QString& key, QString& text) {
    const int read = ReadText(path, key, text);
    if (read == kReadUndecipherable)
        return ReportMessage(m_ui, m_messages, msg::kNameFileBadOnLoad, path);
    return read == kReadOk ? 0 : -1;
}

int CNameFile::ReadText(const QString& path, const QString& key, QString& text) {
    text.clear();
    if (!WaitForFlag(m_ui, m_writing, kGuardTries, kGuardStepMs))
        return kReadIoFailed;
    QByteArray bytes;
    int error = 0;
    {
        FlagHolder holding(m_reading);
        error = m_files.ReadContents(path, bytes).error;
    }
    if (error != 0) {
        ReportMessage(m_ui, m_messages, msg::kNameFileNotRead,
                      WithPath(QString(), FolderOf(path), PathSeparator::Line) + u'\n' + NameOf(path));
        return kReadIoFailed;
    }
    // Only whole cipher blocks can be deciphered; anything else is not a name file we wrote.
    if (bytes.size() % 16 != 0)
        return kReadUndecipherable;
    // A failing decipherment (no such key, the engine busy) is the engine's to report, not damage.
    PumpPacer pacer(m_ui);
    if (DecipheredText(bytes, key, text, pacer) != 0) {
        text.clear();
        return kReadIoFailed;
    }
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return kReadOk;
}

int CNameFile::WriteNameFile(const QString& path, const QString& text, const QString& key) {
    // Enciphered before any file is touched, so the pumps between its pieces hold up no reader or writer.
    PumpPacer pacer(m_ui);
    QByteArray bytes;
    if (EncipheredText(text, key, bytes, pacer) != 0)
        return -1;
    // A write still running (one of ours, re-entered through a pump) lands first: the newer text wins.
    if (!WaitForFlag(m_ui, m_reading, kGuardTries, kGuardStepMs) ||
        !WaitForFlag(m_ui, m_writing, kGuardTries, kGuardStepMs))
        return -1;

    const QString folder = FolderOf(path);
    const QString where = WithPath(QString(), folder, PathSeparator::Line) + u'\n' + NameOf(path);
    if (m_files.MakePrivateFolder(folder).Failed())
        return ReportMessage(m_ui, m_messages, msg::kNameFileNotWritten, path);
    if (m_files.Exists(path) && m_files.MakeWritable(path).Failed())
        return ReportMessage(m_ui, m_messages, msg::kNameFileNotWritable, where);

    // Written beside the old file and renamed over it: a failure or a crash leaves the old one whole.
    int error = 0;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (attempt > 0)
            m_ui.Sleep(kWriteRetryMs);
        error = ReplaceFile(path, bytes, pacer).error;
        if (error == 0)
            break;
    }
    int result = 0;
    if (error != 0)
        result = ReportMessage(m_ui, m_messages, msg::kNameFileNotWritten, path);
    if (m_files.Exists(path) && m_files.SetReadOnly(path).Failed())
        result = ReportMessage(m_ui, m_messages, msg::kNameFileReadOnlyFailed, where);
    return result;
}

int CNameFile::EncipheredText(const QString& text, const QString& key, QByteArray& bytes, PumpPacer& pacer) {
    // Always 2 to 16 zero bytes after the text, so the text ends with a zero character.
    const qsizetype textBytes = text.size() * 2;
    const qsizetype padded = (textBytes / 16 + 1) * 16;
    bytes = QByteArray(padded, Qt::Uninitialized);
    auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
    const auto* source = reinterpret_cast<const std::uint8_t*>(text.utf16());
    for (qsizetype at = 0; at < padded; at += kCipherPiece) {
        const qsizetype length = std::min(kCipherPiece, padded - at);
        const qsizetype copied = std::clamp<qsizetype>(textBytes - at, 0, length);
        std::memcpy(data + at, source + at, static_cast<std::size_t>(copied));
        std::memset(data + at + copied, 0, static_cast<std::size_t>(length - copied));
        if (m_engine.EncipherBuffer(data + at, length, key, at == 0 ? nullptr : data + at - 16) != 0)
            return -1;
        static_cast<void>(pacer.Tick());
    }
    return 0;
}

int CNameFile::DecipheredText(QByteArray& bytes, const QString& key, QString& text, PumpPacer& pacer) {
    auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
    const qsizetype length = bytes.size();
    text.reserve(length / 2);
    std::uint8_t chain[16];
    for (qsizetype at = 0; at < length; at += kCipherPiece) {
        const qsizetype size = std::min(kCipherPiece, length - at);
        // The next piece chains to this one's last block as it was before it is deciphered in place.
        std::uint8_t next[16];
        std::memcpy(next, data + at + size - 16, sizeof next);
        if (m_engine.DecipherBuffer(data + at, size, key, at == 0 ? nullptr : chain) != 0)
            return -1;
        std::memcpy(chain, next, sizeof chain);
        const auto* units = reinterpret_cast<const char16_t*>(data + at);
        const char16_t* end = std::find(units, units + size / 2, u'\0');
        text.append(QStringView(units, end - units));
        static_cast<void>(pacer.Tick());
        if (end != units + size / 2)
            break; // the padding
    }
    return 0;
}

SysResult CNameFile::ReplaceFile(const QString& path, const QByteArray& bytes, PumpPacer& pacer) {
    if (bytes.size() < kCipherPiece)
        return m_files.ReplaceContents(path, bytes);
    // Writing and making durable tens of megabytes takes longer than the window may wait. Only the file
    // layer is used there; a reader that comes through a pump waits for the flag, which the thread clears.
    m_writing = true;
    std::future<SysResult> replaced;
    try {
        replaced = std::async(std::launch::async, [this, path, bytes] {
            const SysResult result = m_files.ReplaceContents(path, bytes);
            m_writing = false;
            return result;
        });
    } catch (const std::system_error&) {
        // No thread to be had: written here, the window waiting.
        m_writing = false;
        return m_files.ReplaceContents(path, bytes);
    }
    while (replaced.wait_for(std::chrono::milliseconds(kReplaceStepMs)) != std::future_status::ready)
        static_cast<void>(pacer.Tick());
    return replaced.get();
}

} // namespace korimbo
