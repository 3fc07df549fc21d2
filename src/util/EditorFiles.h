#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace korimbo {

// The files editors keep beside a document they have open (locks, swap and auto-save files, backups) and
// the scratch names of a save in progress. A working copy's companions say whether an editor still has it
// and hold plaintext of their own, so they are neither copies nor to be left behind.

enum class EditorFileKind {
    None,          // a file of its own
    OfficeLock,    // ".~lock.NAME#": one CSV line "name,user,host,time,profile;"
    VimSwap,       // ".NAME.swp", ".swo", ".swn" ...: block 0 records the PID and host of the vim
    KateSwap,      // ".NAME.kate-swp"
    EmacsLock,     // ".#NAME": a link to "user@host.PID:boot"
    EmacsAutoSave, // "#NAME#"
    Backup,        // "NAME~"
    SaveTemporary, // "NAME.XXXXXX" of QSaveFile, ".goutputstream-XXXXXX" of GLib
    WriteProbe,    // vim's "4913" (4913 + n * 123)
    OwnScratch,    // ours: the engine's ".korimbo-..." temporaries and the "<GUID>.delf" of a wipe
};

struct EditorCompanion {
    QString path;
    EditorFileKind kind = EditorFileKind::None;
};

// What `name` (a bare file name) is, by the name alone.
[[nodiscard]] EditorFileKind EditorFileKindOf(const QString& name);
// An editor's lock, swap, backup or temporary name, or one of our own scratch names.
[[nodiscard]] bool IsEditorScratchName(const QString& name);

// The companions that exist now beside `file`, whose name they are made from.
[[nodiscard]] QList<EditorCompanion> EditorCompanionsOf(const QString& file);
// Whether the program that left `companion` beside `file` may still run: the PID it records, asked on
// this host; recorded on another host it cannot be told, so it counts as running; without a PID, whether
// any process of ours holds the file or the companion open.
[[nodiscard]] bool CompanionOwnerAlive(const EditorCompanion& companion, const QString& file);
// A lock or swap file beside `file` whose owner still runs.
[[nodiscard]] bool IsLockedByEditor(const QString& file);
// The companions of `file` whose owners have ended: what goes with the file when it is wiped.
[[nodiscard]] QStringList EndedCompanionsOf(const QString& file);

} // namespace korimbo
