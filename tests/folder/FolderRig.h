#pragma once

#include "AppRig.h"
#include "folder/FolderServices.h"
#include "folder/NameFile.h"

#include <QDateTime>
#include <QFile>

#include <future>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

// A pipe, and a file whose name is given as bytes (not UTF-8, for one).
inline bool MakeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}
inline bool MakeNativeFile(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return fd >= 0 && ::close(fd) == 0 && written;
}

// Keeps a test from hanging on a pipe opened for reading: unless `finished` comes within five seconds, a
// writer opens the pipe, which frees the reader. The result says whether it had to.
inline std::future<bool> GuardFifo(const QString& fifo, std::shared_future<void> finished) {
    return std::async(std::launch::async, [path = QFile::encodeName(fifo), finished] {
        if (finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
            return false;
        if (const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0)
            ::close(fd);
        return true;
    });
}

// A started application with one registered folder whose key is entered (logged in), and the name file
// of that folder's directories.
struct FolderRig : AppRig {
    static inline const QString kPassword = QStringLiteral("Folder#Pw1");
    static inline const QString kWorkId = QStringLiteral("WID");

    using AppRig::AppRig;
    QString folder;
    std::unique_ptr<CNameFile> names;
    std::unique_ptr<CAccessCheck> access;

    // Registers `root` and enters its key as a login does.
    bool StartWith(const QString& root) {
        return Start() && Add(root, kPassword, QStringLiteral("0"), kWorkId) == 0 && LogIn(root);
    }
    // A rig over a new program folder with a new encrypted folder registered, both below `folders`;
    // null when it could not start.
    static std::unique_ptr<FolderRig> Started(TestFolders& folders) {
        auto rig = std::make_unique<FolderRig>(folders.NewFolder(QStringLiteral("program")));
        return rig->StartWith(folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }
    // A later run over the same program folder, where `root` is registered already.
    bool Resume(const QString& root) { return Start() && LogIn(root); }
    bool LogIn(const QString& root) {
        if (!EnterKey(root, kPassword))
            return false;
        folder = root;
        AppState& s = app.State();
        names = std::make_unique<CNameFile>(*s.engine, *s.registry, *s.workFolder, fs, ui, *s.catalogue);
        access = std::make_unique<CAccessCheck>(volumes, fs, ui, *s.catalogue);
        return true;
    }
    FolderServices Services() {
        AppState& s = app.State();
        return {*s.engine, *s.registry, *names, *access, s.settings, *s.workFolder, fs, ui, *s.catalogue};
    }
    bool EnterKey(const QString& name, const QString& password) {
        std::array<std::uint8_t, 34> bytes{};
        const int count = Engine().PasswordToBytes(password, bytes);
        return Engine().RegisterKey(bytes.data(), count, name, QStringLiteral("hint")) == 0;
    }
    QString MirrorOf(const QString& directory) {
        return app.State().workFolder->angoTempFolder + u'/' + kWorkId + QStringLiteral("/Nf") +
               directory.mid(folder.size()) + QStringLiteral("/_snf.zorn");
    }
    // Encrypts a file named `plainName` holding `contents` into `directory` with `key`; the container's path.
    QString Encrypt(const QString& directory, const QString& plainName, const QByteArray& contents,
                    const QString& key = QString()) {
        const QString source = scratch.path() + u'/' + plainName;
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            return QString();
        file.close();
        QString name;
        if (Engine().MakeContainerName(directory, name) != 0)
            return QString();
        const QString container = directory + u'/' + name;
        if (Engine().EncryptFile(source, container, key.isEmpty() ? folder : key) != 0)
            return QString();
        QFile::remove(source);
        return container;
    }
    // Moves the file's modification time by `seconds`.
    static bool Touch(const QString& path, int seconds) {
        QFile file(path);
        const QFileInfo info(path);
        const QFile::Permissions permissions = info.permissions();
        file.setPermissions(permissions | QFile::WriteOwner);
        const bool ok = file.open(QIODevice::ReadWrite) &&
                        file.setFileTime(info.lastModified().addSecs(seconds), QFileDevice::FileModificationTime);
        file.close();
        file.setPermissions(permissions);
        return ok;
    }
    static bool WriteRaw(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    }

    QTemporaryDir scratch;
};

} // namespace korimbo
