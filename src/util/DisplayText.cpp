#include "util/DisplayText.h"

#include <QFile>
#include <QUuid>

#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace korimbo {

namespace {

constexpr qint64 kKilobyte = 1024;
constexpr qint64 kMegabyte = 1024 * kKilobyte;
constexpr qint64 kGigabyte = 1024 * kMegabyte;
constexpr int kColumnWidth = 12;

QString WithoutLeadingSpace(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text.at(start).isSpace())
        ++start;
    return text.mid(start);
}

// QString::asprintf formats numbers in the C locale whatever the process locale is; the field width of 3
// only pads, so the padding goes.
QString FormatDouble(const char* format, double value) {
    return WithoutLeadingSpace(QString::asprintf(format, value));
}

// Three significant digits or so: the precision is chosen on the exact quotient, before rounding.
QString ScaledText(double quotient, const QString& unit) {
    const char* format = quotient >= 100.0 ? "%3.0f" : quotient >= 10.0 ? "%3.1f" : "%3.2f";
    return FormatDouble(format, quotient) + unit;
}

} // namespace

QString WithoutTrailingSpaces(QString text) {
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

QString SizeText(qint64 bytes) {
    if (bytes > kGigabyte)
        return ScaledText(static_cast<double>(bytes) / kGigabyte, QStringLiteral("GB"));
    if (bytes > kMegabyte)
        return ScaledText(static_cast<double>(bytes) / kMegabyte, QStringLiteral("MB"));
    if (bytes <= kKilobyte) {
        if (bytes <= 0)
            return QStringLiteral("0バイト");
        return FormatDouble("%3.0f", static_cast<double>(bytes)) + QStringLiteral("バイト");
    }
    return ScaledText(static_cast<double>(bytes) / kKilobyte, QStringLiteral("KB"));
}

QString KilobyteColumnText(qint64 bytes) {
    QString text;
    if (bytes <= 0)
        text = QStringLiteral("0");
    else if (bytes <= kKilobyte)
        text = QStringLiteral("1");
    else
        text = QString::asprintf("%3.0f", std::ceil(static_cast<double>(bytes) / kKilobyte));

    // Only two separators: a count of ten or more digits keeps its leading digits together.
    const qsizetype length = text.size();
    if (length > 6) {
        text.insert(length - 3, u',');
        text.insert(length - 6, u',');
    } else if (length > 3) {
        text.insert(length - 3, u',');
    }

    text = WithoutLeadingSpace(text) + QStringLiteral(" KB");
    return text.rightJustified(kColumnWidth, u' ');
}

QString GroupedNumberText(qint64 value) {
    // Digits are grouped without the sign, so -100 stays "-100" rather than "-,100".
    const bool negative = value < 0;
    QString text = QString::number(value);
    if (negative)
        text.remove(0, 1);
    const qsizetype length = text.size();
    if (length >= 10) {
        text.insert(length - 3, u',');
        text.insert(length - 6, u',');
        text.insert(length - 9, u',');
    } else if (length >= 7) {
        text.insert(length - 3, u',');
        text.insert(length - 6, u',');
    } else if (length >= 4) {
        text.insert(length - 3, u',');
    }
    return negative ? u'-' + text : text;
}

int FileTimeText(const QString& path, int selector, QString& text) {
    text.clear();
    if (selector < 0 || selector > 2)
        return -1;

    struct statx status {};
    const QByteArray nativePath = QFile::encodeName(path);
    if (nativePath.isEmpty() ||
        ::statx(AT_FDCWD, nativePath.constData(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &status) != 0)
        return -1;

    struct statx_timestamp stamp {};
    switch (selector) {
    case 0:
        // Not every file system records when a file was made; the status change is the nearest we have.
        stamp = (status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime : status.stx_ctime;
        break;
    case 1:
        stamp = status.stx_mtime;
        break;
    default:
        stamp = status.stx_atime;
        break;
    }

    const std::time_t seconds = static_cast<std::time_t>(stamp.tv_sec);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr)
        return -1;
    char buffer[64] = {};
    if (std::strftime(buffer, sizeof(buffer), "%Y%m%d %H:%M:%S", &local) == 0)
        return -1;

    const QString stamped = QString::fromLatin1(buffer);
    text = stamped.left(4) + u'年' + stamped.mid(4, 2) + u'月' + stamped.mid(6, 2) + u'日' + stamped.mid(8);
    return 0;
}

int UniqueNameText(bool keepDash, QString& text) {
    text.clear();
    const QUuid uuid = QUuid::createUuid();
    if (uuid.isNull())
        return -1;
    const char* format =
        keepDash ? "%08X%04X%04X-%02X%02X%02X%02X%02X%02X%02X%02X" : "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X";
    text = QString::asprintf(format, uuid.data1, uuid.data2, uuid.data3, uuid.data4[0], uuid.data4[1], uuid.data4[2],
                             uuid.data4[3], uuid.data4[4], uuid.data4[5], uuid.data4[6], uuid.data4[7]);
    return 0;
}

} // namespace korimbo
