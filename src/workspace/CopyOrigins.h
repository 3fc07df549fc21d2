#pragma once

#include "util/FileSystem.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace korimbo {

// The container a working copy was made from, as it was then. A container rewritten since (from another
// program folder, another machine, a synchronised folder, an encrypt-in over it) no longer matches.
struct ContainerOrigin {
    qint64 size = -1;
    qint64 modifiedNs = 0;
    QByteArray headerHash; // SHA-256 of the container's first bytes: its header, new at every write
    qint64 plainSize = -1; // the copy's size when it was made; -1: whatever the copy holds is an edit
    qint64 copyTime = -1;  // the whole-second time the copy was given; -1 as above
    bool SameContainer(const ContainerOrigin& other) const {
        return size == other.size && modifiedNs == other.modifiedNs && headerHash == other.headerHash;
    }
};

// Where each working copy of a folder came from, in one small file of the folder's work base, so that
// the record outlives the program: a copy left by a crash is judged against its own container days later.
// Copies are known by a hash of their path below the editing area; no plain name is written down.
class CCopyOrigins {
public:
    explicit CCopyOrigins(FileSystem& files) : m_files(files) {}

    // The container as it is now; false when it cannot be read.
    [[nodiscard]] bool Identify(const QString& container, ContainerOrigin& origin);
    // `base` is the folder's work base (work root / work id), `copy` the path below its editing area.
    // 0, or an errno.
    SysResult Record(const QString& base, const QString& copy, const ContainerOrigin& origin);
    [[nodiscard]] bool Lookup(const QString& base, const QString& copy, ContainerOrigin& origin);
    void Forget(const QString& base, const QString& copy);

private:
    static QString RecordFile(const QString& base);
    QJsonObject ReadRecords(const QString& path);
    static QString KeyOf(const QString& copy);

    FileSystem& m_files;
    QString m_cachedPath;
    FileIdentity m_cachedIdentity;
    QJsonObject m_cached;
};

} // namespace korimbo
