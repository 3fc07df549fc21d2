#pragma once

#include "platform/Volumes.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"

#include <QString>

namespace korimbo {

// Makes sure every file the program is about to read can be opened for reading, so that a long
// operation does not stop half-way. Nothing on disk is changed.
class CAccessCheck {
public:
    CAccessCheck(Volumes& volumes, FileSystem& files, Interaction& ui, MessageSource& messages);

    // `path` is a file or a folder (walked in full). Report mode 1 shows a failure in a warning box;
    // any other mode hands it back in `message`, which is emptied first.
    // 0: the path may be used (also on volumes without access control); -1: a file cannot be read.
    int CheckAccess(const QString& path, int reportMode, QString& message);

private:
    int TestFile(const QString& path, int reportMode, QString& message);

    Volumes& m_volumes;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
};

} // namespace korimbo
