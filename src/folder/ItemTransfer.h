#pragma once

#include "folder/EncryptInPrompts.h"
#include "folder/FolderItems.h"
#include "folder/FolderServices.h"
#include "folder/KeyChange.h"
#include "folder/UndoHistory.h"
#include "platform/Trash.h"
#include "util/OpResult.h"
#include "util/TreeWalk.h"

#include <QString>
#include <QStringList>

namespace korimbo {

// Copies and moves items into a folder of the encrypted folders: files, containers and whole folders,
// with the overwrite questions, the undo record and the items they replace set aside for the undo. A
// container keeps its bytes within one password; into a folder of another password it is decrypted into
// that folder's creation area and made again with its key. Links go as links, pipes and devices stay.
class CItemTransfer {
public:
    CItemTransfer(const FolderServices& services, CFolderItems& items, EncryptInPrompts& prompts, Trash* trash,
                  CUndoHistory& history, const QString& workRoot);

    // The items copied or moved into `destination`, one undo record for all.
    OpResult Run(const QStringList& items, const QString& destination, bool move);
    // Copies of the items in their own folder, under the first free copy name.
    OpResult Duplicate(const QStringList& items, const QString& destination);
    // A folder into itself, into its own subfolder or into the folder that holds it, and a file into the
    // folder that holds it, are refused (A312 to A315, shown).
    bool RelationRefused(const QString& item, const QString& destination, bool move);
    // A moved item back to where it was: a rename on one volume, else a copy and a delete.
    OpResult MoveBack(const QString& from, const QString& to);
    // An item a copy or move replaced, from beside its place or from the trash, back in `place`.
    OpResult BringBack(const QString& aside, const QString& time, const QString& place, const QString& name);

    // The n-th name tried for a copy in its own folder: "a - コピー.txt", "a - コピー (2).txt", ...; a
    // folder keeps its whole name as the stem.
    static QString CopyName(const QString& name, bool folder, int n);

private:
    // How a step ended: on with the next item, this item skipped, stopped after a message, or ended on the
    // user's word.
    enum Step { kNext, kSkipped, kStop, kEnd };

    Step TransferItem(const QString& item, const QString& destination, bool move, int slot, bool record);
    Step TransferFolder(const QString& item, const QString& destination, bool move, int slot, bool record);
    Step TransferFile(const QString& item, const QString& destination, bool move, int slot, bool record);
    Step CopyFolderAsNew(const QString& item, const QString& target);
    Step CopyEntry(const TreeEntry& entry, const QString& target);
    Step WriteFile(const QString& item, const QString& target, const CFolderItems::Source& source, bool move);
    // A container about to be replaced moves to a fresh disk name beside it; once the new one is in place
    // it goes to the trash, and an undo brings it back (`texts` gets its two undo-record entries).
    [[nodiscard]] int SetAside(const QString& target, QString& aside);
    void PutAway(const QString& aside, QStringList& texts);
    // A pipe, socket or device below a folder that is to be moved by copying (refused, A722 shown).
    bool SpecialFileRefused(const QString& folder);
    // The bytes of a plain file; 0, or -1 (shown).
    [[nodiscard]] int CopyPlain(const QString& from, const QString& to);
    [[nodiscard]] int CopyLinkTo(const QString& from, const QString& to);
    // A720 for the pipes, sockets and devices a copy left where they are.
    void ReportLeftAsTheyAre();

    CCryptEngine& m_engine;
    CAccessCheck& m_access;
    FileSystem& m_files;
    Interaction& m_ui;
    CFolderItems& m_items;
    EncryptInPrompts& m_prompts;
    Trash* m_trash;
    CUndoHistory& m_history;
    CKeyChange m_keys;

    bool m_overwriteAllFiles = false;
    bool m_overwriteAllFolders = false;
    bool m_singleItem = false;
    QString m_verb; // "コピー" or "移動"
    QStringList m_leftAsTheyAre;
};

} // namespace korimbo
