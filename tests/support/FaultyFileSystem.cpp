#include "FaultyFileSystem.h"

#include <QSaveFile>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace korimbo {

namespace {

class FaultyFile final : public File {
public:
    FaultyFile(std::unique_ptr<File> inner, const FaultyFileSystem::Fault* read, const FaultyFileSystem::Fault* write,
               const FaultyFileSystem::Fault* seek, const FaultyFileSystem::Fault* sync)
        : m_inner(std::move(inner)), m_read(read), m_write(write), m_seek(seek), m_sync(sync) {}

    qint64 Read(void* buffer, qint64 count) override {
        if (m_read) {
            const qint64 left = m_read->afterBytes - m_readCount;
            if (left <= 0)
                return Fail(m_read->error);
            count = std::min(count, left);
        }
        if (m_end >= 0)
            count = std::clamp<qint64>(m_end - m_inner->Position(), 0, count);
        const qint64 n = count > 0 ? m_inner->Read(buffer, count) : 0;
        if (n > 0)
            m_readCount += n;
        return n;
    }

    qint64 Write(const void* buffer, qint64 count) override {
        if (m_corrupt && m_corrupt->afterBytes >= m_writeCount && m_corrupt->afterBytes < m_writeCount + count) {
            QByteArray damaged(static_cast<const char*>(buffer), count);
            const qint64 at = m_corrupt->afterBytes - m_writeCount;
            damaged[at] = char(damaged[at] ^ 0x01);
            m_corrupt = nullptr; // once per handle
            return Write(damaged.constData(), count);
        }
        if (m_write) {
            const qint64 left = m_write->afterBytes - m_writeCount;
            if (left <= 0)
                return Fail(m_write->error);
            if (count > left) {
                const qint64 n = m_inner->Write(buffer, left);
                m_writeCount += std::max<qint64>(n, 0);
                m_error = m_write->error;
                return n;
            }
        }
        const qint64 n = m_inner->Write(buffer, count);
        if (n > 0)
            m_writeCount += n;
        return n;
    }

    qint64 Seek(qint64 offset, Whence whence) override {
        if (m_seek)
            return Fail(m_seek->error);
        return m_inner->Seek(offset, whence);
    }

    void Corrupt(const FaultyFileSystem::Fault* fault) { m_corrupt = fault; }
    void EndAt(qint64 size) { m_end = size; }

    qint64 Position() override { return m_inner->Position(); }
    bool Truncate(qint64 size) override { return m_inner->Truncate(size); }
    bool Sync() override {
        if (m_sync) {
            m_error = m_sync->error;
            return false;
        }
        return m_inner->Sync();
    }
    bool ModificationTime(qint64& secs) override { return m_inner->ModificationTime(secs); }
    int Error() const override { return m_error != 0 ? m_error : m_inner->Error(); }

private:
    qint64 Fail(int error) {
        m_error = error;
        return -1;
    }

    std::unique_ptr<File> m_inner;
    const FaultyFileSystem::Fault* m_read;
    const FaultyFileSystem::Fault* m_write;
    const FaultyFileSystem::Fault* m_seek;
    const FaultyFileSystem::Fault* m_sync;
    const FaultyFileSystem::Fault* m_corrupt = nullptr;
    qint64 m_end = -1; // reads stop here, when set
    qint64 m_readCount = 0;
    qint64 m_writeCount = 0;
    int m_error = 0;
};

} // namespace

int FaultyFileSystem::WriteBitsRefuse(const QString& path) const {
    if (!honourWriteBits)
        return 0;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return (st.st_mode & S_IWUSR) != 0 ? 0 : EACCES;
}

std::unique_ptr<VolumeSync> FaultyFileSystem::MarkVolume(const QString& folder) {
    struct Mark final : VolumeSync {
        int error = 0;
        bool Holds(const QString&) override { return true; }
        SysResult SyncVolume() override { return SysResult(std::exchange(error, 0)); }
    };
    if (!markVolumes)
        return nullptr;
    auto mark = std::make_unique<Mark>();
    mark->error = Matches(volumeSyncFault, folder) ? volumeSyncFault.error : 0;
    return mark;
}

std::unique_ptr<File> FaultyFileSystem::Open(const QString& path, OpenMode mode, int& error) {
    if (Matches(openFault, path)) {
        error = openFault.error;
        return nullptr;
    }
    if (mode != OpenMode::Read) {
        if (const int refused = WriteBitsRefuse(path); refused != 0) {
            error = refused;
            return nullptr;
        }
    }
    if (mode == OpenMode::ReadWriteAlone && Matches(heldOpen, path)) {
        error = EBUSY;
        return nullptr;
    }
    std::unique_ptr<File> inner = m_local.Open(path, mode, error);
    if (!inner)
        return nullptr;
    auto file = std::make_unique<FaultyFile>(std::move(inner), Matches(readFault, path) ? &readFault : nullptr,
                                             Matches(writeFault, path) ? &writeFault : nullptr,
                                             Matches(seekFault, path) ? &seekFault : nullptr,
                                             Matches(syncFault, path) ? &syncFault : nullptr);
    if (Matches(corruptFault, path))
        file->Corrupt(&corruptFault);
    qint64 size = 0;
    if (mode == OpenMode::Read && Matches(staleReadFault, path) && m_local.Size(path, size).Ok())
        file->EndAt(size);
    return file;
}

SysResult FaultyFileSystem::Remove(const QString& path) {
    if (Matches(removeFault, path))
        return removeFault.error;
    return m_local.Remove(path);
}

SysResult FaultyFileSystem::Rename(const QString& from, const QString& to) {
    if (Matches(renameFault, from) || Matches(renameFault, to))
        return renameFault.error;
    return m_local.Rename(from, to);
}

SysResult FaultyFileSystem::FreeBytes(const QString& folder, qint64& bytes) {
    if (freeBytes) {
        bytes = *freeBytes;
        return 0;
    }
    return m_local.FreeBytes(folder, bytes);
}

SysResult FaultyFileSystem::ReplaceContents(const QString& path, const QByteArray& data) {
    if (Matches(openFault, path))
        return openFault.error;
    if (const int refused = WriteBitsRefuse(path); refused != 0)
        return refused;
    if (Matches(writeFault, path)) {
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(data.left(writeFault.afterBytes));
        file.cancelWriting();
        return writeFault.error;
    }
    return m_local.ReplaceContents(path, data);
}

SysResult FaultyFileSystem::ReadContents(const QString& path, QByteArray& data) {
    contentsReads.append(path);
    if (Matches(openFault, path))
        return openFault.error;
    if (Matches(readFault, path))
        return readFault.error;
    return m_local.ReadContents(path, data);
}

} // namespace korimbo
