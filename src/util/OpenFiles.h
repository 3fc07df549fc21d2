#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace korimbo {

// Which processes of this user hold a file, as the kernel and /proc tell it. No display and no session
// bus are needed, so the command-line tool uses it as the program does.

// Calls `visit` with the PID of each process of this user but our own, until it answers true; that PID,
// or 0.
qint64 FindOwnProcess(const std::function<bool(qint64 pid, const QByteArray& procDir)>& visit);

// The target of a symbolic link such as /proc/PID/exe, or empty.
QByteArray ReadLink(const QByteArray& path);

// A process of this user that holds `file` open (/proc/*/fd), or 0.
qint64 ProcessHoldingFile(const QString& file);

// Whether another program still has `file` open or locked: a write lease that cannot be taken, an open
// descriptor in /proc, or a lock or swap file an editor left beside it whose owner still runs (EditorFiles).
bool IsFileOpenElsewhere(const QString& file);

} // namespace korimbo
