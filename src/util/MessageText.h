#pragma once

#include "util/Interaction.h"
#include "util/MessageSource.h"

#include <QString>

namespace korimbo {

// How a message sets the path it is about apart from its text.
enum class PathSeparator {
    Line,      // text "\n" path
    Paragraph, // text "\n\n" path
    Bracketed  // text "\n( " path " )"
};

// A message about a path: the text (catalogue text, then any detail text), the separator and the path.
QString WithPath(const QString& text, const QString& path, PathSeparator separator);

// Shows catalogue text A<number> followed by `tail` with an OK button and returns -1, so a failing step
// can end with `return ReportMessage(...)`.
int ReportMessage(Interaction& ui, MessageSource& messages, int number, const QString& tail = QString(),
                  Icon icon = Icon::Error);

} // namespace korimbo
