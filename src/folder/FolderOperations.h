#pragma once

#include "crypto/CryptEngine.h"
#include "folder/EncryptInPrompts.h"
#include "folder/FolderItems.h"
#include "folder/FolderServices.h"
#include "folder/ItemTransfer.h"
#include "folder/NameFile.h"
#include "folder/UndoHistory.h"
#include "platform/AccessCheck.h"
#include "platform/Trash.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "util/OpResult.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// The cut or copy of the main window: the items taken, how, and the folder they were taken from.
struct InsideClipboard {
    enum Mode { kCopy = 0, kCut = 1 };
    QStringList items; // full disk paths
    int mode = kCopy;
    QString sourceFolder;

    int Count() const { return int(items.size()); }
    void Clear() {
        items.clear();
        mode = kCopy;
        sourceFolder.clear();
    }
};

// The operations inside the encrypted folders: cut, copy and paste, the internal drag, rename, delete to
// the trash or for good, and the undo of the last ten of them. Containers are copied, moved, renamed (their
// stored name rewritten under a new disk name) and deleted as files; only a container that goes to a folder
// of another password is decrypted, into that folder's creation area, and made again with its key.
// Every operation refreshes the name files of the folders it changed; the window then lists them again.
class CFolderOperations {
public:
    CFolderOperations(const FolderServices& services, EncryptInPrompts& prompts, Trash* trash, CUndoHistory& history);

    // Hooks of the window: the busy section, and whether a container has a working copy in the decrypted
    // workspace; `mayHoldOpen` false says no container below a folder has one (a folder of many files is
    // then not searched file by file).
    std::function<void(bool)> busy;
    void SetOpenCheck(std::function<bool(const QString& container)> isOpen,
                      std::function<bool(const QString& folder)> mayHoldOpen = {}) {
        m_items.isOpenInWorkspace = std::move(isOpen);
        m_items.mayHoldOpen = std::move(mayHoldOpen);
    }
    // The work folder: a container going to a folder of another password is decrypted into the creation
    // area of its destination there, and encrypted again with the destination's key.
    QString workRoot;

    // Cut or copy: the clipboard takes the items. A cut from a folder registered read-only is refused (A316).
    OpResult Take(InsideClipboard& clipboard, const QStringList& items, bool cut, const QString& shownFolder);
    // Paste into `destination`: a copy into the folder the items came from makes copies under new names;
    // anything else is a copy or move. After a cut the clipboard is emptied, unless the places were refused
    // before anything moved. Cancelling counts as failed.
    OpResult Paste(InsideClipboard& clipboard, const QString& destination);
    // Items dragged inside the program and dropped on `destination` ("ここにコピー(&C)" / "ここに移動(&M)").
    OpResult Drop(const QStringList& items, const QString& destination, bool move);
    // Rename in place: `typed` is the text the editor ended with, `shown` the text it started with. Done
    // with `newPath`; declined when the name is unchanged; failed leaves the item as it was.
    OpResult Rename(const QString& path, const QString& shown, const QString& typed, QString& newPath);
    // Delete to the trash, or for good with `permanent` (not undoable); declined when the user
    // says no.
    OpResult Delete(const QStringList& paths, bool permanent);

    // Whether the newest record can be undone now: every folder it names lies in a registered folder that
    // is logged in. With `report`, a path in no registered folder shows A190.
    bool CanUndo(bool report);
    // Undoes the newest record; on success it goes (on failure it stays).
    OpResult Undo();

    // The folders the last operation changed (their tree branches are read again).
    const QStringList& ChangedFolders() const { return m_items.ChangedFolders(); }
    // A name may hold none of * ? " | < > \ / :.
    static bool IsValidName(const QString& name);

private:
    CItemTransfer Transfer();
    OpResult RenameItem(const QString& path, const QString& name, bool extensionRule, bool makeRecord,
                        QString& newPath);
    OpResult RenameContainer(const QString& path, QString& name, bool extensionRule, QString& newPath,
                             QString& oldName);
    OpResult RenameFolder(const QString& path, const QString& name, QString& newPath);
    [[nodiscard]] int RenameWithRetries(const QString& from, const QString& to); // 0 or an errno
    [[nodiscard]] int RenameThroughFreeName(const QString& from, const QString& to);
    OpResult UndoDelete(const UndoRecord& record);
    OpResult UndoCopy(const UndoRecord& record);
    OpResult UndoMove(const UndoRecord& record);
    OpResult UndoRename(const UndoRecord& record);
    // The recorded place of an item is taken by `existing`: it is cleared, the user gives the item up (skip),
    // or the undo stops (shown).
    enum class Way { kFree, kSkip, kStop };
    struct Obstacle {
        bool present = false;
        int question = 0;    // asks whether to remove it
        int openMessage = 0; // it is in use: the item is not brought back
    };
    Obstacle ObstacleAt(const QString& path);
    Way ClearWay(const QString& existing);
    OpResult PrepareParent(const QString& path);

    FolderServices m_services;
    CCryptEngine& m_engine;
    CNameFile& m_nameFile;
    CAccessCheck& m_access;
    const SettingsRecord& m_settings;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    EncryptInPrompts& m_prompts;
    Trash* m_trash;
    CUndoHistory& m_history;
    CFolderItems m_items;
};

} // namespace korimbo
