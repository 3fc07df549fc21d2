#pragma once

#include <QString>
#include <QStringList>

namespace korimbo {

// Splits a deciphered catalogue into its entries. An entry is the prefix ("ZorMSGa" or "ZorMSGb") with
// four digits as its key, anything up to a double quote, then the text up to the next double quote,
// where backslash + n stands for a line feed. Anything between entries is ignored.
void ParseCatalogueEntries(const QString& text, const QString& prefix, QStringList& keys, QStringList& texts);

// Where an entry's text lies in a deciphered catalogue: `length` units from `start`, as stored (backslash +
// n not yet a line feed); `start` is -1 when no closing quote ends it.
struct CatalogueSpan {
    QString key;
    qsizetype start = -1;
    qsizetype length = 0;
};
QList<CatalogueSpan> CatalogueSpans(const QString& text, const QString& prefix);

// An entry's text as stored, with its line feeds.
QString CatalogueBody(QString stored);

// The text of `key` among parsed entries: the last entry with that key wins; empty when there is none.
QString FindCatalogueText(const QStringList& keys, const QStringList& texts, const QString& key);

// The key of entry `number`: prefix + four digits.
QString CatalogueKey(const QString& prefix, int number);

} // namespace korimbo
