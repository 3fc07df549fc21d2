#pragma once

#include "util/SysResult.h"

#include <QString>
#include <QStringList>

namespace korimbo {

// Where a registered folder's working files live: work root / work id / area. The work root is the work
// folder of WorkFolderSettings, the work id the folder's registry entry.
class WorkAreas {
public:
    static inline const QString kEditing = QStringLiteral("Ac");  // working copies opened for editing
    static inline const QString kReturn = QStringLiteral("Re");   // staging for taking files out
    static inline const QString kNameFile = QStringLiteral("Nf"); // name-file steps and the name-file mirror
    static inline const QString kCreation = QStringLiteral("Ce"); // temporary files of encryption
    static inline const QString kTakeOut = QStringLiteral("To");  // staging for taking files out
    // Every area, in the order login makes them.
    static inline const QStringList kAll = {kEditing, kReturn, kNameFile, kCreation, kTakeOut};

    // Work root / work id, or empty when either is empty: without a work id the areas would be the work
    // root itself, which holds every folder's areas.
    static QString BaseOf(const QString& workRoot, const QString& workId) {
        if (workRoot.isEmpty() || workId.isEmpty())
            return QString();
        return workRoot + u'/' + workId;
    }
    // Makes `path` and every missing folder above it owner-only (0700), whatever the umask, and takes
    // group and other access from `path` itself when it was there.
    static SysResult MakePrivateFolder(const QString& path);
    // Takes group and other access (and the special bits) from everything below `folder` and from the
    // folder itself, keeping the owner's bits: folders 0700, files 0600 (0400 when read-only), for what
    // an earlier version or another umask left there.
    // Symbolic links are neither followed nor changed.
    static void MakeTreePrivate(const QString& folder);

    // Work root / work id / area, or empty as above.
    static QString AreaOf(const QString& workRoot, const QString& workId, const QString& area) {
        const QString base = BaseOf(workRoot, workId);
        return base.isEmpty() ? QString() : base + u'/' + area;
    }
};

} // namespace korimbo
