#pragma once

#include "util/OpResult.h"

#include <QMimeData>
#include <QStringList>

#include <functional>

namespace korimbo {

// The data of a drag out of the contents list. The file list (text/uri-list) is offered from the start
// but made only when a drop target first asks for it: file managers ask while the pointer hovers, mail
// programs at the drop. The files are prepared once and kept for the rest of the drag; a failed
// preparation gives the target nothing, so the drop fails.
class CDragOutData : public QMimeData {
    Q_OBJECT

public:
    // Makes the files and gives their paths.
    using Prepare = std::function<OpResult(QStringList& paths)>;

    explicit CDragOutData(Prepare prepare);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // Whether the preparation ran, and the paths it gave.
    bool Prepared() const { return m_prepared; }
    const QStringList& Paths() const { return m_paths; }
    // Runs the preparation now unless it ran already; false when it failed.
    bool PrepareOnce() const;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    Prepare m_prepare;
    mutable QStringList m_paths;
    mutable bool m_prepared = false;
    mutable bool m_failed = false;
    mutable bool m_preparing = false;
};

} // namespace korimbo
