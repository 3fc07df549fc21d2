#pragma once

#include "crypto/CryptEngine.h"
#include "folder/EncryptIn.h"
#include "folder/NameFile.h"
#include "platform/AccessCheck.h"
#include "platform/Associations.h"
#include "platform/Launcher.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/OpResult.h"
#include "workspace/CopyOrigins.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace korimbo {

// The launched programs being watched: one slot per program, the working copy it has open. A slot follows
// a process (pid), or, for a few rounds, looks for the one that has the document (searching): after a
// launch that gave no process, or when the followed one ended while the copy was still in use.
struct WatchTable {
    static constexpr int kSlots = 200;
    std::array<qint64, kSlots> pid{};      // the process followed; 0: none
    std::array<QString, kSlots> path;      // the working copy of the slot
    std::array<QString, kSlots> appId;     // what was launched: its desktop id and executable, to find the
    std::array<QString, kSlots> executable; // instance a launcher handed the document to
    std::array<int, kSlots> searching{};   // rounds left to look for who has the document
    std::array<bool, kSlots> followed{};   // a process of the document was seen: its end may write back
    // The first free slot, or -1.
    int FreeSlot() const;
    int Watched() const;
    bool InUse(int slot) const { return pid[slot] != 0 || searching[slot] > 0; }
    void Free(int slot);
};

// Working copies of encrypted files: where they live, opening a container for editing in the program the
// desktop associates with it, the watch of that program, and writing the copy back (or wiping it when it
// was not changed) when the program ends. Headless: the window answers through Interaction and the hooks.
class CWorkingCopies {
public:
    CWorkingCopies(const FolderServices& services, Associations& associations, Launcher& launcher,
                   ProcessProbe& processes, EncryptInPrompts& prompts);

    // Hooks of the window.
    std::function<void(bool)> busy;                  // around a write-back of the watch
    std::function<bool()> isBusy;                    // a command is running: the watch waits
    std::function<bool()> shuttingDown;              // the watch stops at once
    std::function<void()> refreshContents;           // the contents list shows a changed directory
    std::function<void()> refreshDecryptedList;      // the decrypted-file list is to be rebuilt
    std::function<void(int ms)> armWatchTimer;       // (re)starts timer 1 for one round; 0 stops it
    std::function<bool(bool& stopShowing)> openNotice; // the open notice (CD13Msg1): false cancels

    // ---- where copies live ----
    // Work root / work id / "Ac" / directory of the container relative to its folder / plain name. Empty,
    // with A156 shown, when the container lies in no registered folder.
    QString WorkingCopyPath(const QString& container, const QString& area = QStringLiteral("Ac"));
    // Whether a container below `folder` (subfolders included) may have a copy in `area`: false only when
    // the area holds no folder where those copies would lie, so that a search through the folder's
    // containers one by one can be skipped. True when the folder lies in no registered folder.
    [[nodiscard]] bool MayHoldCopiesBelow(const QString& folder, const QString& area = QStringLiteral("Ac"));
    // The container of a working copy ("Ac", "To" or "Re"), or empty. When there is none, `proposed` gets a
    // fresh container path in the matching directory of the folder; A162 unless `quiet`.
    QString ContainerOf(const QString& workingCopy, QString& proposed, bool quiet);
    // Changed: the copy's last-write time differs from the one it was given when made (the container's,
    // at whole seconds), or its size from what it held then, or it has no container.
    bool IsChanged(const QString& workingCopy, const QString& container);
    // Whether a program may still have the copy: a watched process of it runs or is still being looked
    // for, or another program holds it open or locked. Nothing writes back or wipes a copy in use.
    bool IsInUse(const QString& workingCopy);

    // ---- open ----
    // The open command for the selected containers (folders are skipped): the open notice, then Open-one
    // for each with launch. `program` empty: the desktop's default application. Declined when the user
    // cancels the notice; failed when one of them could not be opened.
    OpResult Open(const QStringList& containers, const QString& program = QString());
    // Decrypt only: the copies are made (folders recursively) without starting anything.
    OpResult DecryptOnly(const QStringList& containersOrFolders);
    // One container: decrypt into the area (or reuse the copy after A6), clear the container's read-only
    // attribute, start the program and register it in the watch table. Declined when the user does not
    // want the copy there already.
    OpResult OpenOne(const QString& container, bool launch, const QString& program, const QString& area,
                     QString* workingCopy = nullptr);

    // ---- watch ----
    WatchTable& Table() { return m_table; }
    // Timer 1: a slot whose program has ended follows the program that took the document over, if any;
    // once nothing has the copy any more, it is written back. Nothing happens while the window is busy.
    void WatchTick();

    // ---- write back ----
    // The copy goes back over its container when changed (a new container when it has none), else it is
    // wiped and the container made read-only again. On failure the copy stays unless erased.
    OpResult WriteBackOne(const QString& workingCopy);
    // Wipes a copy (or a directory of copies). 0, or -1 with `error` (not shown).
    int EraseCopy(const QString& path, QString& error);

    QString LastOpened() const { return m_lastOpened; }

private:
    // Where a working copy belongs: the registered folder (slot and path), the directory of the folder
    // that matches the copy's directory, the area and the copy's name.
    struct Place {
        int slot = -1;
        QString root;
        QString directory;
        QString area;
        QString name;
    };
    bool Locate(const QString& workingCopy, Place& place) const;
    bool ReadOnlyFolder(int slot) const;
    // The plain name of a container as the folder's name file records it (its header when the name file
    // has no line for it), made safe as a file name; empty when it cannot be read.
    QString PlainNameOf(const QString& container, const QString& root);
    // The display name a name-file line gave the container, while its disk time is still the line's:
    // a refresh would keep that very line, so none is needed. Empty when unknown.
    QString KnownPlainName(const QString& directory, const QString& diskName, const QString& root) const;
    // The directory chain of a working copy, private to this user.
    int MakeCopyFolder(const QString& area, const QString& directory);
    int CopyTime(const QString& container, const QString& workingCopy);
    void Register(const QString& workingCopy, qint64 pid, const QString& appId, const QString& executable);
    // The process that has the slot's document now, other than `ended`: the owner of the application's bus
    // name, a process holding the copy, a window titled with its name, a process of the same executable.
    qint64 FindHolder(int slot, qint64 ended);
    bool AnotherSlotFollows(int slot);
    void WatchSlot(int slot);
    void WriteBackSlot(int slot);
    // The origin record of a copy of the editing area: its work base and its path below the area.
    bool OriginKey(const QString& workingCopy, QString& base, QString& relative) const;
    void RecordOrigin(const QString& workingCopy, const QString& container, qint64 plainSize, qint64 copyTime);
    void ForgetOrigin(const QString& workingCopy);
    // The container is still the one the copy was made from (or nothing is known of that).
    bool StillTheOrigin(const QString& workingCopy, const QString& container);
    // The edit of a copy whose container changed meanwhile becomes a container of its own beside it.
    OpResult WriteBackAsConflict(const QString& workingCopy, const Place& place, const QString& container);
    OpResult EncryptBack(const QString& workingCopy, const QString& destination, const QString& replaceTarget);
    // `left` gathers the links and special files passed by.
    int DecryptFolder(const QString& folder, const QString& root, QStringList& left);
    OpResult Erase(const QString& path, int failureMessage);
    int Report(int number, const QString& tail, Icon icon = Icon::Error);
    OpResult Fail(int number, const QString& tail, Icon icon = Icon::Error);

    FolderServices m_services;
    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    CNameFile& m_nameFile;
    CAccessCheck& m_access;
    SettingsRecord& m_settings;
    const WorkFolderSettings& m_workFolder;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    Associations& m_associations;
    Launcher& m_launcher;
    ProcessProbe& m_processes;
    EncryptInPrompts& m_prompts;
    CCopyOrigins m_origins;
    // The containers of the directories PlainNameOf refreshed last (key: root, LF, directory), so that
    // asking for every file of a directory costs one refresh, not one each.
    QHash<QString, NameIndex> m_plainNames;
    WatchTable m_table;
    QString m_lastOpened;
};

} // namespace korimbo
