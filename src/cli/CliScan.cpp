// korimbo-cli scan: the integrity scan of a folder tree, one line per container not whole.
#include "cli/CliTool.h"

#include "crypto/ContainerScan.h"

#include <QFileInfo>

#include <cstdio>

namespace korimbo {

namespace {

void Print(const QString& text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

struct ScanCounts {
    int containers = 0;
    int opened = 0; // containers the password opens, whole or not
    int damaged = 0;
    int unreadable = 0;
    int otherPassword = 0;
};

// The kind word of a line, or nothing for a whole container or a plain file; counts as it goes.
QString KindWord(const ContainerVerdict& verdict, ScanCounts& counts) {
    switch (verdict.fault) {
    case ContainerFault::kNotContainer:
        return QString();
    case ContainerFault::kNone:
        ++counts.containers;
        ++counts.opened;
        return QString();
    case ContainerFault::kOtherPassword:
        ++counts.containers;
        ++counts.otherPassword;
        return QStringLiteral("other-password");
    case ContainerFault::kUnreadable:
    case ContainerFault::kNewerVersion:
        ++counts.containers;
        ++counts.unreadable;
        return QStringLiteral("unreadable");
    case ContainerFault::kTruncated:
    case ContainerFault::kBodyError:
    case ContainerFault::kHeaderDamaged:
        break;
    }
    ++counts.containers;
    ++counts.opened;
    ++counts.damaged;
    return QStringLiteral("damaged");
}

} // namespace

// Exit code: 3 when the folder holds containers and the password opens none of them (a wrong password);
// else 1 when any is damaged or unreadable; else 0. Containers of another password beside ones that open
// are listed as such and are no damage.
int CCliTool::Scan(const QString& folder) {
    if (!QFileInfo(folder).isDir()) {
        std::fputs((QStringLiteral("korimbo-cli: フォルダーではありません: ") + folder + u'\n').toUtf8().constData(),
                   stderr);
        return kExitFailed;
    }
    if (UseKey() != 0)
        return kExitFailed;
    std::shared_ptr<const ProbeKeys> keys = m_engine.ProbeKeysFor(m_key);
    if (!keys)
        return kExitFailed;
    QStringList unreadableFolders;
    const QStringList paths = CContainerScan::FilesBelow(QFileInfo(folder).absoluteFilePath(), &unreadableFolders);
    CContainerScan scan(std::move(keys), m_files, m_ui);
    const CContainerScan::Result result = scan.Run(paths);
    ScanCounts counts;
    for (const ScannedFile& file : result.files) {
        const QString kind = KindWord(file.verdict, counts);
        if (!kind.isEmpty())
            Print(kind + u'\t' + file.path + u'\t' + file.verdict.storedName + u'\t' +
                  FaultText(file.verdict, m_catalogue) + u'\n');
    }
    for (const QString& unreadable : unreadableFolders) {
        ++counts.unreadable;
        Print(QStringLiteral("unreadable-folder\t") + unreadable + QStringLiteral("\t\t\n"));
    }
    Print(QStringLiteral("summary\t%1 files, %2 containers, %3 damaged, %4 unreadable, %5 other password\n")
              .arg(result.files.size())
              .arg(counts.containers)
              .arg(counts.damaged)
              .arg(counts.unreadable)
              .arg(counts.otherPassword));
    if (counts.containers > 0 && counts.opened == 0 && counts.otherPassword > 0)
        return kExitWrongPassword;
    return counts.damaged + counts.unreadable > 0 ? kExitFailed : kExitOk;
}

} // namespace korimbo
