#include "util/ErrorText.h"

#include <QLatin1String>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace korimbo {

namespace {

const QString kUnknownText = QStringLiteral("エラー内容不明");

struct ErrnoEntry {
    int number;
    const char* text;
};

// Keyed by the symbolic error so that the texts follow whatever numbers the C library uses.
constexpr ErrnoEntry kErrnoTexts[] = {
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or directory"},
    {ESRCH, "No such process"},
    {EINTR, "Interrupted function"},
    {EIO, "I/O error"},
    {ENXIO, "No such device or address"},
    {E2BIG, "Argument list too long"},
    {ENOEXEC, "Exec format error"},
    {EBADF, "Bad file number"},
    {ECHILD, "No spawned processes"},
    {EAGAIN, "No more processes or not enough memory or maximum nesting level reached"},
    {ENOMEM, "Not enough memory"},
    {EACCES, "Permission denied"},
    {EFAULT, "Bad address"},
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {EXDEV, "Cross-device link"},
    {ENODEV, "No such device"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {ENFILE, "Too many files open in system"},
    {EMFILE, "Too many open files"},
    {ENOTTY, "Inappropriate I/O control operation"},
    {EFBIG, "File too large"},
    {ENOSPC, "No space left on device"},
    {ESPIPE, "Invalid seek"},
    {EROFS, "Read-only file system"},
    {EMLINK, "Too many links"},
    {EPIPE, "Broken pipe"},
    {EDOM, "Math argument"},
    {ERANGE, "Result too large"},
    {EDEADLK, "Resource deadlock would occur"},
    {ENAMETOOLONG, "Filename too long"},
    {ENOLCK, "No locks available"},
    {ENOSYS, "Function not supported"},
    {ENOTEMPTY, "Directory not empty"},
    {EILSEQ, "Illegal byte sequence"},
};

const QString kCauseTexts[] = {
    QStringLiteral("エラーなし"),
    QStringLiteral("未定義エラー"),
    QStringLiteral("ファイル未定義"),
    QStringLiteral("不正パス"),
    QStringLiteral("オープン ファイル数超過"),
    QStringLiteral("ファイル アクセス禁止"),
    QStringLiteral("不正ファイル ハンドル使用"),
    QStringLiteral("作業中のカレント ディレクトリの削除不可"),
    QStringLiteral("ディレクトリ フル"),
    QStringLiteral("ファイル ポインタ設定エラー"),
    QStringLiteral("ハードウェア エラー"),
    QStringLiteral("SHARE.EXE 未ロードまたは共有領域ロック済み"),
    QStringLiteral("ロック済み領域のロック要求"),
    QStringLiteral("ディスク フル"),
    QStringLiteral("ファイルの終わりに到達"),
};

enum Cause : int {
    kCauseNone = 0,
    kCauseGeneric = 1,
    kCauseFileNotFound = 2,
    kCauseBadPath = 3,
    kCauseTooManyOpenFiles = 4,
    kCauseAccessDenied = 5,
    kCauseInvalidFile = 6,
    kCauseDirectoryFull = 8,
    kCauseBadSeek = 9,
    kCauseHardware = 10,
    kCauseSharingViolation = 11,
    kCauseLockViolation = 12,
    kCauseDiskFull = 13,
};

struct CauseEntry {
    int number;
    int cause;
};

// Causes 7 (removing the current directory) and 14 (end of file) have no errno of their own.
constexpr CauseEntry kErrnoCauses[] = {
    {0, kCauseNone},
    {ENOENT, kCauseFileNotFound},
    {ENOTDIR, kCauseBadPath},
    {ENAMETOOLONG, kCauseBadPath},
    {ELOOP, kCauseBadPath},
    {EINVAL, kCauseBadPath},
    {EMFILE, kCauseTooManyOpenFiles},
    {ENFILE, kCauseTooManyOpenFiles},
    {EACCES, kCauseAccessDenied},
    {EPERM, kCauseAccessDenied},
    {EROFS, kCauseAccessDenied},
    {EISDIR, kCauseAccessDenied},
    {EBADF, kCauseInvalidFile},
    {EMLINK, kCauseDirectoryFull},
    {ESPIPE, kCauseBadSeek},
    {EIO, kCauseHardware},
    {ENXIO, kCauseHardware},
    {ENODEV, kCauseHardware},
    {ENOMEDIUM, kCauseHardware},
    {EBUSY, kCauseSharingViolation},
    {ETXTBSY, kCauseSharingViolation},
    {EDEADLK, kCauseLockViolation},
    {ENOLCK, kCauseLockViolation},
    {ENOSPC, kCauseDiskFull},
    {EDQUOT, kCauseDiskFull},
    {EFBIG, kCauseDiskFull},
};

constexpr qsizetype kMaxSystemTextLength = 999;

// strerror_r comes in two flavours; overloads pick whichever the C library declares.
[[maybe_unused]] const char* StrerrorResult(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* StrerrorResult(const char* result, const char*) {
    return result;
}

} // namespace

QString FileErrorText(int cause) {
    if (cause < 0 || cause >= static_cast<int>(std::size(kCauseTexts)))
        return kUnknownText;
    return QStringLiteral("エラー詳細：") + kCauseTexts[cause];
}

int FileErrorCause(int errnoValue) {
    for (const CauseEntry& entry : kErrnoCauses) {
        if (entry.number == errnoValue)
            return entry.cause;
    }
    return kCauseGeneric;
}

QString ErrnoText(int errnoValue) {
    QString text = QStringLiteral("エラー詳細（ErrNo=") + QString::number(errnoValue) + QStringLiteral("）：");
    for (const ErrnoEntry& entry : kErrnoTexts) {
        if (entry.number == errnoValue)
            return text + QLatin1String(entry.text);
    }
    return text + kUnknownText;
}

QString SystemErrorText(int code) {
    char buffer[1024] = {};
    const char* message = StrerrorResult(strerror_r(code, buffer, sizeof(buffer)), buffer);
    QString text = message != nullptr ? QString::fromLocal8Bit(message) : QString();
    if (text.size() > kMaxSystemTextLength) {
        // Do not leave half of a surrogate pair at the end.
        qsizetype length = kMaxSystemTextLength;
        if (text.at(length - 1).isHighSurrogate())
            --length;
        text.truncate(length);
    }
    return text;
}

} // namespace korimbo
