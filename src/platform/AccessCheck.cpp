#include "platform/AccessCheck.h"

#include "util/ErrorText.h"

#include <QDir>
#include <QFileInfo>

namespace korimbo {

namespace {

constexpr int kMsgCannotRead = 621;

QString ChildPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace

CAccessCheck::CAccessCheck(Volumes& volumes, FileSystem& files, Interaction& ui, MessageSource& messages)
    : m_volumes(volumes), m_files(files), m_ui(ui), m_messages(messages) {}

int CAccessCheck::CheckAccess(const QString& path, int reportMode, QString& message) {
    message.clear();
    // Without access control (or when the volume cannot be told) a permission failure is not
    // expected, so nothing is opened.
    if (!m_volumes.KeepsAccessControl(path))
        return 0;
    const QFileInfo info(path);
    if (info.isDir())
        return WalkFolder(path, reportMode, message);
    return TestFile(path, reportMode, message);
}

int CAccessCheck::WalkFolder(const QString& folder, int reportMode, QString& message) {
    // Listing order by name keeps the first reported file the same from run to run.
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString child = ChildPath(folder, name);
        const QFileInfo info(child);
        m_ui.Pump();
        // A link to a folder is not walked (it could lead back up the tree); through the file test
        // it passes, while a link to a file gets its target opened.
        const int result = info.isDir() && !info.isSymLink() ? WalkFolder(child, reportMode, message)
                                                             : TestFile(child, reportMode, message);
        if (result != 0)
            return result;
    }
    return 0;
}

int CAccessCheck::TestFile(const QString& path, int reportMode, QString& message) {
    // Only regular files: folders pass, and opening a FIFO or a device could block or touch hardware.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return 0;
    int error = 0;
    if (m_files.Open(path, OpenMode::Read, error)) // closed again at once
        return 0;

    const QString text = m_messages.MsgA(kMsgCannotRead) + u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + path;
    if (reportMode == 1)
        m_ui.Message(text, Icon::Warning, Buttons::Ok, 0, kMsgCannotRead);
    else
        message = text;
    return -1;
}

} // namespace korimbo
