#pragma once

#include "util/FileSystem.h"

namespace korimbo {

// A file layer that hands every call to another one; a test overrides only the calls it changes.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : m_inner(inner) {}

    std::unique_ptr<File> Open(const QString& p, OpenMode m, int& e) override { return m_inner.Open(p, m, e); }
    bool Exists(const QString& p) override { return m_inner.Exists(p); }
    SysResult Size(const QString& p, qint64& s) override { return m_inner.Size(p, s); }
    SysResult Remove(const QString& p) override { return m_inner.Remove(p); }
    SysResult Rename(const QString& f, const QString& t) override { return m_inner.Rename(f, t); }
    SysResult FreeBytes(const QString& f, qint64& b) override { return m_inner.FreeBytes(f, b); }
    SysResult SetModificationTime(const QString& p, qint64 s) override { return m_inner.SetModificationTime(p, s); }
    SysResult MakeWritable(const QString& p) override { return m_inner.MakeWritable(p); }
    SysResult SetReadOnly(const QString& p) override { return m_inner.SetReadOnly(p); }
    SysResult SyncFolder(const QString& f) override { return m_inner.SyncFolder(f); }
    std::unique_ptr<VolumeSync> MarkVolume(const QString& f) override { return m_inner.MarkVolume(f); }
    SysResult ReplaceContents(const QString& p, const QByteArray& d) override { return m_inner.ReplaceContents(p, d); }
    SysResult ReadContents(const QString& p, QByteArray& d) override { return m_inner.ReadContents(p, d); }
    SysResult MakeFolder(const QString& p) override { return m_inner.MakeFolder(p); }
    SysResult RemoveFolder(const QString& p) override { return m_inner.RemoveFolder(p); }
    SysResult SetPermissions(const QString& p, unsigned m) override { return m_inner.SetPermissions(p, m); }

protected:
    FileSystem& m_inner;
};

} // namespace korimbo
