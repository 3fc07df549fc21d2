// korimbo-portable: runs from the folder that holds it and keeps its state in ZORp/ beside it.
#include "app/Kelpie5App.h"
#include "platform/Associations.h"
#include "platform/Launcher.h"
#include "platform/Trash.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"
#include "ui/D22Init2.h"
#include "ui/DialogPrompts.h"
#include "ui/MainFrame.h"
#include "ui/OwnIcons.h"
#include "ui/QtInteraction.h"
#include "util/FileSystem.h"
#include "util/ProcessHardening.h"

#include <QApplication>

using namespace korimbo;

int main(int argc, char** argv) {
    // Before any key exists: nothing of this process may end up in a core file.
    korimbo::ForbidCoreDumps();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korimbo-portable"));
    QApplication::setApplicationVersion(QStringLiteral("1.72"));
    QApplication::setWindowIcon(ApplicationIcon());
    // The window's own quit rule: the last window closing ends the program after the shutdown ran.
    QApplication::setQuitOnLastWindowClosed(true);

    QtInteraction ui;
    LocalFileSystem files;
    LocalVolumes volumes;
    LocalUserFolders userFolders;
    Ckelpie5App kelpie(QApplication::applicationDirPath(), {ui, files, volumes, userFolders});
    if (!kelpie.InitInstance())
        return 1;

    GioAssociations associations(userFolders);
    CMainFrame frame(kelpie, ui);
    frame.SetAssociations(&associations);
    GioLauncher launcher;
    LocalProcessProbe processes;
    frame.SetLauncher(&launcher, &processes);
    FreedesktopTrash trash(FreedesktopTrash::HomeTrashOfEnvironment(), volumes);
    frame.SetTrash(&trash);
    CDialogPrompts prompts(&frame, kelpie);
    frame.SetPrompts(&prompts);
    frame.showGuidance = [&frame] {
        CD22Init2 guidance(&frame);
        guidance.Run();
    };
    if (frame.Create() != 0)
        return 1;
    if (kelpie.StartMaximized())
        frame.showMaximized();
    else
        frame.show();
    if (frame.PostShow() != 0)
        return 1;
    return QApplication::exec();
}
