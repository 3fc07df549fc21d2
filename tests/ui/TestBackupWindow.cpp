#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/FolderBackup.h"
#include "ui/CommandTable.h"
#include "ui/DialogHook.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "workspace/LoginManager.h"

#include <QAction>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

namespace {

// A started window whose default folder, logged in, holds one container, with its item current.
struct BackupFrame : FrameRig {
    QString folder;
    QString container;

    bool StartWithContainer() {
        if (!Start())
            return false;
        folder = app.DefaultEncryptedFolder();
        const QString source = dir.filePath(QStringLiteral("memo.txt"));
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write("memo words") != 10)
            return false;
        file.close();
        QString name;
        CCryptEngine& engine = *app.State().engine;
        if (engine.MakeContainerName(folder, name) != kOk ||
            engine.EncryptFile(source, folder + u'/' + name, folder) != kOk)
            return false;
        container = folder + u'/' + name;
        frame->Tree()->setCurrentItem(frame->Tree()->FindTop(folder));
        frame->UpdateCommandStates();
        return frame->Login()->IsLoggedIn(folder);
    }
    QString CopyIn(const QString& destination) const {
        return CFolderBackup::TargetOf(folder, destination) + u'/' + QFileInfo(container).fileName();
    }
};

DialogHook::Fill PickFolder(const QString& folder, QString* title = nullptr) {
    return [folder, title](QDialog& dialog) {
        auto* chooser = qobject_cast<QFileDialog*>(&dialog);
        if (!chooser)
            return int(QDialog::Rejected);
        if (title)
            *title = chooser->windowTitle();
        chooser->setDirectory(folder);
        chooser->selectFile(folder);
        return int(QDialog::Accepted);
    };
}

} // namespace

// The backup commands in the window: where they are offered, when they are enabled, and how they run.
class TestBackupWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // The backup is in the pop-up of a registered folder, greyed while the folder is logged out.
    void OfferedInTheFolderPopup() {
        BackupFrame rig;
        QVERIFY(rig.StartWithContainer());
        QHash<int, bool> entries;
        rig.frame->Tree()->runMenu = [&](QMenu& menu, const QPoint&) {
            entries.clear();
            for (const QAction* action : menu.actions())
                if (!action->isSeparator())
                    entries.insert(action->data().toInt(), action->isEnabled());
            return 0;
        };
        QTest::keyClick(rig.frame->Tree(), Qt::Key_Menu);
        QVERIFY(entries.value(cmd::Backup));

        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(rig.folder), OpResult::kDone);
        QTest::keyClick(rig.frame->Tree(), Qt::Key_Menu);
        QVERIFY(entries.contains(cmd::Backup));
        QVERIFY(!entries.value(cmd::Backup));
    }

    // The command asks for the destination with its chooser, copies, and reports through the catalogue.
    void BackupRunsFromTheMenu() {
        BackupFrame rig;
        QVERIFY(rig.StartWithContainer());
        QTemporaryDir destination;
        QString title;
        DialogHook::Queue(PickFolder(destination.path(), &title));
        // While it copies, the window is busy, the stop button is live and the status names the file.
        bool stoppable = false;
        QString status;
        rig.ui.OnPump([&](int) {
            rig.frame->UpdateCommandStates();
            stoppable = stoppable || (rig.frame->IsBusy() && rig.frame->Action(cmd::Stop)->isEnabled());
            if (status.isEmpty())
                status = rig.ui.Status();
        });
        rig.frame->OnCommand(cmd::Backup);
        rig.ui.OnPump({});
        QCOMPARE(title, QStringLiteral("バックアップ先の選択"));
        QVERIFY(stoppable);
        QCOMPARE(status, rig.app.State().catalogue->m_GetMsgA(msg::kBackupProgress) +
                             QFileInfo(rig.container).fileName() + QStringLiteral(" (1/1)"));
        QCOMPARE(rig.ui.Numbers(), QList<int>{msg::kBackupFinished});
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Information);
        QVERIFY(QFileInfo(rig.CopyIn(destination.path())).isFile());
        QVERIFY(!rig.frame->IsBusy());
        QVERIFY(!rig.frame->IsAbortable());
    }

    // From the tree's pop-up the backup takes the pop-up's folder; a cancelled chooser does nothing.
    void BackupRunsFromThePopup() {
        BackupFrame rig;
        QVERIFY(rig.StartWithContainer());
        rig.frame->Tree()->runMenu = [](QMenu&, const QPoint&) { return int(cmd::Backup); };
        DialogHook::Queue([](QDialog&) { return int(QDialog::Rejected); });
        QTest::keyClick(rig.frame->Tree(), Qt::Key_Menu);
        QVERIFY(rig.ui.Messages().isEmpty());

        QTemporaryDir destination;
        DialogHook::Queue(PickFolder(destination.path()));
        QTest::keyClick(rig.frame->Tree(), Qt::Key_Menu);
        QCOMPARE(rig.ui.Numbers(), QList<int>{msg::kBackupFinished});
        QVERIFY(QFileInfo(rig.CopyIn(destination.path())).isFile());
    }

    void ImportShowsHowABackupIsUsed() {
        BackupFrame rig;
        QVERIFY(rig.StartWithContainer());
        rig.frame->OnCommand(cmd::ImportBackup);
        QCOMPARE(rig.ui.Numbers(), QList<int>{msg::kImportBackupUnavailable});
        MessageSource& catalogue = *rig.app.State().catalogue;
        QCOMPARE(rig.ui.Messages()[0].text,
                 catalogue.MsgA(msg::kImportBackupUnavailable) + catalogue.MsgA(msg::kImportBackupHow));
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Information);
    }

    // The chooser answers the keyboard as a person uses it: the path typed, Return.
    void ChooserTakesTheKeyboard() {
        BackupFrame rig;
        QVERIFY(rig.StartWithContainer());
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        QTemporaryDir destination;
        bool prompted = false;
        bool activated = false;
        RealAnswer type([&](QWidget* chooser) {
            const QString prompt = rig.app.State().catalogue->m_GetMsgA(msg::kBackupDestination);
            for (const QLabel* label : chooser->findChildren<QLabel*>())
                prompted = prompted || label->text() == prompt;
            auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(destination.path());
            // The chooser is the active window with the focus in its name field, as it opens for a person.
            QApplication::setActiveWindow(chooser);
            activated = QTest::qWaitForWindowActive(chooser);
            name->setFocus();
            QTest::keyClick(name, Qt::Key_Return);
        });
        rig.frame->OnCommand(cmd::Backup);
        QVERIFY(type.Answered());
        QVERIFY(!type.TimedOut());
        QVERIFY(prompted);
        QVERIFY(activated);
        QVERIFY(QFileInfo(rig.CopyIn(destination.path())).isFile());
    }
};

QTEST_MAIN(TestBackupWindow)
#include "TestBackupWindow.moc"
