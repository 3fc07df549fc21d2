#pragma once

#include "folder/FolderServices.h"
#include "util/OpResult.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// What lies in an encrypted folder without being a container: plain files someone put there past the program
// (a file manager, a sync client, an editor's save beside its file), links and special files. They are not
// protected, and the contents list shows them only by their disk names.
struct PlainFindings {
    QStringList plain;      // paths of files, links and special files that are not containers
    QStringList damaged;    // container names without a container's signature: broken, not plain
    QStringList unreadable; // files whose start could not be read, and folders whose entries could not be
    int containers = 0;
    bool stopped = false;
};

// The check of a logged-in folder for such items: the question, the walk with progress and stop, the report.
class CPlainFileCheck {
public:
    explicit CPlainFileCheck(const FolderServices& services) : m_s(services) {}

    std::function<void(bool)> busy;

    // Asks first (No declines), then walks the whole folder and reports what it found.
    [[nodiscard]] OpResult Run(const QString& folder);
    // The walk alone, with the key of the folder's login; nothing is shown.
    [[nodiscard]] PlainFindings Find(const QString& folder);

    // How many paths the report names before it only counts the rest.
    static constexpr int kNamedInReport = 30;

private:
    QString ReportText(const QString& folder, const PlainFindings& findings) const;

    FolderServices m_s;
};

} // namespace korimbo
