#include "DialogChecks.h"
#include "FrameRig.h"
#include "folder/ContentsModel.h"
#include "folder/NameSearchModel.h"
#include "ui/CommandIds.h"
#include "ui/ListV.h"
#include "ui/NameSearchWindow.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace korimbo;

namespace {

// A started window on the default folder, shown, with a container at the folder's root and one in the
// subfolder "資料".
struct SearchRig : FrameRig {
    QString folder;
    QString report;
    QString guide;

    bool Up() {
        if (!Start())
            return false;
        folder = app.DefaultEncryptedFolder();
        if (!QDir().mkpath(folder + QStringLiteral("/資料")))
            return false;
        report = Container(folder, QStringLiteral("Report.txt"));
        guide = Container(folder + QStringLiteral("/資料"), QStringLiteral("ガイド.pdf"));
        frame->OnCommand(cmd::ViewDetails);
        frame->show();
        frame->activateWindow();
        frame->Tree()->SelectPath(folder);
        frame->OnCommand(cmd::Refresh);
        return !report.isEmpty() && !guide.isEmpty() && QTest::qWaitForWindowExposed(frame.get());
    }
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
        return directory + u'/' + disk;
    }
    // Ctrl+F in the tree; the search window it opened.
    CNameSearchWindow* OpenSearch() {
        frame->Tree()->setFocus();
        QTest::keyClick(frame->Tree(), Qt::Key_F, Qt::ControlModifier);
        return frame->SearchWindow();
    }
    QStringList SelectedPaths() const { return frame->List()->SelectedPaths(); }
};

// Types `text` into `widget` one character at a time, as an input method hands it over (QTest's own
// typing knows Latin-1 only).
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &release);
    }
}

// The names in the rows of the window.
QStringList ShownNames(const CNameSearchWindow* window) {
    QStringList names;
    for (int row = 0; row < window->Model()->rowCount(); ++row)
        names << window->Model()->index(row, CNameSearchModel::kName).data().toString();
    return names;
}

} // namespace

// The search by plain name in the running window: the command, the keys of its window, and the item
// chosen selected in the tree and the contents list.
class TestNameSearchWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // Ctrl+F opens the window with the focus in its box; typing shows the matches once typing pauses;
    // Enter selects the first in the tree and the list; Down and Enter choose a folder from the rows.
    void TypingShowsMatchesAndEnterSelects() {
        SearchRig rig;
        QVERIFY(rig.Up());
        CNameSearchWindow* window = rig.OpenSearch();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->Folder(), rig.folder);
        QTRY_VERIFY(window->QueryBox()->hasFocus());
        QVERIFY(rig.ui.Messages().isEmpty());

        Type(window->QueryBox(), QStringLiteral("ｶﾞｲ"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("ガイド.pdf")});
        QCOMPARE(window->CountText(), QStringLiteral("1 件"));
        QTest::keyClick(window->QueryBox(), Qt::Key_Return);
        QCOMPARE(CTreeV::PathOf(rig.frame->Tree()->currentItem()), rig.folder + QStringLiteral("/資料"));
        QCOMPARE(rig.frame->Contents()->Directory(), rig.folder + QStringLiteral("/資料"));
        QCOMPARE(rig.SelectedPaths(), QStringList{rig.guide});
        QVERIFY(window->isVisible()); // open for the next search
        QTRY_VERIFY(rig.frame->List()->hasFocus());

        // A folder is selected as a row of the folder that holds it.
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        window->QueryBox()->setFocus();
        window->QueryBox()->clear();
        Type(window->QueryBox(), QStringLiteral("しりょう"));
        QTRY_COMPARE(window->CountText(), QStringLiteral("見つかりませんでした。")); // kanji are not read as kana
        window->QueryBox()->clear();
        Type(window->QueryBox(), QStringLiteral("資料"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("資料")});
        QVERIFY(window->Model()->index(0, 0).data(CNameSearchModel::kFolderRole).toBool());
        QTest::keyClick(window->QueryBox(), Qt::Key_Down);
        QVERIFY(window->Results()->hasFocus());
        QTest::keyClick(window->Results(), Qt::Key_Return);
        QCOMPARE(CTreeV::PathOf(rig.frame->Tree()->currentItem()), rig.folder);
        QCOMPARE(rig.SelectedPaths(), QStringList{rig.folder + QStringLiteral("/資料")});

        // Typed and chosen at once: Enter does not wait for the pause.
        window->QueryBox()->clear();
        Type(window->QueryBox(), QStringLiteral("REPORT"));
        QTest::keyClick(window->QueryBox(), Qt::Key_Enter);
        QCOMPARE(rig.SelectedPaths(), QStringList{rig.report});

        // The button chooses the current row too; Escape closes the window.
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        window->QueryBox()->clear();
        Type(window->QueryBox(), QStringLiteral("がいど"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("ガイド.pdf")});
        window->findChild<QPushButton*>(QStringLiteral("searchChoose"))->click();
        QCOMPARE(rig.SelectedPaths(), QStringList{rig.guide});
        // And a double click on a row.
        window->QueryBox()->clear();
        Type(window->QueryBox(), QStringLiteral("report"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("Report.txt")});
        QTreeView* rows = window->Results();
        const QPoint atRow = rows->visualRect(window->Model()->index(0, 0)).center();
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, Qt::NoModifier, atRow);
        QVERIFY(rig.SelectedPaths() != QStringList{rig.report}); // a single click only makes the row current
        QTest::mouseDClick(rows->viewport(), Qt::LeftButton, Qt::NoModifier, atRow);
        QCOMPARE(rig.SelectedPaths(), QStringList{rig.report});
        window->activateWindow();
        QTRY_VERIFY(window->isActiveWindow());
        QTest::keyClick(window->QueryBox(), Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        QVERIFY(rig.ui.Messages().isEmpty());
    }

    // The logout of the folder takes its rows and its names away at once.
    void LogoutDropsTheResults() {
        SearchRig rig;
        QVERIFY(rig.Up());
        CNameSearchWindow* window = rig.OpenSearch();
        QVERIFY(window);
        Type(window->QueryBox(), QStringLiteral("report"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("Report.txt")});
        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(rig.folder), OpResult::kDone);
        QCOMPARE(window->Model()->rowCount(), 0);
        QVERIFY(window->Folder().isEmpty());
        QVERIFY(rig.frame->NameSearch()->Folders().isEmpty());
        Type(window->QueryBox(), QStringLiteral("r"));
        window->SearchNow();
        QCOMPARE(window->Model()->rowCount(), 0);
    }

    // "ログイン中のすべての暗号フォルダー" is reached by Tab and Space; with it the scope says so, the rows stay,
    // and a logout still takes the folder's rows away.
    void EveryFolderByKeyboard() {
        SearchRig rig;
        QVERIFY(rig.Up());
        CNameSearchWindow* window = rig.OpenSearch();
        QVERIFY(window);
        QTRY_VERIFY(window->QueryBox()->hasFocus());
        Type(window->QueryBox(), QStringLiteral("report"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("Report.txt")});
        QTest::keyClick(window->QueryBox(), Qt::Key_Tab);
        auto* every = window->findChild<QCheckBox*>(QStringLiteral("searchEveryFolder"));
        QVERIFY(every);
        QTRY_VERIFY(every->hasFocus());
        QTest::keyClick(every, Qt::Key_Space);
        QVERIFY(window->EveryFolder());
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("searchScope"))->text(),
                 QStringLiteral("検索する暗号フォルダー: ログイン中のすべて"));
        QCOMPARE(ShownNames(window), QStringList{QStringLiteral("Report.txt")});
        QVERIFY(rig.ui.Messages().isEmpty());
        QVERIFY(!rig.frame->IsBusy());

        // Ctrl+F again reads the names of every logged-in folder afresh.
        const int readsBefore = rig.frame->NameSearch()->DirectoriesWithoutNameFile(); // "資料" was never listed
        rig.frame->activateWindow();
        QTRY_VERIFY(rig.frame->isActiveWindow());
        QVERIFY(rig.OpenSearch() == window);
        QCOMPARE(rig.frame->NameSearch()->DirectoriesWithoutNameFile(), readsBefore + 1);
        QVERIFY(rig.frame->NameSearch()->Holds(rig.folder));
        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(rig.folder), OpResult::kDone);
        window->SearchNow();
        QVERIFY(ShownNames(window).isEmpty());
    }

    // An item gone since the search is reported, and nothing is selected.
    void ItemGoneSinceTheSearchIsReported() {
        SearchRig rig;
        QVERIFY(rig.Up());
        CNameSearchWindow* window = rig.OpenSearch();
        QVERIFY(window);
        Type(window->QueryBox(), QStringLiteral("ガイド"));
        QTRY_COMPARE(ShownNames(window), QStringList{QStringLiteral("ガイド.pdf")});
        QFile::setPermissions(rig.guide, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QFile::remove(rig.guide));
        QTest::keyClick(window->QueryBox(), Qt::Key_Return);
        const ScriptedInteraction::Record* gone = rig.ui.Find(msg::kSearchItemGone);
        QVERIFY(gone);
        QCOMPARE(gone->icon, Icon::Warning);
        QVERIFY(gone->text.endsWith(rig.folder + QStringLiteral("/資料/ガイド.pdf")));
        QVERIFY(rig.SelectedPaths().isEmpty());
    }

    // A stop while the names are read shows no window and says so.
    void StopWhileReadingShowsNoWindow() {
        SearchRig rig;
        QVERIFY(rig.Up());
        rig.ui.SetStop(true);
        QVERIFY(!rig.OpenSearch());
        rig.ui.SetStop(false);
        const ScriptedInteraction::Record* stopped = rig.ui.Find(msg::kSearchStopped);
        QVERIFY(stopped);
        QCOMPARE(stopped->icon, Icon::Information);
        QVERIFY(!rig.frame->IsBusy());
        QVERIFY(rig.OpenSearch());
    }
};

QTEST_MAIN(TestNameSearchWindow)
#include "TestNameSearchWindow.moc"
