#include "util/NameFold.h"

namespace korimbo {

namespace {

constexpr char16_t kKatakanaFirst = u'ァ'; // U+30A1
constexpr char16_t kKatakanaLast = u'ヶ';  // U+30F6, the last with a hiragana twin
constexpr char16_t kIterationMark = u'ヽ'; // U+30FD, and the voiced U+30FE
constexpr char16_t kKanaDistance = u'ァ' - u'ぁ';

bool IsAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

void KatakanaToHiragana(QString& text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u >= kKatakanaFirst && u <= kKatakanaLast) || u == kIterationMark || u == kIterationMark + 1)
            c = QChar(char16_t(u - kKanaDistance));
    }
}

} // namespace

QString FoldedName(const QString& name) {
    // Most names are plain ASCII, for which composition changes nothing.
    if (IsAscii(name))
        return name.toCaseFolded();
    QString folded = name.normalized(QString::NormalizationForm_KC).toCaseFolded();
    KatakanaToHiragana(folded);
    return folded;
}

} // namespace korimbo
