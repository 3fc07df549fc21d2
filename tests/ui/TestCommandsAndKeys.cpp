#include "DialogChecks.h"
#include "FrameRig.h"
#include "folder/ContentsModel.h"
#include "ui/CommandTable.h"
#include "ui/D01TakeOut.h"
#include "ui/DialogHook.h"
#include "ui/DropMenus.h"
#include "ui/ListV.h"
#include "ui/ListV2.h"
#include "ui/TreeV.h"
#include "workspace/DecryptedFileModel.h"

#include <QApplication>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QSet>
#include <QShortcut>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using namespace korimbo;

namespace {

// The letter after the "&" of a menu text, upper case; null when there is none.
QChar Mnemonic(const QString& text) {
    const qsizetype at = text.indexOf(u'&');
    return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toUpper() : QChar();
}

// Every entry of `menu` has an accelerator of its own.
bool LettersUnique(const QMenu& menu) {
    QSet<QChar> letters;
    for (const QAction* action : menu.actions()) {
        const QChar letter = Mnemonic(action->text());
        if (action->isSeparator())
            continue;
        if (letter.isNull() || letters.contains(letter))
            return false;
        letters.insert(letter);
    }
    return true;
}

// A menu's entries as the user reads them: texts, "-" for separators, submenus with ">".
QStringList Entries(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text() + (action->menu() ? QStringLiteral(">") : QString()));
    return texts;
}

// Answers the next pop-up menu that opens: notes its entries, then types `key` into it (Escape closes it,
// a letter picks the entry with that accelerator).
class PopupAnswer {
public:
    explicit PopupAnswer(int key, const QString& text = QString()) {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this, key, text] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible())
                return;
            m_timer.stop();
            entries = Entries(*menu);
            if (key != 0)
                QTest::keyClick(menu, Qt::Key(key), Qt::NoModifier);
            if (!text.isEmpty())
                QTest::keyClicks(menu, text);
        });
        m_timer.start();
    }
    QStringList entries;

private:
    QTimer m_timer;
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The folder's rows: memo.txt encrypted, plain.txt as it is, a folder "sub".
bool ThreeRows(FrameRig& rig) {
    const QString folder = rig.app.DefaultEncryptedFolder();
    const QString source = rig.dir.filePath(QStringLiteral("outside/memo.txt"));
    if (!WriteFile(source, "memo words") || !WriteFile(folder + QStringLiteral("/plain.txt"), "plain") ||
        !QDir().mkpath(folder + QStringLiteral("/sub")))
        return false;
    if (rig.frame->EncryptIn(folder, {source}, false) != OpResult::kDone)
        return false;
    rig.frame->OnCommand(cmd::Refresh);
    return rig.frame->Contents()->rowCount() == 3;
}

int RowWhere(const CContentsModel& model, const std::function<bool(const ContentsItem&)>& test) {
    for (int row = 0; row < model.rowCount(); ++row)
        if (test(model.Item(row)))
            return row;
    return -1;
}

const QStringList kEncryptedFilePopup = {
    QStringLiteral("開く(&O)"), QStringLiteral("プログラムから開く(&W)>"), QStringLiteral("-"),
    QStringLiteral("取り出す(&G)..."), QStringLiteral("暗号化したまま取り出す(&S)..."),
    QStringLiteral("暗号化パスワードを変更して取り出す(&U)..."), QStringLiteral("-"),
    QStringLiteral("メールに添付(&H)..."), QStringLiteral("暗号化パスワードを変更してメールに添付(&V)..."),
    QStringLiteral("-"), QStringLiteral("切り取り （inside） (&T)"), QStringLiteral("コピー （inside） (&C)"),
    QStringLiteral("-"), QStringLiteral("削除(&D)"), QStringLiteral("名前の変更(&M)"), QStringLiteral("-"),
    QStringLiteral("プロパティ(&R)")};

} // namespace

// The command table as the window uses it, and the keyboard: the pop-ups of the Menu key and Shift+F10 in
// every pane and in the take-out window, Tab and F6 among the panes.
class TestCommandsAndKeys : public QObject {
    Q_OBJECT

private:
    // Every entry of `menu` and of its submenus runs through the table and has its own accelerator.
    static void CheckPopup(const QMenu& menu, const CCommandTable* table, QSet<int>& placed) {
        QSet<QChar> letters;
        for (const QAction* action : menu.actions()) {
            if (action->isSeparator())
                continue;
            const QChar letter = Mnemonic(action->text());
            QVERIFY2(!letter.isNull(), qPrintable(action->text()));
            QVERIFY2(!letters.contains(letter), qPrintable(action->text()));
            letters.insert(letter);
            if (action->menu()) {
                CheckPopup(*action->menu(), table, placed);
                continue;
            }
            const int id = action->data().toInt();
            placed.insert(CCommandTable::Row(id) ? CCommandTable::Row(id)->id : id);
            QVERIFY2(CCommandTable::Row(id), qPrintable(action->text()));
            if (table)
                QVERIFY2(table->HasHandler(id) && table->HasRule(id), qPrintable(action->text()));
        }
    }

    static void CollectMenu(const QMenu& menu, QSet<int>& placed) {
        QVERIFY2(LettersUnique(menu), qPrintable(menu.title()));
        for (const QAction* action : menu.actions()) {
            if (action->menu())
                CollectMenu(*action->menu(), placed);
            else if (!action->isSeparator() && CCommandTable::Row(action->data().toInt()))
                placed.insert(CCommandTable::Row(action->data().toInt())->id);
            else if (!action->isSeparator())
                QFAIL(qPrintable(action->text()));
        }
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // Every row is bound, placed in a menu, on the toolbar, on a key or in a pop-up, or marked as offered
    // nowhere; what is placed runs through the table; pop-up accelerators are there and unique.
    void EveryCommandIsPlacedOrMarkedAndBound() {
        FrameRig rig;
        rig.associations.newFileTypes = {QStringLiteral(".txt")};
        rig.associations.programs = {{QStringLiteral("/usr/bin/editor-a")}, {QStringLiteral("Editor A")}, {QString()}};
        QVERIFY(rig.Start());
        QVERIFY(ThreeRows(rig));
        const CCommandTable& table = rig.frame->Commands();
        QCOMPARE(table.Unbound(), QList<int>());

        QSet<int> placed;
        for (QMenu* menu : rig.frame->TopMenus())
            CollectMenu(*menu, placed);
        const auto* bar = rig.frame->findChild<QToolBar*>(QStringLiteral("toolbar"));
        QVERIFY(bar);
        for (const QAction* action : bar->actions())
            if (!action->isSeparator())
                placed.insert(action->data().toInt());
        QSet<QKeySequence> keys;
        for (const QShortcut* shortcut : rig.frame->Tree()->findChildren<QShortcut*>())
            keys.insert(shortcut->key());
        for (const AcceleratorRow& accelerator : CCommandTable::Accelerators()) {
            QVERIFY2(keys.contains(accelerator.keys), qPrintable(accelerator.keys.toString()));
            placed.insert(accelerator.id);
        }

        // The contents list's pop-ups: an encrypted file, a plain file, a folder, the empty area.
        CListV* list = rig.frame->List();
        const CContentsModel& model = *rig.frame->Contents();
        const int rows[] = {RowWhere(model, [](const ContentsItem& i) { return !i.IsFolder() && !i.IsPlainFile(); }),
                            RowWhere(model, [](const ContentsItem& i) { return i.IsPlainFile(); }),
                            RowWhere(model, [](const ContentsItem& i) { return i.IsFolder(); }), -1};
        int popups = 0;
        list->runMenu = [&](QMenu& menu, const QPoint&) {
            ++popups;
            CheckPopup(menu, &table, placed);
            return 0;
        };
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        for (int row : rows) {
            if (row >= 0)
                list->SelectRow(row);
            else
                list->Icons()->selectionModel()->clear();
            QTest::keyClick(list->Icons(), Qt::Key_Menu);
        }
        QCOMPARE(popups, 4);
        rig.frame->Tree()->runMenu = [&](QMenu& menu, const QPoint&) {
            CheckPopup(menu, &table, placed);
            return 0;
        };
        QTest::keyClick(rig.frame->Tree(), Qt::Key_Menu);
        for (int id : {cmd::WriteBackSelected, cmd::GoToContainer, cmd::WriteBackAllFromList})
            placed.insert(id); // the decrypted-file list's, checked in DecryptedListPopupByKey

        for (const CommandRow& row : CCommandTable::Rows()) {
            if (row.owner != CommandOwner::kMainWindow)
                continue;
            const bool isPlaced = placed.contains(row.id);
            QVERIFY2(isPlaced != (row.placement == Placement::kNotInMenus), qPrintable(QString::number(row.id)));
        }
    }

    // The drop menus' entries, Cancel too, have their accelerators.
    void DropMenusHaveAccelerators() {
        QMenu encrypt;
        AddEncryptDropEntries(encrypt);
        QVERIFY(LettersUnique(encrypt));
        QMenu inside;
        AddInsideDropEntries(inside);
        QVERIFY(LettersUnique(inside));
        QCOMPARE(inside.actions().last()->text(), QStringLiteral("キャンセル(&N)"));
    }

    // Programs and file types from the user's data are numbered, past the letters of the fixed entries.
    void NumberedEntries() {
        QCOMPARE(CCommandTable::NumberedText(0, QStringLiteral("A&B"), QStringLiteral("P")), QStringLiteral("&1 A&&B"));
        QCOMPARE(CCommandTable::NumberedText(9, QStringLiteral("x"), QStringLiteral("AF")), QStringLiteral("&B x"));
        QCOMPARE(CCommandTable::NumberedText(14, QStringLiteral("x"), QStringLiteral("AF")), QStringLiteral("&H x"));
        QCOMPARE(CCommandTable::NumberedText(33, QStringLiteral("x"), QStringLiteral("FS")), QStringLiteral("x"));
    }

    // What a pop-up offers, and what it greys, is the table's rule over the pop-up's facts.
    void PopupRulesDecideTheEntries_data() {
        using Pane = PopupContext::Pane;
        QTest::addColumn<int>("pane");
        QTest::addColumn<QList<int>>("counts"); // selected, plain files, folders
        QTest::addColumn<bool>("flag");          // the tree's registered folder, the take-out drag only
        QTest::addColumn<QList<int>>("enabled");
        QTest::addColumn<QList<int>>("greyed");
        QTest::addColumn<QList<int>>("absent");
        QTest::newRow("files") << int(Pane::kContentsItems) << QList<int>{2, 0, 0} << false
                               << QList<int>{cmd::PopupOpen, cmd::AttachToMail, cmd::Properties} << QList<int>{}
                               << QList<int>{cmd::EncryptPlain};
        QTest::newRow("with a folder") << int(Pane::kContentsItems) << QList<int>{2, 0, 1} << false
                                       << QList<int>{cmd::TakeOut, cmd::Delete}
                                       << QList<int>{cmd::AttachToMail, cmd::AttachWithNewPassword}
                                       << QList<int>{cmd::PopupOpen};
        QTest::newRow("plain files") << int(Pane::kContentsItems) << QList<int>{1, 1, 0} << false
                                     << QList<int>{cmd::EncryptPlain, cmd::TakeOutAsTheyAre} << QList<int>{}
                                     << QList<int>{cmd::TakeOut, cmd::Delete};
        QTest::newRow("mixed") << int(Pane::kContentsItems) << QList<int>{2, 1, 0} << false
                               << QList<int>{cmd::Properties} << QList<int>{}
                               << QList<int>{cmd::TakeOut, cmd::EncryptPlain};
        QTest::newRow("registered folder") << int(Pane::kTree) << QList<int>{0, 0, 0} << true
                                           << QList<int>{cmd::TreeRelease, cmd::TreePaste}
                                           << QList<int>{cmd::TreeCut, cmd::TreeCopy, cmd::TreeDelete, cmd::Backup}
                                           << QList<int>{};
        QTest::newRow("below it") << int(Pane::kTree) << QList<int>{0, 0, 0} << false
                                  << QList<int>{cmd::TreeCut, cmd::TreeDelete} << QList<int>{cmd::TreeRelease}
                                  << QList<int>{};
        QTest::newRow("two copies") << int(Pane::kDecryptedRows) << QList<int>{2, 0, 0} << false
                                    << QList<int>{cmd::WriteBackSelected} << QList<int>{cmd::GoToContainer}
                                    << QList<int>{cmd::WriteBackAllFromList};
        QTest::newRow("one copy") << int(Pane::kDecryptedRows) << QList<int>{1, 0, 0} << false
                                  << QList<int>{cmd::GoToContainer} << QList<int>{} << QList<int>{};
        QTest::newRow("drag only") << int(Pane::kTakeOut) << QList<int>{0, 0, 0} << true << QList<int>{}
                                   << QList<int>{cmd::TakeOutCopyTo, cmd::TakeOutMoveTo} << QList<int>{};
    }
    void PopupRulesDecideTheEntries() {
        QFETCH(int, pane);
        QFETCH(QList<int>, counts);
        QFETCH(bool, flag);
        QFETCH(QList<int>, enabled);
        QFETCH(QList<int>, greyed);
        QFETCH(QList<int>, absent);
        PopupContext context;
        context.pane = PopupContext::Pane(pane);
        context.selected = counts[0];
        context.plainFiles = counts[1];
        context.folders = counts[2];
        context.topFolder = flag;
        context.dragOnly = flag;
        QMenu menu;
        CCommandTable::FillPopup(menu, context);
        QHash<int, bool> entries;
        for (const QAction* action : menu.actions())
            if (!action->isSeparator())
                entries.insert(action->data().toInt(), action->isEnabled());
        for (int id : enabled)
            QVERIFY2(entries.value(id, false), qPrintable(QString::number(id)));
        for (int id : greyed)
            QVERIFY2(entries.contains(id) && !entries.value(id), qPrintable(QString::number(id)));
        for (int id : absent)
            QVERIFY2(!entries.contains(id), qPrintable(QString::number(id)));
        QVERIFY(LettersUnique(menu));
    }

    // The Menu key opens the current row's pop-up in the icon view; Escape closes it and nothing runs.
    void MenuKeyOpensThePopupOfTheCurrentIcon() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QVERIFY(ThreeRows(rig));
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        CListV* list = rig.frame->List();
        QCOMPARE(list->ViewStyle(), 0);
        const int memo = RowWhere(*rig.frame->Contents(),
                                  [](const ContentsItem& i) { return !i.IsFolder() && !i.IsPlainFile(); });
        // The current row, not selected yet: the pop-up selects it and is about it.
        list->Icons()->setFocus();
        list->Icons()->selectionModel()->setCurrentIndex(list->Icons()->model()->index(memo, 0),
                                                         QItemSelectionModel::NoUpdate);
        QCOMPARE(list->SelectedCount(), 0);
        PopupAnswer escape(Qt::Key_Escape);
        QTest::keyClick(list->Icons(), Qt::Key_Menu);
        QCOMPARE(escape.entries, kEncryptedFilePopup);
        QCOMPARE(list->SelectedRows(), QList<int>{memo});
    }

    // Shift+F10 in the details view, then the accelerator G: the take-out window opens for the row.
    void ShiftF10AndAcceleratorTakeOutInDetails() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QVERIFY(ThreeRows(rig));
        rig.frame->OnCommand(cmd::ViewDetails);
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        CListV* list = rig.frame->List();
        const int memo = RowWhere(*rig.frame->Contents(),
                                  [](const ContentsItem& i) { return !i.IsFolder() && !i.IsPlainFile(); });
        list->SelectRow(memo);
        QStringList staged;
        DialogHook::Queue([&](QDialog& dialog) {
            if (auto* window = qobject_cast<CD01TakeOut*>(&dialog))
                staged = window->DragPaths();
            return int(QDialog::Rejected);
        });
        PopupAnswer pick(0, QStringLiteral("g"));
        QTest::keyClick(list->Details(), Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(pick.entries, kEncryptedFilePopup);
        QCOMPARE(staged.size(), 1);
        QCOMPARE(QFileInfo(staged.first()).fileName(), QStringLiteral("memo.txt"));
    }

    // The tree's pop-up by key is its current item's: a registered folder can be released, not cut.
    void TreePopupByKeyIsTheCurrentItems() {
        FrameRig rig;
        QVERIFY(rig.Start());
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        CTreeV* tree = rig.frame->Tree();
        tree->setCurrentItem(tree->topLevelItem(0));
        tree->setFocus();
        QStringList enabled;
        tree->runMenu = [&](QMenu& menu, const QPoint&) {
            for (QAction* action : menu.actions())
                if (!action->isSeparator() && action->isEnabled())
                    enabled << action->text();
            return 0;
        };
        QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(enabled, (QStringList{QStringLiteral("この暗号フォルダーを解除(&K)"), QStringLiteral("貼り付け(&P)"),
                                       QStringLiteral("プロパティ(&R)"), QStringLiteral("バックアップ(&B)...")}));
        tree->runMenu = nullptr;
        PopupAnswer escape(Qt::Key_Escape);
        QTest::keyClick(tree, Qt::Key_Menu);
        QCOMPARE(escape.entries,
                 (QStringList{QStringLiteral("この暗号フォルダーを解除(&K)"), QStringLiteral("-"),
                              QStringLiteral("切り取り （inside） (&T)"), QStringLiteral("コピー （inside） (&C)"),
                              QStringLiteral("貼り付け(&P)"), QStringLiteral("-"), QStringLiteral("削除(&D)"),
                              QStringLiteral("プロパティ(&R)"), QStringLiteral("-"), QStringLiteral("バックアップ(&B)...")}));
    }

    // The decrypted-file list's pop-up by key; M goes to the copy's container in the contents list.
    void DecryptedListPopupByKey() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QVERIFY(ThreeRows(rig));
        const int memo = RowWhere(*rig.frame->Contents(),
                                  [](const ContentsItem& i) { return !i.IsFolder() && !i.IsPlainFile(); });
        rig.frame->List()->SelectRow(memo);
        DialogHook::Queue([](QDialog&) { return int(QDialog::Accepted); }); // the open notice
        rig.processes.running.insert(rig.launcher.pid);
        QCOMPARE(rig.frame->OpenSelected(), OpResult::kDone);
        QTRY_COMPARE(rig.frame->DecryptedFiles()->rowCount(), 1);
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        CListV2* list2 = rig.frame->List2();
        list2->setFocus();
        list2->selectionModel()->setCurrentIndex(list2->model()->index(0, 0), QItemSelectionModel::NoUpdate);
        rig.frame->List()->Icons()->clearSelection();
        QSet<int> placed;
        PopupAnswer pick(0, QStringLiteral("m"));
        QTest::keyClick(list2, Qt::Key_Menu);
        QCOMPARE(pick.entries, (QStringList{QStringLiteral("選択した復号中のファイルを暗号化する(&S)"),
                                            QStringLiteral("このファイルの場所に移動する(&M)")}));
        QCOMPARE(rig.frame->List()->SelectedRows(), QList<int>{memo});
        // Beside the rows: the write-back of all, by its table row.
        list2->runMenu = [&](QMenu& menu, const QPoint&) {
            CheckPopup(menu, &rig.frame->Commands(), placed);
            return 0;
        };
        list2->selectionModel()->clear();
        list2->setCurrentIndex(QModelIndex());
        QTest::keyClick(list2, Qt::Key_Menu);
        QCOMPARE(placed, QSet<int>{cmd::WriteBackAllFromList});
    }

    // The take-out window's icons: Shift+F10 offers copy and move; C asks for the folder to copy to.
    void TakeOutWindowPopupByKey() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QTemporaryDir staged;
        const QString file = staged.filePath(QStringLiteral("a.txt"));
        QVERIFY(WriteFile(file, "a"));
        TakeOutWindowRequest request;
        request.kind = TakeOutKind::kDecrypted;
        request.title = QStringLiteral("取り出し");
        request.items.append({file, file, false, QString()});
        CD01TakeOut window(request, *rig.frame->TakeOut());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.Icons()->setFocus();
        window.Icons()->setCurrentRow(0);
        QString asked;
        DialogHook::Queue([&](QDialog& dialog) {
            asked = dialog.objectName();
            return int(QDialog::Rejected);
        });
        PopupAnswer pick(0, QStringLiteral("c"));
        QTest::keyClick(window.Icons(), Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(pick.entries, (QStringList{QStringLiteral("場所を指定してコピーする(&C)..."),
                                            QStringLiteral("場所を指定して移動する(&M)...")}));
        QCOMPARE(asked, QStringLiteral("項目のコピー"));
        QVERIFY(!window.Icons()->accessibleName().isEmpty());

        // Drag only: the entries are there, greyed.
        request.dragOnly = true;
        CD01TakeOut mail(request, *rig.frame->TakeOut());
        mail.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mail));
        mail.Icons()->setFocus();
        PopupAnswer escape(Qt::Key_Escape);
        QTest::keyClick(mail.Icons(), Qt::Key_Menu);
        QCOMPARE(escape.entries.size(), 2);
    }

    // Tab goes tree, contents list, decrypted-file list; F6 cycles the same way from anywhere and skips
    // a pane that cannot take the focus; Shift+F6 goes back.
    void TabAndF6MoveAmongThePanes() {
        FrameRig rig;
        QVERIFY(rig.Start());
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.frame.get()));
        CTreeV* tree = rig.frame->Tree();
        CListV* list = rig.frame->List();
        QWidget* icons = list->Icons();
        CListV2* list2 = rig.frame->List2();
        tree->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), tree);
        QTest::keyClick(tree, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), icons);
        QTest::keyClick(icons, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), list2);
        QTest::keyClick(list2, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), tree);
        QTest::keyClick(tree, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), list2);
        QTest::keyClick(list2, Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), tree);
        QTest::keyClick(tree, Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), list2);
        // The details view on show instead of the icons; the decrypted-file list cannot take the focus.
        rig.frame->OnCommand(cmd::ViewDetails);
        list2->setEnabled(false);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), list->Details());
        QTest::keyClick(list->Details(), Qt::Key_F6);
        QCOMPARE(QApplication::focusWidget(), tree);
        QVERIFY(!tree->accessibleName().isEmpty());
        QVERIFY(!rig.frame->ToolButton(cmd::Login)->accessibleName().isEmpty());
    }
};

QTEST_MAIN(TestCommandsAndKeys)
#include "TestCommandsAndKeys.moc"
