#pragma once

#include "crypto/CryptEngine.h"
#include "util/FileSystem.h"

#include <QList>
#include <QString>

namespace korimbo {

// The user's files that "暗号化する(&U)" moves aside into a folder's creation area, each with the folder
// it came from. The journal is on disk before a file moves, so that a run cut short (a crash, a kill, a
// logout) gives the files back at the next start instead of losing them when the area is emptied.
class ParkedFiles {
public:
    struct Entry {
        QString parked; // the file in the creation area
        QString home;   // the folder it came from
        bool operator==(const Entry&) const = default;
    };

    ParkedFiles(FileSystem& files, CCryptEngine& engine, const QString& creationArea);

    // The journal of a creation area; it lives in the area itself.
    static QString JournalOf(const QString& creationArea);

    // Reads the journal. No journal is no entry. Fails with the errno when the journal could not be read.
    SysResult Load();
    const QList<Entry>& Entries() const { return m_entries; }

    // Writes the entry durably, then moves `source` to `parked`. On a failure the file did not move and
    // has no entry.
    SysResult Park(const QString& source, const QString& parked);
    // The file was dealt with (its container is complete and it was wiped). A stale entry left by a
    // failing write is harmless: its file is gone, and the next put-back drops it.
    void Forget(const QString& parked);

    // Puts every parked file back into its folder, under a free name "name (2).ext" when its own is
    // taken; a file that is gone (dealt with) only loses its entry. The entries that failed are
    // returned with their errno; they and their files stay.
    struct Failure {
        Entry entry;
        int error = 0;
    };
    QList<Failure> PutBackAll();

    // The message's tail for a failed put-back: the reason, the parked file and its folder.
    static QString FailureText(const Failure& failure);

    // A move that keeps the file whole at every moment: a rename, or across volumes a copy under a
    // temporary name, synced and with the source's modification time, renamed into place, and only
    // then the source wiped.
    static SysResult MoveFile(FileSystem& files, CCryptEngine& engine, const QString& from, const QString& to);

private:
    SysResult Save();
    static QString FreeNameIn(const QString& folder, const QString& name);

    FileSystem& m_files;
    CCryptEngine& m_engine;
    QString m_area;
    QList<Entry> m_entries;
};

} // namespace korimbo
