#include "platform/AccessCheck.h"

#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/TreeWalk.h"

#include <sys/stat.h>

namespace korimbo {

CAccessCheck::CAccessCheck(Volumes& volumes, FileSystem& files, Interaction& ui, MessageSource& messages)
    : m_volumes(volumes), m_files(files), m_ui(ui), m_messages(messages) {}

int CAccessCheck::CheckAccess(const QString& path, int reportMode, QString& message) {
    message.clear();
    // Without access control (or when the volume cannot be told) a permission failure is not
    // expected, so nothing is opened.
    if (!m_volumes.KeepsAccessControl(path))
        return 0;
    if (KindOf(path) != ItemKind::Folder)
        return TestFile(path, reportMode, message);
    // By name, so that the first reported file is the same from run to run; a link to a folder is not
    // walked (it could lead back up the tree), and a folder that cannot be listed is the operation's to name.
    int result = 0;
    WalkTree(path, [&](const TreeEntry& entry) {
        m_ui.Pump();
        result = entry.kind == ItemKind::Folder ? 0 : TestFile(entry.path, reportMode, message);
        return result == 0 ? Visit::Continue : Visit::Stop;
    });
    return result;
}

int CAccessCheck::TestFile(const QString& path, int reportMode, QString& message) {
    // Only regular files, a link's target too: folders pass, and opening a FIFO or a device could block or
    // touch hardware.
    struct stat st {};
    if (::stat(NativePath(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    int error = 0;
    if (m_files.Open(path, OpenMode::Read, error)) // closed again at once
        return 0;

    const QString text =
        m_messages.MsgA(msg::kFileUnreadable) + u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + path;
    if (reportMode == 1)
        m_ui.Message(text, Icon::Warning, Buttons::Ok, 0, msg::kFileUnreadable);
    else
        message = text;
    return -1;
}

} // namespace korimbo
