#pragma once

#include "platform/Volumes.h"

#include <QList>
#include <QString>

namespace korimbo {

// One item in a trash: the file or folder kept there, its info file and where it came from.
struct TrashEntry {
    QString trashedPath;  // <trash>/files/NAME
    QString infoPath;     // <trash>/info/NAME.trashinfo
    QString originalPath; // "Path=" made absolute, percent-decoded
    QString rawPath;      // "Path=" made absolute, taken as it stands (some writers do not encode it)
};

// The desktop's trash: deleted items are kept there and can be brought back.
class Trash {
public:
    virtual ~Trash() = default;
    // Moves a file or folder into the trash of its volume. 0, or an errno.
    virtual int MoveToTrash(const QString& path) = 0;
    // The items of the home trash and of the trashes of the volume that holds `near`. 0, or an errno
    // when the home trash exists but cannot be read.
    virtual int Entries(const QString& near, QList<TrashEntry>& entries) = 0;
    // Takes an item out of the trash to `target` (never over an existing file; its folder must exist) and
    // forgets its info file. 0, or an errno.
    virtual int Restore(const TrashEntry& entry, const QString& target) = 0;
};

// The freedesktop.org trash: the home trash ($XDG_DATA_HOME/Trash), and for a folder on a removable
// volume, or one the home trash cannot reach without copying, the volume's own trash ("$topdir/.Trash/$uid"
// when the administrator made ".Trash" sticky, else "$topdir/.Trash-$uid").
class FreedesktopTrash final : public Trash {
public:
    FreedesktopTrash(const QString& homeTrash, Volumes& volumes);
    // $XDG_DATA_HOME/Trash, or $HOME/.local/share/Trash.
    static QString HomeTrashOfEnvironment();

    int MoveToTrash(const QString& path) override;
    int Entries(const QString& near, QList<TrashEntry>& entries) override;
    int Restore(const TrashEntry& entry, const QString& target) override;

    const QString& HomeTrash() const { return m_homeTrash; }
    // The trash of the volume mounted at `topdir` this user may use; empty when there is none and it cannot
    // be made.
    static QString VolumeTrash(const QString& topdir, bool create);

private:
    // Moves `path` into `trash` (made when missing); `topdir` non-empty: "Path=" relative to it.
    static int MoveInto(const QString& path, const QString& trash, const QString& topdir);
    static int ReadTrash(const QString& trash, const QString& topdir, QList<TrashEntry>& entries);

    QString m_homeTrash;
    Volumes& m_volumes;
};

} // namespace korimbo
