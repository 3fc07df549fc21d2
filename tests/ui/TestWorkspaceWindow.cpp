#include "DialogChecks.h"
#include "FrameRig.h"
#include "folder/ContentsModel.h"
#include "ui/CommandIds.h"
#include "ui/DialogHook.h"
#include "ui/ListV.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/WorkingCopies.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QMenu>
#include <QTreeView>

#include <QStandardPaths>
#include <QTest>
#include <unistd.h>

using namespace korimbo;

// The decrypted workspace in the running window, with a fake launcher and process table: a file opened
// from the contents list is listed on the right while its program runs and written back when it ends.
class TestWorkspaceWindow : public QObject {
    Q_OBJECT

private:
    static bool WriteFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    static QByteArray Decrypted(FrameRig& rig, const QString& container, const QString& key) {
        QTemporaryDir out;
        const QString plain = out.filePath(QStringLiteral("plain"));
        if (rig.app.State().engine->DecryptFile(container, plain, key) != 0)
            return QByteArray("<failed>");
        QFile file(plain);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A started window with one file encrypted into its folder and opened from the list.
    static bool OpenOneFile(FrameRig& rig, QString& container, QString& copy) {
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("outside/memo.txt"));
        if (!WriteFile(source, "first words") || rig.frame->EncryptIn(folder, {source}, false) != OpResult::kDone)
            return false;
        CContentsModel* contents = rig.frame->Contents();
        if (contents->rowCount() != 1)
            return false;
        container = contents->Item(0).FullPath();
        rig.frame->List()->SelectRow(0);
        DialogHook::Queue([](QDialog&) { return int(QDialog::Accepted); }); // the open notice
        rig.processes.running.insert(rig.launcher.pid);
        if (rig.frame->OpenSelected() != OpResult::kDone || rig.launcher.calls.size() != 1)
            return false;
        copy = rig.launcher.calls.first().file;
        return QFileInfo::exists(copy);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    void OpenedFileIsWrittenBackWhenItsProgramEnds() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QString container;
        QString copy;
        QVERIFY(OpenOneFile(rig, container, copy));
        CDecryptedFileModel* decrypted = rig.frame->DecryptedFiles();
        QTRY_COMPARE(decrypted->rowCount(), 1);
        QCOMPARE(decrypted->Item(0).fullPath, copy);
        QVERIFY(!decrypted->Item(0).changed);
        QVERIFY(rig.frame->Action(cmd::WriteBackAll)->isEnabled());

        // The program saves and ends: timer 1 writes the copy back over the same container.
        QVERIFY(WriteFile(copy, "second words, longer"));
        QTRY_VERIFY(decrypted->rowCount() == 1 && decrypted->Item(0).changed);
        rig.processes.End(rig.launcher.pid);
        QTRY_VERIFY(!QFileInfo::exists(copy));
        QTRY_COMPARE(decrypted->rowCount(), 0);
        QVERIFY(QFileInfo::exists(container));
        QVERIFY(!QFileInfo(container).isWritable() || ::geteuid() == 0);
        QCOMPARE(Decrypted(rig, container, rig.app.DefaultEncryptedFolder()), QByteArray("second words, longer"));
    }

    // A newer file of the same name pasted or dropped from outside over a container whose copy is out:
    // "はい" to the overwrite question still stops with A73, and the container keeps its content, so the
    // copy's later write-back cannot put the older text over the new one.
    void EncryptInOverAnOpenCopyStops() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QString container;
        QString copy;
        QVERIFY(OpenOneFile(rig, container, copy));
        const QByteArray before = Decrypted(rig, container, rig.app.DefaultEncryptedFolder());
        const QString newer = rig.dir.filePath(QStringLiteral("elsewhere/memo.txt"));
        QVERIFY(WriteFile(newer, "newer words from outside"));
        DialogHook::Queue(
            [](QDialog&) { return int(EncryptInPrompts::Overwrite::kYes) + 10; }); // the overwrite question
        rig.ui.Clear();
        QVERIFY(rig.frame->EncryptIn(rig.app.DefaultEncryptedFolder(), {newer}, false) != OpResult::kDone);
        QCOMPARE(rig.ui.Numbers(), QList<int>({73}));
        QCOMPARE(Decrypted(rig, container, rig.app.DefaultEncryptedFolder()), before);
        QVERIFY(QFileInfo::exists(copy));
        QVERIFY(QFileInfo::exists(newer));
    }

    // Ticking off "登録されている拡張子は表示しない" on the settings sheet shows the extension in both lists
    // at once, and ticking it on hides it again.
    void ExtensionDisplayFollowsTheSettingsSheet() {
        FrameRig rig;
        rig.associations.typeNames.insert(QStringLiteral(".txt"), QStringLiteral("テキスト ドキュメント"));
        QVERIFY(rig.Start());
        rig.app.State().settings.titleMode = 0;
        QString container;
        QString copy;
        QVERIFY(OpenOneFile(rig, container, copy));
        const CContentsModel* contents = rig.frame->Contents();
        const CDecryptedFileModel* decrypted = rig.frame->DecryptedFiles();
        QTRY_COMPARE(decrypted->rowCount(), 1);
        const auto shown = [&] {
            return QStringList{contents->index(0, 0).data().toString(), decrypted->index(0, 0).data().toString()};
        };
        QCOMPARE(shown(), QStringList({QStringLiteral("memo"), QStringLiteral("memo")}));
        for (const bool hide : {false, true}) {
            DialogHook::Queue([hide](QDialog& sheet) {
                sheet.findChild<QCheckBox*>(QStringLiteral("1116"))->setChecked(hide);
                return int(QDialog::Accepted);
            });
            rig.frame->OnCommand(cmd::Settings);
            const QString name = hide ? QStringLiteral("memo") : QStringLiteral("memo.txt");
            QCOMPARE(shown(), QStringList({name, name}));
        }
    }

    // The pop-up of an encrypted file offers the type's programs; the one chosen gets the working copy.
    void PopUpOpensWithAChosenProgram() {
        FrameRig rig;
        rig.associations.programs = {{QStringLiteral("/usr/bin/editor-a"), QStringLiteral("/usr/bin/viewer-b")},
                                     {QStringLiteral("Editor A"), QStringLiteral("Viewer B")},
                                     {QStringLiteral("editor-a.desktop"), QString()}};
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("outside/memo.txt"));
        QVERIFY(WriteFile(source, "words") && rig.frame->EncryptIn(folder, {source}, false) == OpResult::kDone);
        CListV* list = rig.frame->List();
        rig.frame->OnCommand(cmd::ViewDetails);
        list->SelectRow(0);
        QStringList offered;
        list->runMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions())
                if (action->menu())
                    for (QAction* program : action->menu()->actions())
                        offered << program->text();
            return cmd::OpenWithFirst + 1;
        };
        DialogHook::Queue([](QDialog&) { return int(QDialog::Accepted); }); // the open notice
        const QPoint at = list->Details()->visualRect(list->Details()->model()->index(0, 0)).center();
        QContextMenuEvent popup(QContextMenuEvent::Mouse, at, list->Details()->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->Details()->viewport(), &popup);
        QCOMPARE(offered, (QStringList{QStringLiteral("&1 Editor A"), QStringLiteral("&2 Viewer B"), QString(),
                                       QStringLiteral("プログラムから開く(&P)...")}));
        QCOMPARE(rig.launcher.calls.size(), 1);
        QCOMPARE(rig.launcher.calls.first().program, QStringLiteral("/usr/bin/viewer-b")); // no desktop id
    }

    // Closing the window with a working copy asks "終了確認"; Cancel leaves the copy and the window.
    void ExitWithCopiesAsksAndCancelChangesNothing() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QString container;
        QString copy;
        QVERIFY(OpenOneFile(rig, container, copy));
        QString caption;
        DialogHook::Queue([&caption](QDialog& dialog) {
            caption = dialog.windowTitle();
            return int(QDialog::Rejected);
        });
        rig.frame->show();
        QVERIFY(!rig.frame->close());
        QCOMPARE(caption, QStringLiteral("終了確認"));
        QVERIFY(QFileInfo::exists(copy));
        QVERIFY(rig.frame->isVisible());
        QVERIFY(!rig.frame->IsShutDown());
    }
};

QTEST_MAIN(TestWorkspaceWindow)
#include "TestWorkspaceWindow.moc"
