#include "state/CatalogueText.h"

namespace korimbo {

QList<CatalogueSpan> CatalogueSpans(const QString& text, const QString& prefix) {
    QList<CatalogueSpan> spans;
    const qsizetype keyLength = prefix.size() + 4;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype at = text.indexOf(prefix, pos);
        if (at < 0)
            return spans;
        CatalogueSpan span;
        span.key = text.mid(at, keyLength);
        pos = at + span.key.size();
        const qsizetype open = text.indexOf(u'"', pos);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'"', open + 1);
        if (close >= 0) {
            span.start = open + 1;
            span.length = close - open - 1;
        }
        spans.append(span);
        // The scan goes on behind the key: only this catalogue's prefix starts an entry.
    }
}

QString CatalogueBody(QString stored) {
    stored.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    return stored;
}

void ParseCatalogueEntries(const QString& text, const QString& prefix, QStringList& keys, QStringList& texts) {
    for (const CatalogueSpan& span : CatalogueSpans(text, prefix)) {
        keys.append(span.key);
        texts.append(span.start < 0 ? QString() : CatalogueBody(text.mid(span.start, span.length)));
    }
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
