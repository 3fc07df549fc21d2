#pragma once

#include "FakePlatform.h"
#include "FakeProcesses.h"
#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "ScriptedPrompts.h"
#include "app/Kelpie5App.h"
#include "ui/MainFrame.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace korimbo {

// A program folder of its own with a started frame in it.
struct FrameRig {
    explicit FrameRig(const QByteArray& settingsFile = QByteArray()) {
        if (!settingsFile.isEmpty()) {
            QDir().mkpath(dir.filePath(QStringLiteral("ZORp/env")));
            QFile file(dir.filePath(QStringLiteral("ZORp/env/ZORportable.ini")));
            if (file.open(QIODevice::WriteOnly))
                file.write(settingsFile);
        }
    }
    // A first start: the default folder is registered with the password the prompts give.
    bool Start() {
        if (!app.InitInstance())
            return false;
        frame = std::make_unique<CMainFrame>(app, ui);
        frame->SetPrompts(&prompts);
        frame->SetAssociations(&associations);
        frame->SetLauncher(&launcher, &processes);
        prompts.newPasswords.push_back(
            {PasswordPrompts::Answer::kOk, QStringLiteral("Tiger#Lily42"), QStringLiteral("花")});
        return frame->Create() == 0 && frame->PostShow() == 0;
    }
    QString Ini() const { return dir.filePath(QStringLiteral("ZORp/env/ZORportable.ini")); }

    QTemporaryDir dir;
    ScriptedInteraction ui;
    FaultyFileSystem files;
    FakeVolumes volumes;
    FakeUserFolders userFolders;
    ScriptedPrompts prompts;
    FakeAssociations associations;
    FakeLauncher launcher;
    FakeProcessProbe processes;
    Ckelpie5App app{dir.path(), {ui, files, volumes, userFolders}};
    std::unique_ptr<CMainFrame> frame;
};

} // namespace korimbo
