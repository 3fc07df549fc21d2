#pragma once

#include "crypto/CryptEngine.h"
#include "folder/NameFile.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"

#include <QList>
#include <QString>

#include <vector>

namespace korimbo {

// One item a search found: a container by its plain name, a plain file or a folder by its disk name.
struct NameHit {
    QString folder;     // the registered folder it lies in
    QString path;       // where it lies on disk
    QString storedPath; // relative to the folder, plain names joined by "/"
    QString name;       // the name the contents list shows for it
    bool isFolder = false;

    // The directory it lies in, as the user knows it (subfolders keep their names on disk).
    QString Directory() const;
};

// The search by plain name over the logged-in folders. Building a folder's index reads the name file of
// every directory (refreshed first, so that it agrees with the disk) and, for a directory that has none, the
// container headers; no container body is ever deciphered. Every name is folded once when it is indexed,
// so a query is one substring scan over the folded names. A folder whose key slot is gone (logged out)
// is never searched, even before it is forgotten.
class CNameSearch {
public:
    CNameSearch(CNameFile& nameFile, const CCryptEngine& engine, Interaction& ui, MessageSource& messages);

    // (Re)builds the index of `folder` (a registered root whose key slot is named by its path). Pumps and
    // polls the stop request once per directory. kDone; kDeclined when the folder is not logged in or the
    // user stopped (nothing is kept); kFailed when a name file could not be read (shown).
    OpResult Build(const QString& folder);
    // Drops the index of `folder` (its logout or release).
    void Forget(const QString& folder);
    // Whether `folder` has an index that is searched (it is still logged in).
    [[nodiscard]] bool Holds(const QString& folder) const;
    // The folders indexed, logged in or not.
    [[nodiscard]] QStringList Folders() const;
    [[nodiscard]] int NameCount() const;

    struct Found {
        QList<NameHit> hits; // the first `limit` of them, in the order of the folders' trees
        int total = 0;       // all that matched
    };
    // The items whose names hold `pattern` (folded as FoldedName); nothing for an empty pattern.
    // `onlyFolder`: searched in that folder alone (empty: every folder indexed).
    [[nodiscard]] Found Find(const QString& pattern, int limit, const QString& onlyFolder = QString()) const;

    // How many directories the last builds read without a name file (their headers read one by one).
    [[nodiscard]] int DirectoriesWithoutNameFile() const { return m_withoutNameFile; }

private:
    struct FolderIndex {
        QString folder;
        std::vector<QString> folded; // FoldedName of each hit's name, in the same order
        QList<NameHit> hits;
    };
    // One directory and, depth first, the folders below it. 0, -1 (shown), or 1 (stopped).
    int AddDirectory(const QString& directory, const QString& storedPrefix, FolderIndex& index);
    // The entries of a directory: from its name file, or from the headers where it has none.
    int EntriesOf(const QString& directory, const QString& key, QList<NameEntry>& entries);

    CNameFile& m_nameFile;
    const CCryptEngine& m_engine;
    Interaction& m_ui;
    MessageSource& m_messages;
    std::vector<FolderIndex> m_indexes;
    int m_withoutNameFile = 0;
};

} // namespace korimbo
