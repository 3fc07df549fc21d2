#include "util/FileNames.h"

#include "util/DisplayText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace korimbo {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, for the bytes 0x80..0xFF
// A low surrogate that no high one comes before: a pair's second half is part of a character.
bool IsEscapedByte(QStringView text, qsizetype at) {
    const char16_t unit = text.at(at).unicode();
    return unit >= 0xDC80 && unit <= 0xDCFF && (at == 0 || !text.at(at - 1).isHighSurrogate());
}

// The length of the valid UTF-8 sequence at `at` (shortest form, no surrogates, at most U+10FFFF), or 0.
int Utf8Length(const QByteArray& bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? static_cast<unsigned char>(bytes.at(i)) : 0u; };
    const unsigned lead = byte(at);
    const auto follows = [&](qsizetype i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(at + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return follows(at + 1, low, high) && follows(at + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(at + 1, low, high) && follows(at + 2) && follows(at + 3) ? 4 : 0;
    }
    return 0;
}

} // namespace

QString PathFromNative(const QByteArray& native) {
    QString text;
    text.reserve(native.size());
    qsizetype runStart = 0;
    qsizetype at = 0;
    while (at < native.size()) {
        const int length = Utf8Length(native, at);
        if (length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(native.constData() + runStart, at - runStart);
        text += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(native.at(at))));
        runStart = ++at;
    }
    text += QString::fromUtf8(native.constData() + runStart, at - runStart);
    return text;
}

QByteArray NativePath(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!IsEscapedByte(path, i))
            continue;
        bytes += QStringView(path).mid(runStart, i - runStart).toUtf8();
        bytes += static_cast<char>(path.at(i).unicode() - kEscapeBase);
        runStart = i + 1;
    }
    bytes += QStringView(path).mid(runStart).toUtf8();
    return bytes;
}

QString ShownName(const QString& name) {
    QString shown;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (IsEscapedByte(name, i))
            shown += u'%' + QString::number(name.at(i).unicode() - kEscapeBase, 16).toUpper();
        else
            shown += name.at(i);
    }
    return shown;
}

bool IsRepresentableName(const QByteArray& nativeName) {
    return QFile::encodeName(QFile::decodeName(nativeName)) == nativeName;
}

bool IsRepresentablePath(const QString& path) {
    if (path.contains(QChar::ReplacementCharacter))
        return false;
    // A lone surrogate has no bytes of its own either, unless it stands for a byte our enumeration kept.
    return PathFromNative(NativePath(path)) == path;
}

QString ChildPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString ParentOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

QString UsableFileName(const QString& name, const QString& fallback) {
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") || name.contains(u'/') ||
        name.contains(QChar(0)))
        return fallback;
    return name;
}

QString CleanPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

namespace {

// Trailing separators say nothing about which folder is meant; "/" keeps its one.
QString WithoutTrailingSlash(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    return path.left(end);
}

} // namespace

bool IsWithinPath(const QString& inner, const QString& outer) {
    const QString in = WithoutTrailingSlash(inner);
    const QString out = WithoutTrailingSlash(outer);
    if (in.isEmpty() || out.isEmpty())
        return false;
    return in == out || in.startsWith(out.endsWith(u'/') ? out : out + u'/');
}

namespace {

const QString kTempPrefix = QStringLiteral(".korimbo-");
const QString kSealedSuffix = QStringLiteral(".part");
const QString kPlainSuffix = QStringLiteral(".plain.part");
constexpr int kTempUniqueLength = 16;

} // namespace

// A target name of any allowed length still leaves room for the short name.
QString TempPathBeside(const QString& target, TempKind kind) {
    QString unique;
    UniqueNameText(false, unique);
    return QFileInfo(target).absolutePath() + u'/' + kTempPrefix + unique.left(kTempUniqueLength) +
           (kind == TempKind::Plain ? kPlainSuffix : kSealedSuffix);
}

bool IsTempName(const QString& fileName, TempKind* kind) {
    if (!fileName.startsWith(kTempPrefix))
        return false;
    const QString rest = fileName.mid(kTempPrefix.size());
    const QString unique = rest.left(kTempUniqueLength);
    if (unique.size() != kTempUniqueLength)
        return false;
    for (const QChar ch : unique)
        if (!ch.isDigit() && !(ch >= u'A' && ch <= u'F'))
            return false;
    const QString suffix = rest.mid(kTempUniqueLength);
    if (suffix != kSealedSuffix && suffix != kPlainSuffix)
        return false;
    if (kind)
        *kind = suffix == kPlainSuffix ? TempKind::Plain : TempKind::Sealed;
    return true;
}

} // namespace korimbo
