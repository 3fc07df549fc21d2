#pragma once

#include <QString>

namespace korimbo {

// Detail texts appended to messages. None of them shows anything itself.

// "エラー詳細：" + the text of a file-operation cause code (0..14).
QString FileErrorText(int cause);

// The cause code of a failed file operation for an errno (ENOENT -> 2, EACCES/EPERM -> 5, ENOSPC -> 13, ...).
int FileErrorCause(int errnoValue);

// "エラー詳細（ErrNo=" + number + "）：" + the error's text, keyed by the symbolic error.
QString ErrnoText(int errnoValue);

// The system's own text for an error code, at most 999 units.
QString SystemErrorText(int code);

} // namespace korimbo
