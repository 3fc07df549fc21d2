#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "ui/CommandIds.h"
#include "ui/D17Property.h"
#include "ui/D18PropertySum.h"
#include "ui/ListV.h"
#include "ui/TreeV.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace korimbo;

// The submenu "新規作成(&W)" in the running window, the rename that follows a new item, and the properties
// dialogs of the list and the tree.
class TestNewItemsWindow : public QObject {
    Q_OBJECT

private:
    static void Offer(FrameRig& rig, const QStringList& types) {
        rig.associations.newFileTypes = types;
        rig.associations.typeNames.insert(QStringLiteral(".txt"), QStringLiteral("テキスト ドキュメント"));
        rig.associations.shellNew.insert(QStringLiteral(".txt"), {QStringLiteral("NullFile"), QString()});
    }

    static QMenu* NewMenuIn(const QMenu& menu) {
        for (QAction* action : menu.actions())
            if (action->menu() && action->text() == QStringLiteral("新規作成(&W)"))
                return action->menu();
        return nullptr;
    }

    static QStringList Texts(const QMenu* menu) {
        QStringList texts;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                texts << action->text();
        return texts;
    }

    // A right click at `pos` of the details view; the ids the pop-up offered (submenus included).
    static QList<int> Popup(CListV* list, const QPoint& pos, int choice) {
        QList<int> offered;
        list->runMenu = [&](QMenu& menu, const QPoint&) {
            const std::function<void(const QMenu&)> collect = [&](const QMenu& m) {
                for (QAction* action : m.actions()) {
                    if (action->menu())
                        collect(*action->menu());
                    else if (!action->isSeparator())
                        offered << action->data().toInt();
                }
            };
            collect(menu);
            return choice;
        };
        QWidget* viewport = list->Details()->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QCoreApplication::sendEvent(viewport, &event);
        list->runMenu = nullptr;
        return offered;
    }

    static QLineEdit* Editor(CListV* list) {
        for (QLineEdit* edit : list->Details()->viewport()->findChildren<QLineEdit*>())
            if (edit->isVisible())
                return edit;
        return nullptr;
    }

    static bool ShowDetails(FrameRig& rig) {
        rig.frame->OnCommand(cmd::ViewDetails);
        rig.frame->OnCommand(cmd::Refresh);
        rig.frame->show();
        return QTest::qWaitForWindowExposed(rig.frame.get());
    }

    static QPoint Below(CListV* list) { return QPoint(5, list->Details()->viewport()->height() - 5); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // The type list is taken once at creation, never more than 30; the file menu and the pop-up of the
    // empty area carry the same submenu.
    void SubmenuListsTheTypesOfThisRun() {
        FrameRig rig;
        QStringList many{QStringLiteral(".txt")};
        for (int i = 1; i < 35; ++i)
            many << QStringLiteral(".k%1").arg(i);
        Offer(rig, many);
        QVERIFY(rig.Start());
        QCOMPARE(rig.frame->NewFileTypes(), many.mid(0, 30));
        QCOMPARE(rig.frame->NewFileTypeTexts().first(), QStringLiteral("テキスト ドキュメント"));
        QCOMPARE(rig.frame->NewFileTypeTexts().at(1), QStringLiteral("K1 ファイル"));
        rig.associations.newFileTypes.clear(); // later changes count from the next start
        QCOMPARE(rig.frame->NewFileTypes().size(), 30);

        QMenu* file = rig.frame->TopMenus().first();
        QMenu* sub = NewMenuIn(*file);
        QVERIFY(sub);
        const QStringList texts = Texts(sub);
        QCOMPARE(texts.size(), 32);
        QCOMPARE(texts.first(), QStringLiteral("フォルダー(&F)"));
        QCOMPARE(texts.last(), QStringLiteral("「新規作成」の設定(&S)..."));
        Q_EMIT file->aboutToShow();
        QVERIFY(sub->isEnabled()); // the default folder is shown
        rig.frame->ShowFolder(QString());
        Q_EMIT file->aboutToShow();
        QVERIFY(!sub->isEnabled());

        rig.frame->ShowFolder(rig.app.DefaultEncryptedFolder());
        const QList<int> offered = Popup(rig.frame->List(), QPoint(5, 5), 0);
        QVERIFY(offered.contains(cmd::Paste));
        QVERIFY(offered.contains(cmd::NewFolder));
        QVERIFY(offered.contains(cmd::NewFileFirst + 29));
        QVERIFY(!offered.contains(cmd::NewFileFirst + 30));
        QVERIFY(offered.contains(cmd::NewFileSettings));
    }

    // A new folder and a new text file from the pop-up: each has its row, selected, with its name in the
    // editor.
    void NewItemsGoIntoRename() {
        FrameRig rig;
        Offer(rig, {QStringLiteral(".txt")});
        QVERIFY(rig.Start());
        QVERIFY(ShowDetails(rig));
        const QString folder = rig.app.DefaultEncryptedFolder();
        CListV* list = rig.frame->List();
        CContentsModel* model = rig.frame->Contents();

        Popup(list, Below(list), cmd::NewFolder);
        const QString created = folder + QStringLiteral("/新しいフォルダー");
        QVERIFY(QFileInfo(created).isDir());
        const int folderRow = model->RowOf(created);
        QVERIFY(folderRow >= 0);
        QCOMPARE(list->SelectedRows(), QList<int>{folderRow});
        QLineEdit* editor = Editor(list);
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("新しいフォルダー"));
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!Editor(list));

        Popup(list, Below(list), cmd::NewFileFirst);
        const QStringList containers = QDir(folder).entryList({QStringLiteral("*.zorf")}, QDir::Files);
        QCOMPARE(containers.size(), 1);
        const int fileRow = model->RowOf(folder + u'/' + containers.first());
        QVERIFY(fileRow >= 0);
        QCOMPARE(model->Item(fileRow).texts[CContentsModel::kOriginalName],
                 QStringLiteral("新規 テキスト ドキュメント.txt"));
        QCOMPARE(list->SelectedRows(), QList<int>{fileRow});
        QVERIFY(Editor(list));
        QCOMPARE(rig.ui.Numbers(), QList<int>());

        // A second new folder takes the next name; the tree shows both.
        Popup(list, Below(list), cmd::NewFolder);
        QVERIFY(QFileInfo(folder + QStringLiteral("/新しいフォルダー (2)")).isDir());
        QVERIFY(rig.frame->Tree()->SelectPath(folder + QStringLiteral("/新しいフォルダー (2)")));
    }

    // The settings entry opens the templates folder in the file manager, or says the folder is off.
    void SettingsEntryOpensTheTemplatesFolder() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QAction* entry = nullptr;
        for (QAction* action : NewMenuIn(*rig.frame->TopMenus().first())->actions())
            if (action->data().toInt() == cmd::NewFileSettings)
                entry = action;
        QVERIFY(entry);
        entry->trigger();
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.ui.Messages().first().icon, Icon::Information);
        QVERIFY(rig.launcher.calls.isEmpty());

        rig.userFolders = FakeUserFolders(rig.dir.filePath(QStringLiteral("home")));
        entry->trigger();
        QCOMPARE(rig.ui.Messages().size(), 1);
        QCOMPARE(rig.launcher.calls.size(), 1);
        QCOMPARE(rig.launcher.calls.first().file, rig.dir.filePath(QStringLiteral("home/Templates")));
        QVERIFY(rig.launcher.calls.first().program.isEmpty());
        QVERIFY(QFileInfo(rig.dir.filePath(QStringLiteral("home/Templates"))).isDir());
    }

    // One item: the single dialog with its values; several: the summary; a tree folder: the single dialog.
    void PropertiesOfTheListAndTheTree() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("outside/報告.txt"));
        QVERIFY(QDir().mkpath(QFileInfo(source).path()));
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(1234, 'r')) == 1234);
        file.close();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
        QCOMPARE(rig.frame->EncryptIn(folder, {source}, false), OpResult::kDone);
        QVERIFY(ShowDetails(rig));
        CListV* list = rig.frame->List();
        const QString container =
            folder + u'/' + QDir(folder).entryList({QStringLiteral("*.zorf")}, QDir::Files).first();
        const int row = rig.frame->Contents()->RowOf(container);
        list->SelectRow(row);
        QVERIFY(Popup(list, list->Details()->visualRect(list->Details()->model()->index(row, 0)).center(), 0)
                    .contains(cmd::Properties));

        QHash<QString, QString> shown;
        DialogHook::Queue([&shown](QDialog& dialog) {
            auto* single = qobject_cast<CD17Property*>(&dialog);
            if (!single)
                return int(QDialog::Rejected);
            shown.insert(QStringLiteral("name"), single->NameText());
            for (const QString& label : {QStringLiteral("元のサイズ："), QStringLiteral("暗号ファイル名："),
                                         QStringLiteral("場所："), QStringLiteral("ヒント：")})
                shown.insert(label, single->ValueOf(label));
            shown.insert(QStringLiteral("title"), dialog.windowTitle());
            return int(QDialog::Accepted);
        });
        Q_EMIT list->PopupCommand(cmd::Properties);
        QCOMPARE(shown.value(QStringLiteral("title")), QStringLiteral("プロパティ"));
        QCOMPARE(shown.value(QStringLiteral("name")), QStringLiteral("報告.txt"));
        QCOMPARE(shown.value(QStringLiteral("元のサイズ：")), QStringLiteral("1.21KB （1,234 バイト）"));
        QCOMPARE(shown.value(QStringLiteral("暗号ファイル名：")), QFileInfo(container).fileName());
        QCOMPARE(shown.value(QStringLiteral("場所：")), folder);
        QCOMPARE(shown.value(QStringLiteral("ヒント：")), QStringLiteral("花"));

        list->SelectAll();
        QString title;
        QString counts;
        DialogHook::Queue([&](QDialog& dialog) {
            auto* summary = qobject_cast<CD18PropertySum*>(&dialog);
            title = dialog.windowTitle();
            counts = summary ? summary->CountsText() : QString();
            return int(QDialog::Accepted);
        });
        Q_EMIT list->PopupCommand(cmd::Properties);
        QCOMPARE(title, QStringLiteral("subのプロパティ")); // folders come first in the list
        QCOMPARE(counts, QStringLiteral("ファイル数：1、フォルダー数：1"));

        QString type;
        DialogHook::Queue([&type](QDialog& dialog) {
            auto* single = qobject_cast<CD17Property*>(&dialog);
            type = single ? single->ValueOf(QStringLiteral("種類：")) : QString();
            return int(QDialog::Accepted);
        });
        Q_EMIT rig.frame->Tree()->ContextCommand(cmd::TreeProperties, folder + QStringLiteral("/sub"));
        QCOMPARE(type, QStringLiteral("ファイル フォルダー"));
        QCOMPARE(rig.ui.Numbers(), QList<int>());
    }

    // Both dialogs close with the keyboard when shown for real.
    void PropertiesDialogsTakeInput() {
        FrameRig rig;
        QVERIFY(rig.Start());
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        const QString folder = rig.app.DefaultEncryptedFolder();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/a")));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/b")));
        {
            // The offscreen platform does not activate a modal dialog as a window manager does; left inactive,
            // the main window's Return shortcut of its focused pane would take the key.
            RealAnswer enter([](QWidget* dialog) {
                QApplication::setActiveWindow(dialog);
                QTest::keyClick(dialog, Qt::Key_Return);
            });
            QCOMPARE(rig.frame->ShowProperties({folder + QStringLiteral("/a")}), OpResult::kDone);
            QVERIFY(enter.Answered());
            QVERIFY(!enter.TimedOut());
        }
        {
            RealAnswer escape([](QWidget* dialog) {
                QApplication::setActiveWindow(dialog);
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
            QCOMPARE(rig.frame->ShowProperties({folder + QStringLiteral("/a"), folder + QStringLiteral("/b")}),
                     OpResult::kDone);
            QVERIFY(escape.Answered());
            QVERIFY(!escape.TimedOut());
        }
    }
};

QTEST_MAIN(TestNewItemsWindow)
#include "TestNewItemsWindow.moc"
