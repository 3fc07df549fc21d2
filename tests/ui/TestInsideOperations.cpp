#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "platform/ClipboardFiles.h"
#include "platform/Trash.h"
#include "ui/CommandIds.h"
#include "ui/InsideDrag.h"
#include "ui/ListV.h"
#include "ui/TreeV.h"
#include "workspace/LoginManager.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using namespace korimbo;

namespace {

// A started window on the default folder, shown, with a trash folder of its own.
struct InsideRig : FrameRig {
    std::unique_ptr<FreedesktopTrash> trash;
    QString folder;

    bool Up() {
        if (!Start())
            return false;
        folder = app.DefaultEncryptedFolder();
        trash = std::make_unique<FreedesktopTrash>(dir.filePath(QStringLiteral("xdg/Trash")), volumes);
        frame->SetTrash(trash.get());
        frame->OnCommand(cmd::ViewDetails);
        frame->show();
        frame->activateWindow();
        return QTest::qWaitForWindowExposed(frame.get());
    }
    // A read-only container of `name` in `directory`, made with the folder's key.
    QString Container(const QString& directory, const QString& name) {
        QDir().mkpath(dir.filePath(QStringLiteral("plain")));
        const QString plain = dir.filePath(QStringLiteral("plain/") + name);
        QFile file(plain);
        if (!file.open(QIODevice::WriteOnly) || file.write("contents") != 8)
            return QString();
        file.close();
        QString disk;
        CCryptEngine& engine = *app.State().engine;
        if (engine.MakeContainerName(directory, disk) != 0 ||
            engine.EncryptFile(plain, directory + u'/' + disk, folder) != 0)
            return QString();
        static_cast<void>(files.SetReadOnly(directory + u'/' + disk));
        return directory + u'/' + disk;
    }
    QStringList Names() const {
        QStringList names;
        for (int row = 0; row < frame->Contents()->rowCount(); ++row)
            names << frame->Contents()->Item(row).texts[CContentsModel::kName];
        return names;
    }
    int Row(const QString& name) const { return int(Names().indexOf(name)); }
    void Refresh() { frame->OnCommand(cmd::Refresh); }
};

} // namespace

// The inside operations as the user starts them in the running window: keys, the clipboard, the rename
// editor, drops with their menu, and the undo item.
class TestInsideOperations : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // An inside copy empties the system clipboard, and the paste item stops offering to encrypt.
    void InsideCopyTakesOverThePaste() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString a = rig.Container(rig.folder, QStringLiteral("a.txt"));
        const QString outside = rig.dir.filePath(QStringLiteral("outside.txt"));
        QFile(outside).open(QIODevice::WriteOnly);
        QGuiApplication::clipboard()->setMimeData(MakeClipboardFiles({outside}, false));
        QTRY_VERIFY(rig.frame->ClipboardHasFiles());
        QCOMPARE(rig.frame->Action(cmd::Paste)->text(), QStringLiteral("暗号化して貼り付け(&P)\tCtrl+V"));
        rig.Refresh();
        CListV* list = rig.frame->List();
        list->SelectRow(rig.Row(QStringLiteral("a.txt")));
        QTRY_VERIFY(list->hasFocus());
        QTest::keyClick(list->Details(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(rig.frame->Clipboard().items, QStringList{a});
        QTRY_VERIFY(!rig.frame->ClipboardHasFiles());
        const QMimeData* system = QGuiApplication::clipboard()->mimeData();
        QVERIFY(!system || !system->hasUrls());
        QCOMPARE(rig.frame->Action(cmd::Paste)->text(), QStringLiteral("貼り付け(&P)\tCtrl+V"));
        QTest::keyClick(list->Details(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(rig.Names(), (QStringList{QStringLiteral("a - コピー.txt"), QStringLiteral("a.txt")}));
    }

    // Delete goes to the trash and Ctrl+Z brings it back; Shift+Delete is permanent and leaves nothing to
    // undo.
    void DeleteKeysAndUndo() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString a = rig.Container(rig.folder, QStringLiteral("a.txt"));
        const QString b = rig.Container(rig.folder, QStringLiteral("b.txt"));
        rig.Refresh();
        CListV* list = rig.frame->List();
        list->SelectRow(rig.Row(QStringLiteral("a.txt")));
        QTRY_VERIFY(list->hasFocus());
        rig.ui.QueueAnswer(kAnswerYes);
        QTest::keyClick(list->Details(), Qt::Key_Delete);
        QVERIFY(rig.ui.Has(1));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(QFileInfo::exists(rig.trash->HomeTrash() + QStringLiteral("/files/") + QFileInfo(a).fileName()));
        QCOMPARE(rig.Names(), QStringList{QStringLiteral("b.txt")});

        rig.frame->UpdateCommandStates();
        QAction* undo = rig.frame->Action(cmd::Undo);
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("元に戻す - 削除(&U)\tCtrl+Z"));
        QCOMPARE(undo->statusTip(), QStringLiteral("元に戻す - 'a.txt' の削除"));
        QTest::keyClick(list->Details(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(QFileInfo::exists(a));
        QCOMPARE(rig.Names(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
        QVERIFY(!undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("元に戻す(&U)\tCtrl+Z"));

        list->SelectRow(rig.Row(QStringLiteral("b.txt")));
        rig.ui.QueueAnswer(kAnswerYes);
        QTest::keyClick(list->Details(), Qt::Key_Delete, Qt::ShiftModifier);
        QVERIFY(rig.ui.Has(2));
        QVERIFY(!QFileInfo::exists(b));
        QVERIFY(!QFileInfo::exists(rig.trash->HomeTrash() + QStringLiteral("/files/") + QFileInfo(b).fileName()));
        QCOMPARE(rig.frame->History().Count(), 0);
    }

    // F2 opens the name's editor; what is typed there renames the container (the extension kept while the
    // list hides it), and the undo item describes the rename. Logged out, undo is disabled.
    void RenameInPlace() {
        InsideRig rig;
        QVERIFY(rig.Up());
        rig.app.State().settings.titleMode = 0;
        rig.associations.program = QStringLiteral("/usr/bin/example-editor");
        const QString a = rig.Container(rig.folder, QStringLiteral("a.txt"));
        rig.Refresh();
        CListV* list = rig.frame->List();
        const QString shown = rig.Names().first();
        list->SelectRow(0);
        QTRY_VERIFY(list->hasFocus());
        QTest::keyClick(list->Details(), Qt::Key_F2);
        QLineEdit* editor = list->RenameEditor();
        QVERIFY(editor);
        QCOMPARE(editor->text(), shown);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("b"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(a) || !rig.ui.Numbers().isEmpty(), 5000);
        QCOMPARE(rig.ui.Numbers(), QList<int>());
        QVERIFY(!QFileInfo::exists(a));
        QTRY_COMPARE(rig.frame->Contents()->rowCount(), 1);
        QTRY_COMPARE(rig.frame->Contents()->Item(0).texts[CContentsModel::kOriginalName], QStringLiteral("b.txt"));
        rig.frame->UpdateCommandStates();
        QCOMPARE(rig.frame->Action(cmd::Undo)->statusTip(), QStringLiteral("元に戻す - 'b.txt' を 'a.txt' に変更"));

        // The public entry the new-item commands use.
        list->BeginRename(0);
        QVERIFY(list->RenameEditor());
        QTest::keyClick(list->RenameEditor(), Qt::Key_Escape);
        QVERIFY(!list->RenameEditor());

        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(rig.folder), OpResult::kDone);
        rig.frame->UpdateCommandStates();
        QVERIFY(!rig.frame->Action(cmd::Undo)->isEnabled());
        QCOMPARE(rig.frame->Action(cmd::Undo)->text(), QStringLiteral("元に戻す(&U)\tCtrl+Z"));
    }

    // Items dragged inside the program: on a folder row of the list and on a folder of the tree, with the
    // menu "ここにコピー(&C)" / "ここに移動(&M)".
    void InternalDropsCopyAndMove() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString sub = rig.folder + QStringLiteral("/sub");
        QVERIFY(QDir().mkpath(sub));
        const QString a = rig.Container(rig.folder, QStringLiteral("a.txt"));
        rig.Refresh();
        CListV* list = rig.frame->List();
        QMimeData data;
        WriteInsideDrag(data, {rig.folder, {a}});
        QList<int> offered;
        list->runMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions())
                if (!action->isSeparator())
                    offered << action->data().toInt();
            return int(cmd::DropInsideMove);
        };
        const QPoint at = list->Details()->visualRect(list->Details()->model()->index(rig.Row(QStringLiteral("sub")), 0))
                              .center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->Details()->viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->Details()->viewport(), &drop);
        QCOMPARE(offered, (QList<int>{cmd::DropInsideCopy, cmd::DropInsideMove, cmd::DropCancel}));
        QVERIFY(!QFileInfo::exists(a));
        QCOMPARE(rig.Names(), QStringList{QStringLiteral("sub")});
        const QStringList moved = QDir(sub).entryList({QStringLiteral("*.zorf")}, QDir::Files);
        QCOMPARE(moved.size(), 1);

        // Back onto the top folder in the tree, as a copy.
        CTreeV* tree = rig.frame->Tree();
        tree->runMenu = [](QMenu&, const QPoint&) { return int(cmd::DropInsideCopy); };
        QMimeData back;
        WriteInsideDrag(back, {sub, {sub + u'/' + moved.first()}});
        const QPoint top = tree->visualItemRect(tree->topLevelItem(0)).center();
        QDragEnterEvent treeEnter(top, Qt::CopyAction, &back, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &treeEnter);
        QVERIFY(treeEnter.isAccepted());
        QDropEvent treeDrop(QPointF(top), Qt::CopyAction, &back, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(tree->viewport(), &treeDrop);
        QCOMPARE(rig.Names(), (QStringList{QStringLiteral("sub"), QStringLiteral("a.txt")}));
        QVERIFY(QFileInfo::exists(sub + u'/' + moved.first()));
        QCOMPARE(rig.frame->History().Description(), QStringLiteral("元に戻す - 'a.txt' のコピー"));
    }

    // The tree's pop-up acts on its directory: copy one folder into another, then delete the folder that
    // is shown; the list falls back to its parent.
    void TreePopupActsOnTheDirectory() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString one = rig.folder + QStringLiteral("/one");
        const QString two = rig.folder + QStringLiteral("/two");
        QVERIFY(QDir().mkpath(one));
        QVERIFY(QDir().mkpath(two));
        rig.Container(one, QStringLiteral("in.txt"));
        CTreeV* tree = rig.frame->Tree();
        rig.Refresh();
        QVERIFY(tree->SelectPath(one));
        QCOMPARE(rig.frame->CurrentFolder(), one);
        Q_EMIT tree->ContextCommand(cmd::TreeCopy, one);
        QCOMPARE(rig.frame->Clipboard().items, QStringList{one});
        Q_EMIT tree->ContextCommand(cmd::TreePaste, two);
        QCOMPARE(QDir(two + QStringLiteral("/one")).entryList({QStringLiteral("*.zorf")}, QDir::Files).size(), 1);

        rig.ui.QueueAnswer(kAnswerYes);
        Q_EMIT tree->ContextCommand(cmd::TreeDelete, one);
        QVERIFY(!QFileInfo::exists(one));
        QCOMPARE(rig.frame->CurrentFolder(), rig.folder);
        QCOMPARE(rig.Names(), QStringList{QStringLiteral("two")});
        QCOMPARE(rig.frame->History().Description(), QStringLiteral("元に戻す - 'one' の削除"));
        rig.frame->OnCommand(cmd::Undo);
        QVERIFY(QFileInfo(one).isDir());
        QCOMPARE(rig.Names(), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));

        // Every encrypt-in empties the history.
        QCOMPARE(rig.frame->History().Count(), 1); // the paste
        const QString outside = rig.dir.filePath(QStringLiteral("outside.txt"));
        QVERIFY(QFile(outside).open(QIODevice::WriteOnly));
        QCOMPARE(rig.frame->EncryptIn(rig.folder, {outside}, false), OpResult::kDone);
        QCOMPARE(rig.frame->History().Count(), 0);
    }

    // The registered folder itself is neither cut, copied nor deleted from the tree's pop-up; a paste into a
    // folder that is logged out does nothing.
    void TreePopupLeavesTheRegisteredFolderAndLoggedOutPaste() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString one = rig.folder + QStringLiteral("/one"), two = rig.folder + QStringLiteral("/two");
        QVERIFY(QDir().mkpath(one) && QDir().mkpath(two));
        CTreeV* tree = rig.frame->Tree();
        rig.Refresh();
        for (const int id : {int(cmd::TreeCut), int(cmd::TreeCopy), int(cmd::TreeDelete)})
            Q_EMIT tree->ContextCommand(id, rig.folder);
        QCOMPARE(rig.frame->Clipboard().Count(), 0);
        QVERIFY(QFileInfo(one).isDir());
        Q_EMIT tree->ContextCommand(cmd::TreeCopy, one);
        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(rig.folder), OpResult::kDone);
        Q_EMIT tree->ContextCommand(cmd::TreePaste, two);
        QVERIFY(!QFileInfo::exists(two + QStringLiteral("/one")));
    }

    // A folder dropped on a registered folder of another password arrives under that folder's key.
    void DropOnAFolderOfAnotherPassword() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString other = rig.dir.filePath(QStringLiteral("other")), password = QStringLiteral("Other#Pw2");
        QVERIFY(QDir().mkpath(other));
        QCOMPARE(rig.app.State().registry->AddFolder(rig.app.EnvironmentFolder(), other, QStringLiteral("hint"),
                                                     password, QStringLiteral("0"), QStringLiteral("OTHER"),
                                                     QStringLiteral("0"), 3),
                 OpResult::kDone);
        CCryptEngine& engine = *rig.app.State().engine;
        std::array<std::uint8_t, 34> bytes{};
        QCOMPARE(
            engine.RegisterKey(bytes.data(), engine.PasswordToBytes(password, bytes), other, QStringLiteral("hint")),
            0);
        const QString docs = rig.folder + QStringLiteral("/docs");
        QVERIFY(QDir().mkpath(docs));
        rig.Container(docs, QStringLiteral("in.txt"));
        Q_EMIT rig.frame->Tree()->InsideDropped(other, {docs}, true);
        const QStringList moved =
            QDir(other + QStringLiteral("/docs")).entryList({QStringLiteral("*.zorf")}, QDir::Files);
        QCOMPARE(moved.size(), 1);
        QCOMPARE(engine.VerifyContainer(other + QStringLiteral("/docs/") + moved.first(), other), 0);
    }

    // The overwrite dialog of a paste opens inside the busy section and takes the user's click.
    void OverwriteDialogOfAPasteTakesInput() {
        InsideRig rig;
        QVERIFY(rig.Up());
        const QString sub = rig.folder + QStringLiteral("/sub");
        QVERIFY(QDir().mkpath(sub));
        const QString a = rig.Container(rig.folder, QStringLiteral("a.txt"));
        const QString old = rig.Container(sub, QStringLiteral("a.txt"));
        rig.Refresh();
        QCOMPARE(rig.frame->TakeItems({a}, false, rig.folder), OpResult::kDone);
        RealAnswer yes([](QWidget* dialog) {
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("overwrite1")), Qt::LeftButton);
        });
        QCOMPARE(rig.frame->PasteInside(sub), OpResult::kDone);
        QVERIFY(yes.Answered());
        QVERIFY(!yes.TimedOut());
        QCOMPARE(QDir(sub).entryList({QStringLiteral("*.zorf")}, QDir::Files), QStringList{QFileInfo(old).fileName()});
        QFile copied(old);
        QFile source(a);
        QVERIFY(copied.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), source.readAll());
        QVERIFY(QFileInfo::exists(a));
    }
};

QTEST_MAIN(TestInsideOperations)
#include "TestInsideOperations.moc"
