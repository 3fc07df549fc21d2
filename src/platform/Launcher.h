#pragma once

#include <QString>
#include <QtGlobal>

namespace korimbo {

// Starts programs for files the way the desktop does, and tells which process to watch.
class Launcher {
public:
    virtual ~Launcher() = default;

    // Starts `program` (a desktop id such as "org.xfce.mousepad.desktop", or an executable path) with `file`,
    // or, with an empty `program`, the desktop's default application for the file's type (for a folder, the
    // file manager). On success 0, the PID of the started process (0 when the desktop started it without one,
    // as a D-Bus activated application), its desktop id (may be empty) and its executable path (may be empty).
    // -1 when nothing could be started (no application for the type, or the start failed).
    virtual int Launch(const QString& file, const QString& program, qint64& pid, QString& appId,
                       QString& executable) = 0;
};

// What the running processes of this user are doing, for the watch of launched programs and for the
// still-open test before a working copy is written back.
class ProcessProbe {
public:
    virtual ~ProcessProbe() = default;

    // True while `pid` runs; a process that has ended but was not yet reaped (a zombie) is not running.
    virtual bool IsRunning(qint64 pid) = 0;
    // The PID that owns the D-Bus name of a D-Bus activated application, or 0.
    virtual qint64 DBusOwnerOf(const QString& appId) = 0;
    // A process that holds `file` open (/proc/*/fd), or 0.
    virtual qint64 HolderOf(const QString& file) = 0;
    // (X11) the process of a top-level window whose title holds `fileName`, or 0; 0 where windows cannot be
    // seen (Wayland, no display).
    virtual qint64 WindowOwnerOf(const QString& fileName) = 0;
    // A running process of this user whose executable is `executable` (compared by file name), or 0.
    virtual qint64 RunningWithExecutable(const QString& executable) = 0;
    // Whether another program still has `file` open or locked: a write lease that cannot be taken, an open
    // descriptor in /proc, or a lock or swap file an editor left whose owner still runs (util/EditorFiles.h).
    virtual bool IsOpenElsewhere(const QString& file) = 0;
};

// Starts programs through GIO, as the desktop's file managers do. The started process is left unreaped so
// that its PID stays valid until a `LocalProcessProbe` sees it end (and reaps it).
class GioLauncher final : public Launcher {
public:
    int Launch(const QString& file, const QString& program, qint64& pid, QString& appId,
               QString& executable) override;
};

// The processes of this user as /proc, the session bus and (X11) the window list show them.
class LocalProcessProbe final : public ProcessProbe {
public:
    // Reaps `pid` when it is an ended child of this process (the launcher leaves its children unreaped), so
    // ask only about PIDs this program started or does not own: a child reaped here is gone for others.
    bool IsRunning(qint64 pid) override;
    qint64 DBusOwnerOf(const QString& appId) override;
    qint64 HolderOf(const QString& file) override;
    qint64 WindowOwnerOf(const QString& fileName) override;
    qint64 RunningWithExecutable(const QString& executable) override;
    bool IsOpenElsewhere(const QString& file) override;
};

// (X11) the process of the first top-level window without an owner whose title holds `fileName`; 0 without
// a display. Kept apart so that only one file speaks to the X server.
qint64 X11WindowOwnerOf(const QString& fileName);

} // namespace korimbo
