#pragma once

#include <QString>

namespace korimbo {

// The form in which a search compares names, so that what the user types finds a name however its
// letters were entered: compatibility forms are composed (full-width Latin and digits become their usual
// forms, half-width katakana become full-width, a half-width voiced mark joins its kana: "ｶﾞ" is "ガ"),
// case is folded, and katakana become hiragana. Voiced marks, long vowel marks ("ー") and small kana
// ("ゃ", "っ") stay what they are: "かき" does not find "がき", "ﾃﾞｰﾀ" finds "データ" but "デタ" does not,
// and "きや" does not find "きゃ".
[[nodiscard]] QString FoldedName(const QString& name);

// Whether `folded` (a FoldedName) holds `foldedPattern` (a FoldedName, not empty).
[[nodiscard]] inline bool FoldedContains(const QString& folded, const QString& foldedPattern) {
    return folded.contains(foldedPattern, Qt::CaseSensitive);
}

} // namespace korimbo
