// korimbo-cli find: the search by plain name over a folder, from the container headers.
#include "cli/CliTool.h"

#include "util/NameFold.h"
#include "util/TreeWalk.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace korimbo {

namespace {

void Print(const QString& text, FILE* stream) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

} // namespace

// The name files are kept in the work root of the program, which korimbo-cli does not know; and a name
// file may lag behind a folder changed while the program was not running. So every file's header is read
// (only the header: no body is deciphered). A container of the password shows its plain name; any other
// file, a link or a special file shows its name on disk, as the contents list shows it.
QString CCliTool::StoredName(const TreeEntry& entry, FindCounts& counts) {
    const QString diskName = QFileInfo(entry.path).fileName();
    if (entry.kind != ItemKind::File)
        return diskName;
    ContainerInfo info;
    const std::optional<ContainerCheck> check = m_engine.CheckContainer(entry.path, info, m_key, false);
    if (check && check->Usable()) {
        ++counts.opened;
        return info.name;
    }
    if (check && check->status == kWrongPassword)
        ++counts.otherPassword;
    return diskName;
}

int CCliTool::Find(const QString& folder, const QString& pattern) {
    if (CheckName(folder) != kExitOk)
        return kExitFailed;
    if (!QFileInfo(folder).isDir()) {
        Print(QStringLiteral("korimbo-cli: フォルダーが見つかりません: ") + folder + u'\n', stderr);
        return kExitFailed;
    }
    if (UseKey() != 0)
        return kExitFailed;
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString wanted = FoldedName(pattern);
    FindCounts counts;
    QStringList found;
    const WalkResult walked = WalkTree(root, [&](const TreeEntry& entry) {
        const QString diskName = QFileInfo(entry.path).fileName();
        if (diskName.startsWith(u'.'))
            return Visit::Prune; // hidden, and the temporary files of a write in progress
        const QString name = StoredName(entry, counts);
        if (FoldedContains(FoldedName(name), wanted)) {
            const QString directory = QFileInfo(entry.path).path().mid(root.size() + 1);
            found.append(directory.isEmpty() ? name : directory + u'/' + name);
        }
        return Visit::Continue;
    });
    for (const QString& unreadable : walked.unreadable)
        Print(QStringLiteral("korimbo-cli: フォルダーを読めません: ") + unreadable + u'\n', stderr);
    if (counts.opened == 0 && counts.otherPassword > 0) {
        Print(QStringLiteral("korimbo-cli: パスワードが違います（このフォルダーの暗号ファイルを1つも開けません）。\n"),
              stderr);
        return kExitWrongPassword;
    }
    std::sort(found.begin(), found.end());
    for (const QString& path : found)
        Print(path + u'\n', stdout);
    return found.isEmpty() ? kExitFailed : kExitOk;
}

} // namespace korimbo
