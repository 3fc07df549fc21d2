#pragma once

#include "folder/EncryptInPrompts.h"
#include "folder/IncomingFile.h"
#include "folder/NameFile.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// A folder source taken into an encrypted folder as a plain subdirectory of containers: made anew, or
// filled beside the folder of its name that it replaces, which goes only once the new one is complete.
// Its files are handed to the run one by one; what it holds that is not taken in (links, special files,
// folders that cannot be read) is named at the end of the run; a moved source's emptied folders go.
class CIncomingFolder {
public:
    // What the run lends a folder for one source.
    struct Hooks {
        std::function<IntakeStep(const QString& file, const QString& directory)> takeFile;
        std::function<bool()> stopped; // the stop command was given (and said)
        std::function<bool(const QString& container)> isOpenInWorkspace;
        // Puts in place what the file steps left waiting, before a folder is renamed or removed.
        std::function<IntakeStep()> settle;
    };

    CIncomingFolder(FileSystem& files, CNameFile& nameFile, Interaction& ui, MessageSource& messages,
                    EncryptInPrompts& prompts);

    // A new run: the folder overwrite question is asked again, nothing is left behind yet.
    void Begin();
    // `source` into `destination`, whose name file lists `entries`.
    [[nodiscard]] IntakeStep Take(const QString& source, const QString& destination, bool move,
                                  const QList<NameEntry>& entries, const Hooks& hooks);
    // What the run's folder sources held that was not taken in, said once.
    void ReportLeftBehind();

private:
    IntakeStep MakeFolder(const QString& path);
    IntakeStep ReplaceFolder(const QString& source, const QString& target, bool move);
    IntakeStep ClearFolder(const QString& target);
    // Nothing below `folder` in use by another program nor open in the workspace.
    IntakeStep CheckFree(const QString& folder);
    IntakeStep RemoveFolderTree(const QString& folder);
    IntakeStep FillFolder(const QString& source, const QString& target);
    IntakeStep RemoveSourceFolder(const QString& source);
    int Report(int number, const QString& tail, Icon icon = Icon::Error);

    FileSystem& m_files;
    CNameFile& m_nameFile;
    Interaction& m_ui;
    MessageSource& m_messages;
    EncryptInPrompts& m_prompts;
    Hooks m_hooks; // those of the source being taken in

    bool m_overwriteAll = false;
    QStringList m_leftAsTheyAre;     // links and special files a folder source held, not opened
    QStringList m_unreadableFolders; // subfolders of a folder source that could not be listed
};

} // namespace korimbo
