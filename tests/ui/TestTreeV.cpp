#include "ui/CommandIds.h"
#include "ui/TreeV.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace korimbo;

// The tree with its drop handler reachable: an offscreen view gets no drag session to deliver drops.
struct DropTree : CTreeV {
    using CTreeV::contextMenuEvent;
    using CTreeV::dropEvent;
};

class TestTreeV : public QObject {
    Q_OBJECT

private:
    // Drops `urls` on the tree at `pos`, answering the drop menu with `choice`.
    static QStringList Drop(DropTree& tree, const QList<QUrl>& urls, const QPoint& pos, int choice) {
        QStringList offered;
        tree.runMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions())
                if (!action->isSeparator())
                    offered << QString::number(action->data().toInt());
            return choice;
        };
        QMimeData data;
        data.setUrls(urls);
        QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        tree.dropEvent(&drop);
        return offered;
    }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("safe/a/deep")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("safe/b")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("other")));
    }

    void Labels_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<int>("driveType");
        QTest::addColumn<QString>("label");
        QTest::newRow("below the root") << "/media/usb/Safe"
                                        << "/media/usb" << 2 << "/media/usb/Safe（リムーバルディスク）";
        QTest::newRow("deeper") << "/media/usb/a/b/Safe"
                                << "/media/usb" << 3 << "/media/usb/…/Safe";
        QTest::newRow("system root") << "/home/u/Safe"
                                     << "/" << 3 << "/…/Safe";
        QTest::newRow("directly below /") << "/Safe"
                                          << "/" << 3 << "/Safe";
        QTest::newRow("optical") << "/media/cd/x/Safe"
                                 << "/media/cd" << 5 << "/media/cd/…/Safe（CD/DVD/BDドライブ）";
    }
    void Labels() {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(int, driveType);
        QFETCH(QString, label);
        QCOMPARE(CTreeV::LabelFor(path, root, driveType), label);
    }

    void BranchesLoadWhenOpened() {
        CTreeV tree;
        QTreeWidgetItem* top = tree.AddFolder(m_dir.filePath(QStringLiteral("safe")), 3);
        QCOMPARE(top->childCount(), 1);
        QCOMPARE(top->child(0)->text(0), CTreeV::kPlaceholder);
        top->setExpanded(true);
        QCOMPARE(top->childCount(), 2);
        QCOMPARE(CTreeV::PathOf(top->child(0)), m_dir.filePath(QStringLiteral("safe/a")));
        QCOMPARE(top->child(0)->childCount(), 1); // "a" has a subdirectory of its own
        QCOMPARE(top->child(1)->childCount(), 0);
        QCOMPARE(CTreeV::TopFolderOf(top->child(0)), m_dir.filePath(QStringLiteral("safe")));
        top->setExpanded(false);
        top->setExpanded(true);
        QCOMPARE(top->childCount(), 2); // loaded once
    }

    void DroppedFolderAsksToRegister() {
        DropTree tree;
        tree.resize(300, 300);
        QSignalSpy spy(&tree, &CTreeV::RegisterRequested);
        const QString other = m_dir.filePath(QStringLiteral("other"));
        QStringList offered = Drop(tree, {QUrl::fromLocalFile(other)}, QPoint(10, 10), cmd::DropRegister);
        QCOMPARE(offered, (QStringList{QStringLiteral("32828"), QStringLiteral("32824")}));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toString(), other);
        Drop(tree, {QUrl::fromLocalFile(other)}, QPoint(10, 10), cmd::DropCancel);
        QCOMPARE(spy.size(), 1);
    }

    void FilesDroppedOnADirectory() {
        DropTree tree;
        tree.resize(300, 300);
        tree.AddFolder(m_dir.filePath(QStringLiteral("safe")), 3);
        QFile file(m_dir.filePath(QStringLiteral("note.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSignalSpy spy(&tree, &CTreeV::FilesDropped);
        const QRect rect = tree.visualItemRect(tree.topLevelItem(0));
        const QStringList offered =
            Drop(tree, {QUrl::fromLocalFile(file.fileName())}, rect.center(), cmd::DropEncryptMove);
        QCOMPARE(offered, (QStringList{QStringLiteral("32821"), QStringLiteral("32825"), QStringLiteral("32824")}));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toString(), m_dir.filePath(QStringLiteral("safe")));
        QCOMPARE(spy[0][2].toBool(), true);
        // Files dropped beside every item have no directory to go to.
        Drop(tree, {QUrl::fromLocalFile(file.fileName())}, QPoint(5, 290), cmd::DropEncryptCopy);
        QCOMPARE(spy.size(), 1);
    }

    // On a registered folder itself the pop-up offers no cut, copy or delete; below it, it does.
    void PopUpLeavesTheRegisteredFolderItself() {
        DropTree tree;
        tree.resize(300, 300);
        tree.AddFolder(m_dir.filePath(QStringLiteral("safe")), 3);
        tree.expandAll();
        QTreeWidgetItem* top = tree.topLevelItem(0);
        for (QTreeWidgetItem* item : {top, top->child(0)}) {
            QVERIFY(item);
            QHash<int, bool> enabled;
            tree.runMenu = [&enabled](QMenu& menu, const QPoint&) {
                for (QAction* action : menu.actions())
                    enabled.insert(action->data().toInt(), action->isEnabled());
                return 0;
            };
            const QPoint at = tree.visualItemRect(item).center();
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
            tree.contextMenuEvent(&event);
            for (const int id : {int(cmd::TreeCut), int(cmd::TreeCopy), int(cmd::TreeDelete)})
                QCOMPARE(enabled.value(id), item != top);
        }
    }

    // The pop-up acts on the item it was opened on, whichever item was selected before.
    void PopUpActsOnItsOwnItem() {
        DropTree tree;
        tree.resize(300, 300);
        tree.AddFolder(m_dir.filePath(QStringLiteral("safe")), 3);
        tree.AddFolder(m_dir.filePath(QStringLiteral("other")), 3);
        tree.setCurrentItem(tree.topLevelItem(0));
        QSignalSpy spy(&tree, &CTreeV::ContextCommand);
        tree.runMenu = [](QMenu&, const QPoint&) { return int(cmd::TreeRelease); };
        const QPoint at = tree.visualItemRect(tree.topLevelItem(1)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree.viewport()->mapToGlobal(at));
        tree.contextMenuEvent(&event);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toInt(), int(cmd::TreeRelease));
        QCOMPARE(spy[0][1].toString(), m_dir.filePath(QStringLiteral("other")));
    }
};

QTEST_MAIN(TestTreeV)
#include "TestTreeV.moc"
