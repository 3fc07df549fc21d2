#pragma once

#include "crypto/CryptEngine.h"
#include "util/MessageSource.h"

#include <QString>

namespace korimbo {

// The hint a container keeps in the outer layer of its header, which the built-in key opens without the
// folder's password: what the hint window shows for a dropped file.
struct StoredHint {
    enum class Kind { kHint, kNotContainer, kUnreadable, kFolder };
    Kind kind = Kind::kUnreadable;
    QString hint; // without the spaces that fill the field
};

[[nodiscard]] StoredHint ReadStoredHint(CCryptEngine& engine, const QString& path);
// One line of the hint window: the file's name and its hint or why there is none.
[[nodiscard]] QString StoredHintLine(MessageSource& messages, const QString& path, const StoredHint& hint);

} // namespace korimbo
