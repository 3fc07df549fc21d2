#include "workspace/DragOutData.h"

#include <QUrl>

namespace korimbo {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kText = QStringLiteral("text/plain");

} // namespace

CDragOutData::CDragOutData(Prepare prepare) : m_prepare(std::move(prepare)) {}

QStringList CDragOutData::formats() const {
    QStringList list = QMimeData::formats();
    for (const QString& format : {kUriList, kText})
        if (!list.contains(format))
            list.append(format);
    return list;
}

bool CDragOutData::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType);
}

bool CDragOutData::PrepareOnce() const {
    if (m_prepared)
        return !m_failed;
    // A target that asks again while the files are being made (the wait window lets events through)
    // gets nothing this time; its next request finds them ready.
    if (m_preparing)
        return false;
    m_preparing = true;
    QStringList paths;
    m_failed = !m_prepare || m_prepare(paths) != OpResult::kDone;
    m_preparing = false;
    m_prepared = true;
    if (!m_failed)
        m_paths = paths;
    return !m_failed;
}

QVariant CDragOutData::retrieveData(const QString& mimeType, QMetaType type) const {
    if (mimeType != kUriList && mimeType != kText)
        return QMimeData::retrieveData(mimeType, type);
    if (!PrepareOnce())
        return QVariant();
    if (mimeType == kText)
        return m_paths.join(u'\n');
    // Bytes, one URI a line: Qt turns them into a URL list for a caller that asks for one.
    QByteArray bytes;
    for (const QString& path : m_paths)
        bytes += QUrl::fromLocalFile(path).toEncoded() + "\r\n";
    return bytes;
}

} // namespace korimbo
