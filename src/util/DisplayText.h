#pragma once

#include <QString>
#include <QtGlobal>

namespace korimbo {

// The text without the spaces that pad a fixed-width field.
QString WithoutTrailingSpaces(QString text);

// Size with an automatic unit: "0バイト", "1024バイト", "1.00KB", "10.0KB", "1024KB", "1.00MB", ...
QString SizeText(qint64 bytes);

// Size in whole KB with thousands separators, right-aligned to 12 units ("    1,024 KB").
QString KilobyteColumnText(qint64 bytes);

// Decimal with thousands separators ("1,234,567,890").
QString GroupedNumberText(qint64 value);

// One of the file's times as "2024年01月02日 03:04:05": selector 0 birth time (status-change time where
// the file system keeps no birth time), 1 modification, 2 access. 0, or -1 with an empty text.
int FileTimeText(const QString& path, int selector, QString& text);

// A fresh unique identifier as 16 hex digits, a dash and 16 hex digits (upper case); without the dash
// when keepDash is false. 0, or -1 when no identifier could be made.
int UniqueNameText(bool keepDash, QString& text);

} // namespace korimbo
