#include "workspace/CopyOrigins.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace korimbo {

namespace {

constexpr qint64 kHeaderBytes = 4096;

} // namespace

// The list asks for every row at every rebuild: the file is parsed again only when it changed on disk.
QJsonObject CCopyOrigins::ReadRecords(const QString& path) {
    FileIdentity identity;
    if (m_files.Identify(path, identity).Failed())
        return QJsonObject();
    if (path == m_cachedPath && identity == m_cachedIdentity)
        return m_cached;
    QByteArray data;
    if (m_files.ReadContents(path, data).Failed())
        return QJsonObject();
    m_cachedPath = path;
    m_cachedIdentity = identity;
    m_cached = QJsonDocument::fromJson(data).object(); // a damaged file reads as empty: the old rule applies
    return m_cached;
}

QString CCopyOrigins::RecordFile(const QString& base) {
    return base + QStringLiteral("/origins");
}

QString CCopyOrigins::KeyOf(const QString& copy) {
    return QString::fromLatin1(QCryptographicHash::hash(copy.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool CCopyOrigins::Identify(const QString& container, ContainerOrigin& origin) {
    FileIdentity identity;
    if (m_files.Identify(container, identity).Failed() || identity.link)
        return false;
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(container, OpenMode::Read, error);
    if (!file)
        return false;
    QByteArray header(int(kHeaderBytes), '\0');
    const qint64 read = file->Read(header.data(), kHeaderBytes);
    if (read < 0)
        return false;
    header.truncate(int(read));
    origin.size = identity.size;
    origin.modifiedNs = identity.modifiedNs;
    origin.headerHash = QCryptographicHash::hash(header, QCryptographicHash::Sha256).toHex();
    return true;
}

SysResult CCopyOrigins::Record(const QString& base, const QString& copy, const ContainerOrigin& origin) {
    const QString path = RecordFile(base);
    QJsonObject records = ReadRecords(path);
    QJsonObject entry;
    entry.insert(QStringLiteral("size"), QString::number(origin.size));
    entry.insert(QStringLiteral("modified"), QString::number(origin.modifiedNs));
    entry.insert(QStringLiteral("header"), QString::fromLatin1(origin.headerHash));
    entry.insert(QStringLiteral("plainSize"), QString::number(origin.plainSize));
    entry.insert(QStringLiteral("copyTime"), QString::number(origin.copyTime));
    records.insert(KeyOf(copy), entry);
    return m_files.ReplaceContents(path, QJsonDocument(records).toJson(QJsonDocument::Compact));
}

bool CCopyOrigins::Lookup(const QString& base, const QString& copy, ContainerOrigin& origin) {
    const QJsonObject entry = ReadRecords(RecordFile(base)).value(KeyOf(copy)).toObject();
    if (entry.isEmpty())
        return false;
    origin.size = entry.value(QStringLiteral("size")).toString().toLongLong();
    origin.modifiedNs = entry.value(QStringLiteral("modified")).toString().toLongLong();
    origin.headerHash = entry.value(QStringLiteral("header")).toString().toLatin1();
    origin.plainSize = entry.value(QStringLiteral("plainSize")).toString().toLongLong();
    origin.copyTime = entry.value(QStringLiteral("copyTime")).toString().toLongLong();
    return !origin.headerHash.isEmpty();
}

void CCopyOrigins::Forget(const QString& base, const QString& copy) {
    const QString path = RecordFile(base);
    QJsonObject records = ReadRecords(path);
    if (!records.contains(KeyOf(copy)))
        return;
    records.remove(KeyOf(copy));
    if (records.isEmpty()) {
        static_cast<void>(m_files.Remove(path));
        return;
    }
    static_cast<void>(m_files.ReplaceContents(path, QJsonDocument(records).toJson(QJsonDocument::Compact)));
}

} // namespace korimbo
