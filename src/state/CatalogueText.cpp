#include "state/CatalogueText.h"

namespace korimbo {

namespace {

// Calls `visit(key, at)` for each entry, `at` being where the text behind its key starts.
template <class Visit>
void ForEachEntry(const QString& text, const QString& prefix, Visit visit) {
    const qsizetype keyLength = prefix.size() + 4;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype at = text.indexOf(prefix, pos);
        if (at < 0)
            return;
        const QStringView key = QStringView(text).mid(at, keyLength);
        pos = at + key.size();
        visit(key, pos);
        // The scan goes on behind the key: only this catalogue's prefix starts an entry.
    }
}

QString EntryBody(const QString& text, qsizetype pos) {
    const qsizetype open = text.indexOf(u'"', pos);
    const qsizetype close = open < 0 ? -1 : text.indexOf(u'"', open + 1);
    QString body = close < 0 ? QString() : text.mid(open + 1, close - open - 1);
    body.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    return body;
}

} // namespace

void ParseCatalogueEntries(const QString& text, const QString& prefix, QStringList& keys, QStringList& texts) {
    ForEachEntry(text, prefix, [&](QStringView key, qsizetype pos) {
        keys.append(key.toString());
        texts.append(EntryBody(text, pos));
    });
}

QString FindCatalogueEntry(const QString& text, const QString& prefix, const QString& key) {
    QString found;
    ForEachEntry(text, prefix, [&](QStringView entryKey, qsizetype pos) {
        if (entryKey == key)
            found = EntryBody(text, pos);
    });
    return found;
}

QString FindCatalogueText(const QStringList& keys, const QStringList& texts, const QString& key) {
    QString found;
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (keys.at(i) == key)
            found = texts.at(i);
    return found;
}

QString CatalogueKey(const QString& prefix, int number) {
    return prefix + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0'));
}

} // namespace korimbo
