#pragma once

#include "folder/FolderServices.h"
#include "util/OpResult.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// What one operation inside the encrypted folders knows of the items it touches: their owning folder and
// key, what a file is (a container with its stored name, or a plain file), the name-file entries of each
// directory it reads or writes (kept for the whole operation) and the directories it changed.
class CFolderItems {
public:
    // A file as the operations see it.
    struct Source {
        bool container = false;
        QString name; // the name the user sees (stored name of a container)
        qint64 plainSize = 0;
    };

    explicit CFolderItems(const FolderServices& services);

    // Whether a container has a working copy in the decrypted workspace.
    std::function<bool(const QString& container)> isOpenInWorkspace;
    // False when no container below the folder can be open: its containers are not asked one by one.
    std::function<bool(const QString& folder)> mayHoldOpen;

    QString KeyOf(const QString& path) const { return m_s.nameFile.OwningRoot(path); }
    bool ReadOnlyFolder(const QString& path) const;
    Source Describe(const QString& path);
    // The name-file entries of a directory, read once per operation and kept up to date by the callers.
    QList<NameEntry>& EntriesOf(const QString& directory);
    // Free means no entry of that name in the directory's name file and nothing of that name on disk.
    bool NameTaken(const QString& directory, const QString& name);
    QString ShownName(const QString& path);
    bool IsOpen(const QString& container) const { return isOpenInWorkspace && isOpenInWorkspace(container); }
    // A container below `folder` with a working copy; its path goes to `which`.
    bool HoldsOpenFile(const QString& folder, QString* which = nullptr);
    // Another program holds a file below `folder` open (it could not be opened alone).
    bool HoldsFileInUse(const QString& folder, QString* which);

    void Changed(const QString& directory);
    // Every changed directory gets its name file brought in line with the disk; the kept entries go.
    void RefreshChanged();
    void ClearChanged() { m_changed.clear(); }
    const QStringList& ChangedFolders() const { return m_changed; }

    // The modification time of an item as an undo record keeps it.
    static QString ModifiedText(const QString& path);

    int Report(int number, const QString& tail, Icon icon = Icon::Error);
    // A failed call on `path`: the message, the error's text, and the path.
    int ReportError(int number, int error, const QString& path);
    // The same two for an operation that ends on the message: it has failed, and the user has been told.
    OpResult Fail(int number, const QString& tail, Icon icon = Icon::Error);
    OpResult FailError(int number, int error, const QString& path);
    // The user asked to stop (reported with A105).
    bool Stopped();

private:
    FolderServices m_s;
    QHash<QString, QList<NameEntry>> m_entries; // directory -> its name-file entries
    QStringList m_changed;
};

} // namespace korimbo
