#pragma once

#include "folder/EncryptIn.h"
#include "folder/NameFile.h"
#include "platform/Associations.h"
#include "state/FolderRegistry.h"
#include "state/WorkFolderSettings.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"

#include <QString>

#include <functional>

namespace korimbo {

// New items of the "新規作成(&W)" submenu in the shown directory of an encrypted folder: a folder, or a file
// of one of the desktop's new-file types. A new file is made in the folder's creation area ("Ce") under
// its final name and encrypted in from there, so that it arrives as a container under a fresh disk name
// with that name stored in it. Neither is recorded for undo; the window starts the rename of the new row.
class CNewItems {
public:
    // Whether a name is already held in the directory (compared without regard to case).
    using NameTaken = std::function<bool(const QString& name)>;

    CNewItems(FolderRegistry& registry, CNameFile& nameFile, Associations& associations,
              const WorkFolderSettings& workFolder, FileSystem& files, Interaction& ui, MessageSource& messages,
              CEncryptIn& encryptIn);

    // "新しいフォルダー", then "新しいフォルダー (2)", "新しいフォルダー (3)", ...: the first name not taken.
    static QString NewFolderName(const NameTaken& taken);
    // "新規 " + type + extension, then "新規 " + type + " (2)" + extension, ...: the first name not taken.
    static QString NewFileName(const QString& typeText, const QString& extension, const NameTaken& taken);
    // The type as the submenu and the new file's name show it: the desktop's description of the extension,
    // else the extension without its dot in upper case and " ファイル".
    static QString TypeText(Associations& associations, const QString& extension);

    // A new folder in `directory`: A316 for a folder registered read-only, A33 with the reason when the
    // directory is gone or the folder cannot be made. Done with the new folder's path.
    OpResult NewFolder(const QString& directory, QString& created);
    // A new file of the type of `extension` in `directory`: "NullFile" an empty file, "FileName" a copy of
    // the template, "Data" the stored text's bytes (UTF-8). A316 for a read-only folder; A98 when the type
    // has no such description any more or the file cannot be made, A99 when the template cannot be read,
    // each with the reason. Done with the new container's path.
    OpResult NewFile(const QString& directory, const QString& extension, QString& container);

private:
    // A316 when the directory's registered folder is read-only; the owning root in `key` otherwise.
    bool Writable(const QString& directory, QString& key);
    // Every name the directory's name file lists, plus whatever the disk holds under the name.
    NameTaken TakenIn(const QString& directory, const QString& key, bool& ok);
    // The new file's bytes in `path`. 0, or -1 (shown).
    int WriteNewFile(const ShellNew& description, const QString& path);
    int CopyTemplate(const QString& from, const QString& to);
    int Report(int number, int error, const QString& path);
    OpResult Fail(int number, int error, const QString& path);

    FolderRegistry& m_registry;
    CNameFile& m_nameFile;
    Associations& m_associations;
    const WorkFolderSettings& m_workFolder;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    CEncryptIn& m_encryptIn;
};

} // namespace korimbo
