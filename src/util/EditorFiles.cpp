#include "util/EditorFiles.h"

#include "util/OpenFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

namespace korimbo {

namespace {

const QString kOfficeLockPrefix = QStringLiteral(".~lock.");
const QString kKateSwapSuffix = QStringLiteral(".kate-swp");
const QString kGLibTemporaryPrefix = QStringLiteral(".goutputstream-");
// vim names its swap files ".swp", then ".swo", ".swn" and on down to ".swa" while the earlier ones are taken;
// beside a copy the first three are looked for.
const QStringList kVimSwapSuffixes = {QStringLiteral(".swp"), QStringLiteral(".swo"), QStringLiteral(".swn")};

// vim's block 0: "b0", the version, then four-byte little-endian numbers; the PID at 24, the host at 68.
constexpr int kVimPidAt = 24;
constexpr int kVimHostAt = 68;
constexpr int kVimHostSize = 40;
constexpr int kVimHeaderSize = kVimHostAt + kVimHostSize;

// The office suite's lock line: name, system user, host, time, profile URL; ',' ';' '\' escaped by '\'.
constexpr int kOfficeHostField = 2;

bool IsWriteProbe(const QString& name) {
    bool number = false;
    const int value = name.toInt(&number);
    return number && name.at(0) != u'0' && value >= 4913 && (value - 4913) % 123 == 0 && value < 4913 + 123 * 100;
}

// QSaveFile appends six random letters and digits; a real extension of six is one case of letters.
bool IsSaveTemporary(const QString& name) {
    static const QRegularExpression kSuffix(QStringLiteral("^.+\\.([A-Za-z0-9]{6})$"));
    const QRegularExpressionMatch match = kSuffix.match(name);
    if (!match.hasMatch())
        return false;
    int lower = 0;
    int upper = 0;
    int digits = 0;
    for (const QChar ch : match.capturedView(1)) {
        lower += ch.isLower() ? 1 : 0;
        upper += ch.isUpper() ? 1 : 0;
        digits += ch.isDigit() ? 1 : 0;
    }
    const int kinds = (lower > 0 ? 1 : 0) + (upper > 0 ? 1 : 0) + (digits > 0 ? 1 : 0);
    return kinds >= 2;
}

// The engine's temporaries beside a target, the lease probe of OpenFiles, a wipe's "<GUID>.delf".
bool IsOwnScratch(const QString& name) {
    static const QRegularExpression kOwn(QStringLiteral(
        "^(\\.korimbo-([0-9A-F]{16}(\\.plain)?\\.part|lease-[A-Za-z0-9]{6})|[0-9A-F]{16}-[0-9A-F]{16}\\.delf)$"));
    return kOwn.match(name).hasMatch();
}

bool IsVimSwap(const QString& name) {
    static const QRegularExpression kSwap(QStringLiteral("^\\..+\\.sw[a-p]$"));
    return kSwap.match(name).hasMatch();
}

// The host names as they are written: vim cuts them to 39 bytes, others may add the domain.
bool IsThisHost(const QString& recorded) {
    const QString here = QSysInfo::machineHostName();
    if (recorded.compare(here, Qt::CaseInsensitive) == 0)
        return true;
    if (recorded.size() == kVimHostSize - 1 && here.startsWith(recorded, Qt::CaseInsensitive))
        return true;
    const QString shortRecorded = recorded.section(u'.', 0, 0);
    return !shortRecorded.isEmpty() && shortRecorded.compare(here.section(u'.', 0, 0), Qt::CaseInsensitive) == 0;
}

// An ended process that its parent has not reaped yet is as good as gone.
bool ProcessRuns(qint64 pid) {
    if (pid <= 0 || pid > 0x3fffffff)
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true; // another user's, or /proc hidden: kill() said it exists
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    const char state = close >= 0 && close + 2 < line.size() ? line.at(close + 2) : 'R';
    return state != 'Z' && state != 'X';
}

// What a companion records of its owner.
struct Owner {
    bool known = false; // false: nothing readable, the holders decide
    QString host;
    qint64 pid = 0; // 0: none recorded
};

Owner OfficeLockOwner(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = file.read(4096);
    QStringList fields;
    QByteArray field;
    bool ended = false;
    for (qsizetype i = 0; i < line.size() && !ended; ++i) {
        const char ch = line.at(i);
        if (ch == '\\' && i + 1 < line.size()) {
            field.append(line.at(++i));
        } else if (ch == ',' || ch == ';') {
            fields.append(QString::fromUtf8(field));
            field.clear();
            ended = ch == ';';
        } else {
            field.append(ch);
        }
    }
    if (!ended || fields.size() <= kOfficeHostField)
        return {};
    return Owner{true, fields.at(kOfficeHostField), 0};
}

Owner VimSwapOwner(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray header = file.read(kVimHeaderSize);
    if (header.size() < kVimHeaderSize || header.at(0) != 'b' || !header.mid(2, 3).startsWith("VIM"))
        return {};
    qint64 pid = 0;
    for (int i = 3; i >= 0; --i)
        pid = (pid << 8) | quint8(header.at(kVimPidAt + i));
    QByteArray host = header.mid(kVimHostAt, kVimHostSize);
    host.truncate(host.indexOf('\0') < 0 ? host.size() : host.indexOf('\0'));
    return Owner{true, QString::fromUtf8(host), pid};
}

// "user@host.PID:boot" (":boot" may be missing); a link, or a plain file where links cannot be made.
Owner EmacsLockOwner(const QString& path) {
    QByteArray target = ReadLink(QFile::encodeName(path));
    if (target.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            target = file.read(1024).trimmed();
    }
    static const QRegularExpression kTarget(QStringLiteral("^[^@]*@(.+)\\.(\\d+)(:\\d+)?$"));
    const QRegularExpressionMatch match = kTarget.match(QString::fromUtf8(target));
    if (!match.hasMatch())
        return {};
    return Owner{true, match.captured(1), match.captured(2).toLongLong()};
}

bool HeldOpen(const EditorCompanion& companion, const QString& file) {
    return ProcessHoldingFile(file) != 0 || ProcessHoldingFile(companion.path) != 0;
}

bool IsLockKind(EditorFileKind kind) {
    return kind == EditorFileKind::OfficeLock || kind == EditorFileKind::VimSwap || kind == EditorFileKind::KateSwap ||
           kind == EditorFileKind::EmacsLock;
}

} // namespace

EditorFileKind EditorFileKindOf(const QString& name) {
    if (name.size() > kOfficeLockPrefix.size() + 1 && name.startsWith(kOfficeLockPrefix) && name.endsWith(u'#'))
        return EditorFileKind::OfficeLock;
    if (name.size() > 2 && name.startsWith(QStringLiteral(".#")))
        return EditorFileKind::EmacsLock;
    if (name.size() > kKateSwapSuffix.size() + 1 && name.startsWith(u'.') && name.endsWith(kKateSwapSuffix))
        return EditorFileKind::KateSwap;
    if (IsVimSwap(name))
        return EditorFileKind::VimSwap;
    if (IsOwnScratch(name))
        return EditorFileKind::OwnScratch;
    if (name.size() > 2 && name.startsWith(u'#') && name.endsWith(u'#'))
        return EditorFileKind::EmacsAutoSave;
    if (name.size() > 1 && name.endsWith(u'~'))
        return EditorFileKind::Backup;
    if (name.startsWith(kGLibTemporaryPrefix) || IsSaveTemporary(name))
        return EditorFileKind::SaveTemporary;
    if (IsWriteProbe(name))
        return EditorFileKind::WriteProbe;
    return EditorFileKind::None;
}

bool IsEditorScratchName(const QString& name) {
    return EditorFileKindOf(name) != EditorFileKind::None;
}

QList<EditorCompanion> EditorCompanionsOf(const QString& file) {
    const QFileInfo info(file);
    const QString folder = info.absolutePath() + u'/';
    const QString name = info.fileName();
    // vim puts a dot in front unless the name has one already; kate always does.
    const QString dotted = name.startsWith(u'.') ? name : u'.' + name;
    QList<EditorCompanion> candidates = {
        {folder + kOfficeLockPrefix + name + u'#', EditorFileKind::OfficeLock},
        {folder + u'.' + name + kKateSwapSuffix, EditorFileKind::KateSwap},
        {folder + QStringLiteral(".#") + name, EditorFileKind::EmacsLock},
        {folder + u'#' + name + u'#', EditorFileKind::EmacsAutoSave},
        {folder + name + u'~', EditorFileKind::Backup},
    };
    for (const QString& suffix : kVimSwapSuffixes)
        candidates.append({folder + dotted + suffix, EditorFileKind::VimSwap});
    QList<EditorCompanion> present;
    for (const EditorCompanion& candidate : candidates) {
        const QFileInfo companion(candidate.path);
        if (companion.exists() || companion.isSymLink())
            present.append(candidate);
    }
    return present;
}

bool CompanionOwnerAlive(const EditorCompanion& companion, const QString& file) {
    Owner owner;
    switch (companion.kind) {
    case EditorFileKind::OfficeLock:
        owner = OfficeLockOwner(companion.path);
        break;
    case EditorFileKind::VimSwap:
        owner = VimSwapOwner(companion.path);
        break;
    case EditorFileKind::EmacsLock:
        owner = EmacsLockOwner(companion.path);
        break;
    case EditorFileKind::EmacsAutoSave: {
        // emacs keeps its lock beside the file for as long as the buffer has unsaved changes.
        const QFileInfo info(file);
        const EditorCompanion lock{info.absolutePath() + QStringLiteral("/.#") + info.fileName(),
                                   EditorFileKind::EmacsLock};
        if (QFileInfo(lock.path).isSymLink() || QFileInfo::exists(lock.path))
            return CompanionOwnerAlive(lock, file);
        break;
    }
    default:
        break;
    }
    if (owner.known && !owner.host.isEmpty() && !IsThisHost(owner.host))
        return true;
    if (owner.known && owner.pid > 0)
        return ProcessRuns(owner.pid);
    return HeldOpen(companion, file);
}

bool IsLockedByEditor(const QString& file) {
    for (const EditorCompanion& companion : EditorCompanionsOf(file)) {
        if (IsLockKind(companion.kind) && CompanionOwnerAlive(companion, file))
            return true;
    }
    return false;
}

QStringList EndedCompanionsOf(const QString& file) {
    QStringList ended;
    for (const EditorCompanion& companion : EditorCompanionsOf(file)) {
        if (!CompanionOwnerAlive(companion, file))
            ended.append(companion.path);
    }
    return ended;
}

} // namespace korimbo
