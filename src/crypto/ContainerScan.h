#pragma once

#include "crypto/ContainerProbe.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace korimbo {

// One file of a scan and what its check found.
struct ScannedFile {
    QString path;
    ContainerVerdict verdict;
};

// The full check of many containers at once: a pool of worker threads, each with a probe of its own over
// one shared read-only copy of the keys, while the calling thread pumps the window, reports progress and
// passes a stop request on. Nothing is written and nothing is shown.
class CContainerScan {
public:
    struct Result {
        std::vector<ScannedFile> files; // those checked, in the order given
        int total = 0;                  // files given
        bool stopped = false;           // the user stopped it; `files` holds those done before
    };

    CContainerScan(std::shared_ptr<const ProbeKeys> keys, FileSystem& files, Interaction& ui);

    // Threads to check with; 0 (the default) for one per processor.
    void SetWorkers(int workers) { m_workers = workers; }
    // Called on the calling thread with the files done so far and the total, at most every few ms.
    std::function<void(int done, int total)> progress;

    [[nodiscard]] Result Run(const QStringList& paths);

    // The regular files below `root` a scan looks at: links, special files, dot files and the temporary
    // files of our own left out. `unreadable` gets the folders whose entries could not be read.
    [[nodiscard]] static QStringList FilesBelow(const QString& root, QStringList* unreadable = nullptr);

private:
    int WorkerCount(int files) const;

    std::shared_ptr<const ProbeKeys> m_keys;
    FileSystem& m_files;
    Interaction& m_ui;
    int m_workers = 0;
};

} // namespace korimbo
