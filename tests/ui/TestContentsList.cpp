#include "DialogChecks.h"
#include "FrameRig.h"
#include "folder/ContentsModel.h"
#include "folder/ContentsWatcher.h"
#include "platform/ClipboardFiles.h"
#include "ui/CommandIds.h"
#include "ui/ListV.h"
#include "ui/TreeV.h"
#include "workspace/LoginManager.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace korimbo;

// The contents list in the running window: what it lists, how it follows the tree, and files brought in
// by drops and pastes.
class TestContentsList : public QObject {
    Q_OBJECT

private:
    static bool WriteFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // The display names of the listed rows, in the list's order.
    static QStringList Names(const CContentsModel* model) {
        QStringList names;
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->Item(row).texts[CContentsModel::kName];
        return names;
    }

    // Drops `paths` on the details view at `pos`, choosing `choice` in the drop menu; the offered ids.
    static QList<int> Drop(CListV* list, const QStringList& paths, const QPoint& pos, int choice) {
        QList<int> offered;
        list->runMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions())
                if (!action->isSeparator())
                    offered << action->data().toInt();
            return choice;
        };
        std::unique_ptr<QMimeData> data(MakeClipboardFiles(paths, false));
        QWidget* viewport = list->Details()->viewport();
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        return offered;
    }

    // The container's plain bytes and stored name, decrypted with the folder's key.
    static QByteArray Decrypted(FrameRig& rig, const QString& container, const QString& key, QString& name) {
        CCryptEngine& engine = *rig.app.State().engine;
        ContainerInfo info;
        QTemporaryDir out;
        const QString plain = out.filePath(QStringLiteral("plain"));
        if (engine.ReadContainerInfo(container, info, key, false) != 0 ||
            engine.DecryptFile(container, plain, key) != 0)
            return QByteArray("<failed>");
        name = info.name;
        QFile file(plain);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QStringList Containers(const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("*.zorf")}, QDir::Files);
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    void ListFollowsTheTreeAndTheLogin() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub/deeper")));
        rig.frame->OnCommand(cmd::Refresh);
        CContentsModel* model = rig.frame->Contents();
        QCOMPARE(model->Directory(), folder);
        QCOMPARE(Names(model), QStringList{QStringLiteral("sub")});
        QCOMPARE(model->Item(0).texts[CContentsModel::kType], QStringLiteral("ファイル フォルダー"));

        // Opening a folder row selects it in the tree, which lists it; up one level goes back.
        Q_EMIT rig.frame->List()->OpenRequested(0);
        QCOMPARE(CTreeV::PathOf(rig.frame->Tree()->currentItem()), folder + QStringLiteral("/sub"));
        QCOMPARE(model->Directory(), folder + QStringLiteral("/sub"));
        QCOMPARE(Names(model), QStringList{QStringLiteral("deeper")});
        rig.frame->OnCommand(cmd::UpOneLevel);
        QCOMPARE(model->Directory(), folder);
        QVERIFY(!rig.frame->Action(cmd::UpOneLevel)->isEnabled()); // the top of its folder

        // Logged out, the list is empty and watches nothing.
        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(folder), OpResult::kDone);
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(model->Directory().isEmpty());
        QVERIFY(rig.frame->Watcher()->Watched().isEmpty());
    }

    void DroppedFilesGoIntoTheFolderUnderThePointer() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
        const QString a = rig.dir.filePath(QStringLiteral("outside/a.txt"));
        const QString b = rig.dir.filePath(QStringLiteral("outside/b.txt"));
        QVERIFY(WriteFile(a, QByteArray("alpha ").repeated(3000)));
        QVERIFY(WriteFile(b, QByteArray("beta")));
        CListV* list = rig.frame->List();
        rig.frame->OnCommand(cmd::ViewDetails);
        rig.frame->OnCommand(cmd::Refresh);
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));

        const QRect subRow = list->Details()->visualRect(list->Details()->model()->index(0, 0));
        QCOMPARE(Drop(list, {a}, subRow.center(), cmd::DropEncryptCopy),
                 (QList<int>{cmd::DropEncryptCopy, cmd::DropEncryptMove, cmd::DropCancel}));
        QCOMPARE(Containers(folder + QStringLiteral("/sub")).size(), 1);
        QVERIFY(QFile::exists(a)); // copied

        const QPoint below(5, list->Details()->viewport()->height() - 5);
        Drop(list, {b}, below, cmd::DropEncryptMove);
        QVERIFY(!QFile::exists(b)); // moved
        QCOMPARE(Names(rig.frame->Contents()), (QStringList{QStringLiteral("sub"), QStringLiteral("b.txt")}));

        // A cancelled menu brings nothing in.
        Drop(list, {a}, below, cmd::DropCancel);
        QCOMPARE(Containers(folder).size(), 1);

        // While a command runs a drop is refused: no menu, nothing brought in.
        rig.frame->EnterBusy();
        QCOMPARE(Drop(list, {a}, below, cmd::DropEncryptCopy), QList<int>());
        rig.frame->LeaveBusy();
        QCOMPARE(Containers(folder).size(), 1);

        // Both containers give back the bytes and the names.
        QString name;
        const QString sub = folder + QStringLiteral("/sub");
        QCOMPARE(Decrypted(rig, sub + u'/' + Containers(sub).first(), folder, name),
                 QByteArray("alpha ").repeated(3000));
        QCOMPARE(name, QStringLiteral("a.txt"));
        QCOMPARE(Decrypted(rig, folder + u'/' + Containers(folder).first(), folder, name), QByteArray("beta"));
        QCOMPARE(name, QStringLiteral("b.txt"));
    }

    void PastedCutIsMovedInAndTheClipboardEmptied() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString c = rig.dir.filePath(QStringLiteral("outside/c.txt"));
        QVERIFY(WriteFile(c, QByteArray("gamma")));
        QGuiApplication::clipboard()->setMimeData(MakeClipboardFiles({c}, true));
        QTRY_VERIFY(rig.frame->ClipboardHasFiles());
        QCOMPARE(rig.frame->Action(cmd::Paste)->text(), QStringLiteral("暗号化して貼り付け(&P)\tCtrl+V"));
        rig.frame->OnCommand(cmd::Paste);
        QVERIFY(!QFile::exists(c));
        QCOMPARE(Names(rig.frame->Contents()), QStringList{QStringLiteral("c.txt")});
        QTRY_VERIFY(!rig.frame->ClipboardHasFiles());
    }

    // Changes made while the window is idle show at once; during a command they wait for its end.
    void WatcherUpdatesWhenTheWindowIsIdle() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        CContentsModel* model = rig.frame->Contents();
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/one")));
        QTRY_COMPARE(model->rowCount(), 1);

        rig.frame->EnterBusy();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/two")));
        QTRY_VERIFY(rig.frame->Watcher()->Pending());
        QCOMPARE(model->rowCount(), 1);
        rig.frame->LeaveBusy();
        QTRY_COMPARE(model->rowCount(), 2);
    }

    void ColumnWidthsAndViewStyles() {
        FrameRig rig;
        QVERIFY(rig.Start());
        CListV* list = rig.frame->List();
        SettingsRecord& settings = rig.app.State().settings;
        QHeaderView* header = list->Details()->header();
        QCOMPARE(header->sectionSize(CContentsModel::kType), settings.lv1WidthSr);
        for (int column = CContentsModel::kVisibleColumns; column < CContentsModel::kColumnCount; ++column)
            QVERIFY(list->Details()->isColumnHidden(column));
        header->resizeSection(CContentsModel::kType, 155);
        QCOMPARE(settings.lv1WidthSr, 155);

        rig.frame->OnCommand(cmd::ViewIcons);
        QVERIFY(list->Details()->isHidden());
        rig.frame->OnCommand(cmd::ViewDetails);
        QVERIFY(!list->Details()->isHidden());
        QCOMPARE(settings.dispMode, 2);
    }
};

QTEST_MAIN(TestContentsList)
#include "TestContentsList.moc"
