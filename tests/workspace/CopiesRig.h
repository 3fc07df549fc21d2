#pragma once

#include "FakeProcesses.h"
#include "FolderRig.h"
#include "ScriptedEncryptInPrompts.h"
#include "platform/AccessCheck.h"
#include "workspace/WorkingCopies.h"

#include <QDir>

#include <memory>

#include <sys/stat.h>

namespace korimbo {

// A logged-in folder with working copies over a fake editor and process table.
struct CopiesRig : FolderRig {
    using FolderRig::FolderRig;
    ScriptedEncryptInPrompts prompts;
    FakeAssociations associations;
    FakeLauncher launcher;
    FakeProcessProbe probe;
    std::unique_ptr<CWorkingCopies> copies;
    // The launcher and process table the copies use: the fakes above unless a test puts real ones here.
    Launcher* launcherInUse = &launcher;
    ProcessProbe* probeInUse = &probe;
    QList<int> timer; // every arming of timer 1
    int notices = 0;
    int refreshes = 0;

    bool StartIn(const QString& root) { return StartWith(root) && MakeCopies(); }
    // A rig over a new program folder with a new encrypted folder, both below `folders`; null when it
    // could not start.
    static std::unique_ptr<CopiesRig> Started(TestFolders& folders) {
        auto rig = std::make_unique<CopiesRig>(folders.NewFolder(QStringLiteral("program")));
        return rig->StartIn(folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }
    bool ResumeIn(const QString& root) { return Resume(root) && MakeCopies(); }
    bool MakeCopies() {
        copies = std::make_unique<CWorkingCopies>(Services(), associations, *launcherInUse, *probeInUse, prompts);
        copies->armWatchTimer = [this](int ms) { timer.append(ms); };
        copies->openNotice = [this](bool& stopShowing) {
            ++notices;
            stopShowing = true;
            return true;
        };
        copies->refreshContents = [this] { ++refreshes; };
        return true;
    }
    QString Editing() { return app.State().workFolder->angoTempFolder + u'/' + kWorkId + QStringLiteral("/Ac"); }
    // Opens one container in the fake editor; the working copy's path, empty when the open failed.
    QString Open(const QString& container) {
        QString copy;
        return copies->OpenOne(container, true, QString(), QStringLiteral("Ac"), &copy) == OpResult::kDone ? copy
                                                                                                           : QString();
    }
    // The editor ends and timer 1 fires.
    void EndAndTick(qint64 pid) {
        probe.End(pid);
        copies->WatchTick();
    }
    bool Opens(const QString& container, const QString& name, const QByteArray& bytes) {
        ContainerInfo info;
        if (Engine().ReadContainerInfo(container, info, folder, false) != 0 || info.name != name)
            return false;
        const QString out = scratch.path() + QStringLiteral("/out.bin");
        QFile::remove(out);
        return Engine().DecryptFile(container, out, folder) == 0 && Bytes(out) == bytes;
    }
    QStringList Containers(const QString& directory) {
        return QDir(directory).entryList({QStringLiteral("*.zorf")}, QDir::Files);
    }
    static bool ReadOnly(const QString& path) {
        return (QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
    }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static int Mode(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }
    // An edit as an editor saves it: new bytes and a new time.
    static bool Edit(const QString& path, const QByteArray& bytes) {
        if (!WriteRaw(path, bytes))
            return false;
        QFile file(path);
        return file.open(QIODevice::ReadWrite) &&
               file.setFileTime(QDateTime::currentDateTime().addSecs(-120), QFileDevice::FileModificationTime);
    }
};

} // namespace korimbo
