#include "DialogChecks.h"
#include "FakePlatform.h"
#include "FaultyFileSystem.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "ScriptedInteraction.h"
#include "ScriptedPrompts.h"
#include "state/IniFile.h"
#include "ui/D08Password.h"
#include "ui/DialogHook.h"
#include "ui/EncryptInDialogs.h"
#include "ui/ListV.h"
#include "ui/MainFrame.h"
#include "ui/OverwriteDialog.h"
#include "ui/QtInteraction.h"
#include "ui/TreeV.h"
#include "ui/USplitterWnd.h"
#include "workspace/LoginManager.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrl>

using namespace korimbo;

class TestMainFrame : public QObject {
    Q_OBJECT

private:
    using Rig = FrameRig;

    static QStringList MenuTexts(QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                texts << QStringLiteral("-");
            else if (action->menu())
                texts << action->text() + QStringLiteral(">");
            else
                texts << action->objectName() + u' ' + action->text();
        }
        return texts;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    void MenuTableAsTheUserSeesIt() {
        Rig rig;
        QVERIFY(rig.Start());
        const QList<QMenu*> menus = rig.frame->TopMenus();
        QCOMPARE(menus.size(), 6);
        QStringList titles;
        for (QMenu* menu : menus)
            titles << menu->title();
        QCOMPARE(titles,
                 (QStringList{QStringLiteral("ファイル(&F)"), QStringLiteral("編集(&E)"), QStringLiteral("表示(&V)"),
                              QStringLiteral("操作(&S)"), QStringLiteral("ツール(&T)"), QStringLiteral("ヘルプ(&H)")}));
        QCOMPARE(MenuTexts(menus[0]),
                 (QStringList{QStringLiteral("32956 ログイン(&I)..."), QStringLiteral("32955 ログアウト(&E)..."),
                              QStringLiteral("-"), QStringLiteral("32877 暗号フォルダーの登録(&A)..."),
                              QStringLiteral("32892 選択された暗号フォルダーを解除(&K)"),
                              QStringLiteral("-"), QStringLiteral("新規作成(&W)>"), QStringLiteral("-"),
                              QStringLiteral("32878 開く(&O)"),
                              QStringLiteral("32888 暗号化パスワードを変更して取り出す(&U)..."), QStringLiteral("-"),
                              QStringLiteral("32894 削除(&D)"), QStringLiteral("32896 名前の変更(&M)"),
                              QStringLiteral("32898 プロパティ(&R)"), QStringLiteral("-"),
                              QStringLiteral("57665 アプリケーションの終了(&X)")}));
        QCOMPARE(MenuTexts(menus[1]), (QStringList{QStringLiteral("32927 元に戻す(&U)\tCtrl+Z"), QStringLiteral("-"),
                                                   QStringLiteral("32905 切り取り （inside） (&T)\tCtrl+X"),
                                                   QStringLiteral("32906 コピー （inside） (&C)\tCtrl+C"),
                                                   QStringLiteral("32909 貼り付け(&P)\tCtrl+V"), QStringLiteral("-"),
                                                   QStringLiteral("32910 すべて選択(&A)\tCtrl+A")}));
        QCOMPARE(MenuTexts(menus[2]),
                 (QStringList{QStringLiteral("32917 上位フォルダーへ移動(&U)\tCtrl+U"), QStringLiteral("表示(&V)>"),
                              QStringLiteral("33015 最新の情報に更新(&R)"), QStringLiteral("-"),
                              QStringLiteral("33031 名前で検索(&F)...\tCtrl+F")}));
        QCOMPARE(MenuTexts(menus[2]->actions()[1]->menu()),
                 (QStringList{QStringLiteral("32938 アイコン(&I)"), QStringLiteral("32941 詳細(&D)")}));
        QCOMPARE(MenuTexts(menus[3]),
                 (QStringList{QStringLiteral("32973 開いたファイルの終了監視を行わない(&E)"), QStringLiteral("-"),
                              QStringLiteral("33026 ドラッグ＆ドロップ操作で暗号化したまま取り出す(&F)"),
                              QStringLiteral("-"), QStringLiteral("32924 バックアップ(&B)..."),
                              QStringLiteral("32981 バックアップの取り込み(&T)..."), QStringLiteral("-"),
                              QStringLiteral("33030 整合性の検査(&I)...")}));
        QCOMPARE(MenuTexts(menus[4]),
                 (QStringList{QStringLiteral("32990 暗号化されていないファイルの確認(&P)..."),
                              QStringLiteral("32997 ヒント確認ウィンドウ(&N)..."), QStringLiteral("-"),
                              QStringLiteral("32926 環境設定(&K)...")}));
        QCOMPARE(MenuTexts(menus[5]),
                 (QStringList{QStringLiteral("32929 ヘルプ(&H)"), QStringLiteral("33013 ホームページ(&W)"),
                              QStringLiteral("-"), QStringLiteral("33005 バージョン情報(&A)...")}));
        for (int id : {32956, 32955, 32921, 32917, 32942, 33004, 33026}) {
            QToolButton* button = rig.frame->ToolButton(id);
            QVERIFY2(button, qPrintable(QString::number(id)));
            QCOMPARE(button->size(), QSize(43, 30));
            QVERIFY(!button->toolTip().isEmpty());
        }
    }

    void CheckMarksFollowTheSettings() {
        Rig rig;
        QVERIFY(rig.Start());
        rig.frame->UpdateCommandStates();
        QVERIFY(rig.frame->Action(32938)->isChecked()); // DispMode 0
        QVERIFY(!rig.frame->Action(32941)->isChecked());
        QVERIFY(!rig.frame->Action(32973)->isChecked()); // watching is on
        QVERIFY(!rig.frame->Action(33026)->isChecked()); // drag takes out decrypted
        rig.frame->OnCommand(32973);
        rig.frame->OnCommand(33026);
        QCOMPARE(rig.app.State().settings.execProcEndWaitFlg, 0);
        QCOMPARE(rig.app.State().settings.dandDDecryFlg, 0);
        QVERIFY(rig.frame->Action(32973)->isChecked());
        QVERIFY(rig.frame->Action(33026)->isChecked());
        // View commands need a folder in the list.
        rig.frame->SetCurrentFolder(QString());
        rig.frame->UpdateCommandStates();
        QVERIFY(!rig.frame->Action(32941)->isEnabled());
        rig.frame->SetCurrentFolder(rig.dir.filePath(QStringLiteral("x")));
        rig.frame->UpdateCommandStates();
        rig.frame->OnCommand(32941);
        QCOMPARE(rig.app.State().settings.dispMode, 2);
        rig.frame->OnCommand(32942);
        QCOMPARE(rig.app.State().settings.dispMode, 0);
    }

    void BusySectionsGreyTheMenusAndSwallowInput() {
        Rig rig;
        QVERIFY(rig.Start());
        CTreeV* tree = rig.frame->Tree();
        for (const char* name : {"a", "b", "c"})
            tree->addTopLevelItem(new QTreeWidgetItem({QString::fromLatin1(name)}));
        tree->setCurrentItem(tree->topLevelItem(0));
        rig.frame->show();
        tree->setFocus();

        rig.frame->EnterBusy();
        rig.frame->EnterBusy();
        for (QMenu* menu : rig.frame->TopMenus())
            QVERIFY(!menu->menuAction()->isEnabled());
        QVERIFY(!rig.frame->Action(32926)->isEnabled());
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0)); // the key went nowhere
        QVERIFY(!rig.frame->StatusPaneText().isEmpty());      // the default busy text

        // Only the stop button reacts, and only while the operation can be stopped.
        QToolButton* stop = rig.frame->ToolButton(33004);
        QVERIFY(!stop->isEnabled());
        rig.frame->SetAbortable(true);
        QVERIFY(stop->isEnabled());
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(rig.frame->AbortRequested());
        rig.frame->SetAbortable(false);

        rig.frame->LeaveBusy();
        QVERIFY(rig.frame->IsBusy()); // nested: still one level
        rig.frame->LeaveBusy();
        QVERIFY(!rig.frame->IsBusy());
        for (QMenu* menu : rig.frame->TopMenus())
            QVERIFY(menu->menuAction()->isEnabled());
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(1));
    }

    // The message boxes, pop-up menus and dialogs that a running operation opens take the user's
    // answer; the main window itself stays deaf until the busy section ends.
    void WindowsOpenedInsideABusySectionTakeInput() {
        Rig rig;
        QVERIFY(rig.Start());
        CTreeV* tree = rig.frame->Tree();
        tree->addTopLevelItem(new QTreeWidgetItem({QStringLiteral("b")}));
        tree->setCurrentItem(tree->topLevelItem(0));
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        rig.frame->EnterBusy();

        QtInteraction boxes;
        boxes.SetParentWindow(rig.frame.get());
        {
            RealAnswer enter([](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
            const int answer = boxes.Message(QStringLiteral("続けますか？"), Icon::Question, Buttons::YesNo, kAnswerNo);
            QVERIFY(!enter.TimedOut());
            QCOMPARE(answer, int(kAnswerNo));
        }
        {
            QMenu menu(rig.frame.get());
            menu.addAction(QStringLiteral("暗号フォルダーとして登録(&R)"))->setData(32828);
            menu.addAction(QStringLiteral("キャンセル"))->setData(32824);
            RealAnswer pick([](QWidget* popup) {
                QTest::keyClick(popup, Qt::Key_Down);
                QTest::keyClick(popup, Qt::Key_Return);
            });
            QAction* chosen = menu.exec(tree->mapToGlobal(QPoint(5, 5)));
            QVERIFY(!pick.TimedOut());
            QVERIFY(chosen);
            QCOMPARE(chosen->data().toInt(), 32828);
        }
        {
            CD08Password prompt(PasswordPrompts::PromptMode::kLogin, *rig.app.State().catalogue, rig.frame.get());
            RealAnswer type([](QWidget* dialog) {
                auto* edit = dialog->findChild<QLineEdit*>();
                QTest::keyClicks(edit, QStringLiteral("Tiger#Lily42"));
                QTest::keyClick(edit, Qt::Key_Return);
            });
            QCOMPARE(prompt.Run(), PasswordPrompts::Answer::kOk);
            QVERIFY(!type.TimedOut());
            QCOMPARE(prompt.TakePassword(), QStringLiteral("Tiger#Lily42"));
        }

        {
            EncryptInPrompts::FileSide side{QStringLiteral("/f/a.zorf"), QStringLiteral("a.txt"), true, 2048,
                                            QStringLiteral("2024/01/02 03:04:05")};
            COverwriteDialog overwrite(*rig.app.State().catalogue, side, side, false, rig.frame.get());
            RealAnswer all([](QWidget* dialog) {
                QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("overwrite2")), Qt::LeftButton);
            });
            QCOMPARE(overwrite.Run(), EncryptInPrompts::Overwrite::kAll);
            QVERIFY(!all.TimedOut());
        }
        {
            CEncryptInDialogs dialogs(*rig.app.State().catalogue, rig.frame.get());
            RealAnswer tick([](QWidget* notice) {
                QTest::mouseClick(notice->findChild<QCheckBox*>(), Qt::LeftButton);
                QTest::keyClick(notice, Qt::Key_Return);
            });
            QVERIFY(dialogs.ShowAlreadyEncryptedNotice(QStringLiteral("暗号化済みです")));
            QVERIFY(!tick.TimedOut());
        }

        // Still busy: clicks and keys on the main window go nowhere.
        const QRect second = tree->visualItemRect(tree->topLevelItem(1));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, second.center());
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
        rig.frame->LeaveBusy();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(tree->currentItem(), tree->topLevelItem(1));
    }

    // Login, logout and release from the menu bar and the toolbar take the folder selected in the tree,
    // not the one the mouse pointer happens to rest on.
    void FolderCommandsActOnTheSelectedFolder() {
        Rig rig;
        QVERIFY(rig.Start());
        const QString first = rig.app.DefaultEncryptedFolder();
        const QString other = rig.dir.filePath(QStringLiteral("other"));
        QVERIFY(QDir().mkpath(other));
        CTreeV* tree = rig.frame->Tree();
        QTreeWidgetItem* otherItem = tree->AddFolder(other, 3);
        tree->setCurrentItem(tree->FindTop(first));
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        QCursor::setPos(tree->viewport()->mapToGlobal(tree->visualItemRect(otherItem).center()));
        if (tree->ItemUnderMouseOrCurrent() != otherItem)
            QSKIP("this platform plugin cannot move the pointer");

        rig.ui.QueueAnswer(kAnswerYes); // the logout question
        rig.frame->OnCommand(32955);
        QVERIFY(rig.ui.Has(259));
        QVERIFY(!rig.frame->Login()->IsLoggedIn(first));
        QCOMPARE(tree->currentItem(), tree->FindTop(first));
    }

    // A session logout that the user cancels at the working-copy question leaves the program working,
    // and the settings are still written at the real exit.
    void CancelledSessionLogoutKeepsTheProgramWorking() {
        Rig rig;
        QVERIFY(rig.Start());
        int asked = 0;
        bool keep = false;
        rig.frame->confirmWorkingCopiesAtExit = [&] {
            ++asked;
            return keep;
        };
        QVERIFY(rig.frame->CommitSessionData([] { return false; })); // no leave to ask: nothing asked
        QCOMPARE(asked, 0);
        QVERIFY(!rig.frame->CommitSessionData([] { return true; }));
        QCOMPARE(asked, 1);
        QVERIFY(!rig.frame->IsShutDown());
        QVERIFY(rig.frame->TimersRunning());
        QCOMPARE(rig.frame->Tree()->topLevelItemCount(), 1);

        rig.app.State().settings.dispMode = 2;
        keep = true;
        QVERIFY(rig.frame->close());
        rig.frame.reset();
        CIniFile file(rig.files, rig.Ini());
        QCOMPARE(file.Read(QStringLiteral("Disp"), QStringLiteral("DispMode"), QString()), QStringLiteral("2"));
    }

    // The clipboard is read when it changes, not at every enabling pass of the timer.
    void PasteFollowsTheClipboardWithoutPollingIt() {
        Rig rig;
        QVERIFY(rig.Start());
        QClipboard* clipboard = QGuiApplication::clipboard();
        auto* files = new QMimeData;
        files->setUrls({QUrl::fromLocalFile(rig.Ini())});
        clipboard->setMimeData(files);
        QTRY_VERIFY(rig.frame->ClipboardHasFiles());
        QCOMPARE(rig.frame->Action(32909)->text(), QStringLiteral("暗号化して貼り付け(&P)\tCtrl+V"));
        QVERIFY(rig.frame->Action(32909)->isEnabled()); // a folder is shown after the first start

        const int reads = rig.frame->ClipboardReads();
        for (int i = 0; i < 20; ++i)
            rig.frame->UpdateCommandStates();
        QCOMPARE(rig.frame->ClipboardReads(), reads);

        clipboard->setText(QStringLiteral("ただの文字"));
        QTRY_VERIFY(!rig.frame->ClipboardHasFiles());
        QCOMPARE(rig.frame->Action(32909)->text(), QStringLiteral("貼り付け(&P)\tCtrl+V"));
        QVERIFY(!rig.frame->Action(32909)->isEnabled());
    }

    void ExitIsRefusedWhileBusy() {
        Rig rig;
        QVERIFY(rig.Start());
        rig.frame->show();
        rig.frame->EnterBusy();
        QVERIFY(!rig.frame->close());
        QCOMPARE(rig.ui.Numbers(), QList<int>{182});
        QCOMPARE(rig.ui.Messages()[0].icon, Icon::Information);
        QVERIFY(rig.frame->isVisible());
        rig.frame->LeaveBusy();
        QVERIFY(rig.frame->close());
    }

    void WindowSizeComesFromTheSettingsAndGoesBack() {
        {
            Rig rig;
            QVERIFY(rig.Start());
            QCOMPARE(rig.frame->size(), QSize(775, 520));
        }
        const QByteArray ini = CIniFile::Encode({QStringLiteral("[Disp]"), QStringLiteral("SizeMfWidth=640"),
                                                 QStringLiteral("SizeMfHigh=480"), QStringLiteral("SizeTvWidth=150"),
                                                 QStringLiteral("SizeLv2Width=100")});
        Rig rig(ini);
        QVERIFY(rig.Start());
        QCOMPARE(rig.frame->size(), QSize(640, 480));
        rig.frame->show();
        QCOMPARE(rig.frame->Splitter()->sizes()[0], 150);
        rig.frame->resize(700, 500);
        QVERIFY(rig.frame->close());
        rig.frame.reset(); // destruction writes the settings
        CIniFile file(rig.files, rig.Ini());
        QCOMPARE(file.Read(QStringLiteral("Disp"), QStringLiteral("SizeMfWidth"), QString()).toInt(),
                 rig.app.State().settings.sizeMfWidth);
        QVERIFY(rig.app.State().settings.sizeMfWidth >= 700);
        QCOMPARE(file.Read(QStringLiteral("Disp"), QStringLiteral("SizeTvWidth"), QString()), QStringLiteral("150"));
    }

    void PaneWidthRules() {
        SettingsRecord s;
        s.sizeMfWidth = 300;
        s.sizeTvWidth = 210;
        s.sizeLv2Width = 120;
        QCOMPARE(PaneWidths::Initial(s)[1], 0);
        QCOMPARE(PaneWidths::Layout(s, 300)[1], 100); // at least 100 once running
        QCOMPARE(PaneWidths::Layout(s, 1000)[1], 1000 - (210 + 120 + 14));
        PaneWidths::TakeRelease(s, 210, 210, 10, 2); // right bar moved to almost nothing
        QCOMPARE(s.sizeLv2Width, 32);
        PaneWidths::TakeRelease(s, 210, 20, 10, 2); // left bar moved
        QCOMPARE(s.sizeTvWidth, 50);
    }

    void SettingsSheetOkAndCancel() {
        Rig rig;
        QVERIFY(rig.Start());
        DialogHook::Queue([](QDialog& dialog) {
            dialog.findChild<QCheckBox*>(QStringLiteral("1116"))->setChecked(false);
            return int(QDialog::Accepted);
        });
        rig.frame->OnCommand(32926);
        QCOMPARE(rig.app.State().settings.titleMode, 1);
        DialogHook::Queue([](QDialog& dialog) {
            dialog.findChild<QCheckBox*>(QStringLiteral("1116"))->setChecked(true);
            dialog.findChild<QCheckBox*>(QStringLiteral("1117"))->setChecked(false);
            return int(QDialog::Rejected);
        });
        rig.frame->OnCommand(32926);
        QCOMPARE(rig.app.State().settings.titleMode, 1);
        QCOMPARE(rig.app.State().settings.extNonAplFlg, 1);
        QVERIFY(!DialogHook::Pending());
    }

    void FirstStartRegistersAndLogsIn() {
        Rig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        QCOMPARE(rig.app.State().registry->Count(), 1);
        QCOMPARE(rig.app.State().registry->PathText(0), folder);
        QCOMPARE(rig.prompts.setModes, QList<PasswordPrompts::SetMode>{PasswordPrompts::SetMode::kRegisterFolder});
        QVERIFY(rig.frame->Login()->IsLoggedIn(folder));
        QCOMPARE(rig.frame->Tree()->topLevelItemCount(), 1);
        QCOMPARE(rig.frame->CurrentFolder(), folder);
        QVERIFY(QFileInfo(rig.app.WorkAreaOf(0, QStringLiteral("Ac"))).isDir());

        // Logging out asks first and takes the key away.
        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(folder), OpResult::kDone);
        QVERIFY(!rig.frame->Login()->IsLoggedIn(folder));
        QVERIFY(rig.frame->CurrentFolder().isEmpty());
    }

    void CancelledFirstStartEndsTheProgram() {
        Rig rig;
        QVERIFY(rig.app.InitInstance());
        rig.frame = std::make_unique<CMainFrame>(rig.app, rig.ui);
        rig.prompts.newPasswords.push_back({PasswordPrompts::Answer::kCancel, QString(), QString()});
        rig.frame->SetPrompts(&rig.prompts);
        QCOMPARE(rig.frame->Create(), 0);
        QCOMPARE(rig.frame->PostShow(), -1);
        QCOMPARE(rig.app.State().registry->Count(), 0);
        QVERIFY(QFileInfo(rig.app.DefaultEncryptedFolder()).isDir());
        QVERIFY(QFile::exists(rig.dir.filePath(QStringLiteral("ZORp/env/zorcl_folder.dat"))));
        QVERIFY(QFile::exists(rig.Ini()));
    }

    void MissingHelpSaysSo() {
        Rig rig;
        QVERIFY(rig.Start());
        rig.frame->OnCommand(32929);
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.ui.Messages()[0].text, QStringLiteral("ヘルプが見つかりません　"));
    }
};

QTEST_MAIN(TestMainFrame)
#include "TestMainFrame.moc"
