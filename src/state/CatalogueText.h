#pragma once

#include <QString>
#include <QStringList>

namespace korimbo {

// Splits a deciphered catalogue into its entries. An entry is the prefix ("ZorMSGa" or "ZorMSGb") with
// four digits as its key, anything up to a double quote, then the text up to the next double quote,
// where backslash + n stands for a line feed. Anything between entries is ignored.
void ParseCatalogueEntries(const QString& text, const QString& prefix, QStringList& keys, QStringList& texts);

// The text of `key` in a deciphered catalogue, as parsing it and looking it up would find it, without
// keeping the other entries.
QString FindCatalogueEntry(const QString& text, const QString& prefix, const QString& key);

// The text of `key` among parsed entries: the last entry with that key wins; empty when there is none.
QString FindCatalogueText(const QStringList& keys, const QStringList& texts, const QString& key);

// The key of entry `number`: prefix + four digits.
QString CatalogueKey(const QString& prefix, int number);

} // namespace korimbo
