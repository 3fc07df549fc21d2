#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "folder/FolderBackup.h"
#include "ui/CommandTable.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "workspace/LoginManager.h"

#include <QAction>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

// The backup command in the window, its folder chooser answered as a person answers it.
class TestBackupWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // The path is typed into the chooser, Return; while the backup of the current folder copies, the window
    // is busy with the stop button live; the copy is made and reported.
    void BackupThroughTheChooser() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("memo.txt"));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("memo words") == 10);
        file.close();
        QCOMPARE(rig.frame->EncryptIn(folder, {source}, false), OpResult::kDone);
        const QFileInfo container(rig.frame->Contents()->Item(0).FullPath());
        rig.frame->Tree()->setCurrentItem(rig.frame->Tree()->FindTop(folder));
        rig.frame->UpdateCommandStates();
        QVERIFY(rig.frame->Login()->IsLoggedIn(folder));
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        QTemporaryDir destination;
        bool activated = false;
        RealAnswer type([&](QWidget* chooser) {
            auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(destination.path());
            // The chooser is the active window with the focus in its name field, as it opens for a person.
            QApplication::setActiveWindow(chooser);
            activated = QTest::qWaitForWindowActive(chooser);
            name->setFocus();
            QTest::keyClick(name, Qt::Key_Return);
        });
        bool stoppable = false;
        rig.ui.OnPump([&](int) {
            rig.frame->UpdateCommandStates();
            stoppable = stoppable || (rig.frame->IsBusy() && rig.frame->Action(cmd::Stop)->isEnabled());
        });
        rig.frame->OnCommand(cmd::Backup);
        rig.ui.OnPump({});
        QVERIFY(type.Answered());
        QVERIFY(!type.TimedOut());
        QVERIFY(activated);
        QVERIFY(stoppable);
        QCOMPARE(rig.ui.Numbers(), QList<int>{msg::kBackupFinished});
        QVERIFY(QFileInfo(CFolderBackup::TargetOf(folder, destination.path()) + u'/' + container.fileName()).isFile());
        QVERIFY(!rig.frame->IsBusy());
    }
};

QTEST_MAIN(TestBackupWindow)
#include "TestBackupWindow.moc"
