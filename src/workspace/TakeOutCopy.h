#pragma once

#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace korimbo {

class CWorkingCopies;

// The copy (or move) of staged take-out items into a folder the user chose. A folder is merged into one
// of the same name; an existing file is replaced only after the question; a move renames where it can
// and otherwise copies and removes the source, wiping a decrypted copy. Each file goes through a
// temporary file beside its target, so a stop or a failure leaves nothing half-made. A copied file takes
// its name later with the others of its folder, once all of them are on the disk: on a volume that can
// report every failed write-back to one sync, through one sync of the volume; elsewhere each file is
// synced through its own handle. Their names then go to the disk in one sync of each folder. A file too
// large for the target's volume is refused before it is written (A781); like any failed file, it stops
// the copy.
class CTakeOutCopy {
public:
    // Bytes done of the total; false stops the copy (the user's Cancel).
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // `staged` are all the items of this copy: the progress counts their bytes.
    CTakeOutCopy(CWorkingCopies& copies, FileSystem& files, Interaction& ui, MessageSource& messages,
                 const QStringList& staged, bool move, Progress progress);

    // One staged item to `to`. 0, or -1: failed (shown) or stopped by the user (nothing to show).
    [[nodiscard]] int CopyItem(const QString& from, const QString& to);

private:
    enum class Step { Done, Into, Failed };

    int CopyTree(const QString& from, const QString& to);
    Step CopyEntry(const QString& from, const QString& to);
    Step EnterFolder(const QString& from, const QString& to);
    Step CopyFile(const QString& from, const QString& to);
    Step Failed(int number, const QString& tail, Icon icon = Icon::Error);
    bool GoOn();
    // The copied files waiting for their names get them. 0, or -1 (shown).
    int Commit();
    // The files not yet synced reach the disk in one sync of their volume. 0, or -1 (shown).
    int SyncVolume();
    int Place(const QString& temp, const QString& to);

    CWorkingCopies& m_copies;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    const bool m_move;
    const Progress m_progress;
    qint64 m_total = 0;
    qint64 m_done = 0;
    struct Pending {
        QString temp;
        QString to;
        bool unsynced = false; // waits for the volume's sync
    };
    QList<Pending> m_pending; // copied files, waiting for their names
    std::unique_ptr<VolumeSync> m_volume; // the target's volume, marked before the first write
};

} // namespace korimbo
