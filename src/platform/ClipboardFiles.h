#pragma once

#include <QMimeData>
#include <QStringList>

namespace korimbo {

// Files on the clipboard or in a drag, as file managers offer them.
struct ClipboardFiles {
    QStringList paths; // local files only, in the order given
    bool cut = false;  // the file manager cut them: a paste moves
};

// Reads x-special/gnome-copied-files, then x-special/mate-copied-files, then text/uri-list with
// application/x-kde-cutselection; "\r" is stripped. False when the data holds no local file.
bool ReadClipboardFiles(const QMimeData* data, ClipboardFiles& files);

// The data a file manager accepts for `paths`: text/uri-list, x-special/gnome-copied-files ("copy" or
// "cut", then one URI a line, no final newline), application/x-kde-cutselection, and the paths as text.
QMimeData* MakeClipboardFiles(const QStringList& paths, bool cut);

} // namespace korimbo
