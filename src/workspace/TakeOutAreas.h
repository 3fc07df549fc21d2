#pragma once

#include "folder/FolderServices.h"
#include "util/TreeWalk.h"

#include <QString>

namespace korimbo {

// The two staging areas of a folder's take-out: "To" for decrypted copies, "Re" (the export folder) for
// containers. Where they lie, made private and empty before a command stages, emptied after it (the
// plaintext wiped, containers deleted), and what is staged opened up for the programs it is handed to.
class CTakeOutAreas {
public:
    explicit CTakeOutAreas(const FolderServices& services);

    // The folder's take-out area and export folder; empty when the folder is not registered.
    QString TakeOutArea(const QString& root) const;
    QString ExportFolder(const QString& root) const;

    // Emptied and made private, ready for staging. 0, or -1 (shown).
    [[nodiscard]] int PrepareTakeOutArea(const QString& root);
    [[nodiscard]] int PrepareExportFolder(const QString& root);
    // Everything staged goes, the area itself stays; a missing area is empty already. 0, or -1 (shown).
    [[nodiscard]] int EmptyTakeOutArea(const QString& root);
    [[nodiscard]] int EmptyExportFolder(const QString& root);

    // Whether `bytes` of decrypted copies fit where the copies go (A122, shown). 0, or -1.
    [[nodiscard]] int CheckRoomForCopies(qint64 bytes);
    // Staged items are handed to other programs: they may read them (the area itself stays private to
    // the user); a read-only copy of a read-only folder stays read-only.
    void OpenUp(const QString& path);

private:
    // `fileMessage` 0: the failure is not shown (the caller reports it).
    int Empty(const QString& area, bool wipe, int fileMessage, int folderMessage);
    RemoveResult WipeFilesIn(const QString& area, QString& wipeError);
    int NotEmptied(const RemoveResult& removed, const QString& wipeError, int fileMessage, int folderMessage);

    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    const WorkFolderSettings& m_workFolder;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
};

} // namespace korimbo
