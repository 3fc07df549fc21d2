// korimbo-portable: runs from the folder that holds it and keeps its state in ZORp/ beside it.
#include "app/Kelpie5App.h"
#include "platform/Associations.h"
#include "platform/Launcher.h"
#include "platform/TerminationSignals.h"
#include "platform/Trash.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"
#include "ui/D22Init2.h"
#include "ui/DialogPrompts.h"
#include "ui/MainFrame.h"
#include "ui/OwnIcons.h"
#include "ui/QtInteraction.h"
#include "ui/QtTranslation.h"
#include "util/FileSystem.h"
#include "util/HeapTuning.h"
#include "util/ProcessHardening.h"
#include "util/ProgramPlace.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <ctime>

using namespace korimbo;

namespace {

// KORIMBO_START_TRACE=1 prints the wall-clock time (ns since the epoch) and the processor time used (ns)
// at each start-up step to standard error, so that a script can measure the start from outside.
bool g_trace = false;

void Trace(const char* step) {
    if (!g_trace)
        return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // The processor time used so far as well: on a busy machine it says more than the wall clock.
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    std::fprintf(stderr, "korimbo-start: %s %lld %lld\n", step,
                 static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                 static_cast<long long>(cpu.tv_sec) * 1000000000LL + cpu.tv_nsec);
}

// Reports the first expose of the main window, and the frame painted for it once the expose is handled.
class FirstFrameProbe final : public QObject {
public:
    explicit FirstFrameProbe(QWidget& window) : m_window(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched == m_window.windowHandle() && m_window.windowHandle()->isExposed()) {
            Trace("exposed");
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, [] { Trace("painted"); });
        }
        return false;
    }

private:
    QWidget& m_window;
};

// The application's name, version and icon, and the window's own quit rule: the last window closing ends
// the program after the shutdown ran.
void SetApplicationIdentity() {
    QApplication::setApplicationName(QStringLiteral("Korimbo-portable"));
    QApplication::setApplicationVersion(QStringLiteral("1.72"));
    QApplication::setWindowIcon(ApplicationIcon());
    QApplication::setQuitOnLastWindowClosed(true);
}

} // namespace

int main(int argc, char** argv) {
    // Before any key exists: nothing of this process may end up in a core file.
    korimbo::ForbidCoreDumps();
    korimbo::MergeFreedBlocksAtOnce();
    g_trace = qEnvironmentVariableIsSet("KORIMBO_START_TRACE");
    Trace("main");
    // Read before anything else: started through the dynamic loader, the executable is the loader.
    const QString programFolder =
        ProgramFolderOf(ThisProcessPlace(argc > 0 ? argv[0] : nullptr), QStringLiteral("korimbo-portable"));
    // Not handed on to the programs this one starts.
    qunsetenv(kProgramFolderVariable);
    // The bundle's Qt plugins: qt.conf is looked for beside the executable, which may be the loader.
    if (!programFolder.isEmpty() && QFileInfo::exists(programFolder + QStringLiteral("/qt.conf")))
        QCoreApplication::setLibraryPaths({programFolder + QStringLiteral("/plugins")});
    QApplication application(argc, argv);
    Trace("application");
    // From here on SIGTERM, SIGHUP and SIGINT end the program through its own shutdown (the work areas
    // wiped, the settings saved) instead of killing it.
    TerminationSignals endSignals;
    if (!endSignals.Install())
        std::fputs("korimbo-portable: termination signals end the process at once\n", stderr);
    SetApplicationIdentity();
    if (!InstallQtTranslation(programFolder))
        std::fputs("korimbo-portable: Qt's Japanese texts were not found; its dialogs speak English\n", stderr);

    QtInteraction ui;
    LocalFileSystem files;
    LocalVolumes volumes;
    LocalUserFolders userFolders;
    if (programFolder.isEmpty()) {
        ui.Message(
            QStringLiteral(
                "起動できません。　\nプログラムのフォルダーが分かりません。korimbo-portable.sh から起動してください。"),
            Icon::Error);
        return 1;
    }
    Ckelpie5App kelpie(programFolder, {ui, files, volumes, userFolders});
    if (!kelpie.InitInstance())
        return 1;
    Trace("init-instance");

    GioAssociations associations(userFolders);
    CMainFrame frame(kelpie, ui);
    endSignals.received = [&frame](int) { frame.EndOnSignal(); };
    if (endSignals.Count() > 0)
        frame.EndOnSignal();
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
    Trace("created");
    FirstFrameProbe probe(frame);
    if (g_trace)
        application.installEventFilter(&probe);
    if (kelpie.StartMaximized())
        frame.showMaximized();
    else
        frame.show();
    Trace("shown");
    if (frame.PostShow() != 0)
        return 1;
    Trace("post-show");
    // A signal during the start asked for the end before the main loop ran.
    const int rc = frame.EndRequested() ? 0 : QApplication::exec();
    Trace("exit");
    // After a signal the window never closed: its shutdown runs here, without questions (once only).
    frame.Shutdown(false);
    kelpie.SaveAtShutdown(frame.isMaximized());
    endSignals.received = nullptr;
    return rc;
}
