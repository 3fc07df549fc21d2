#include "DialogChecks.h"
#include "EditorLeftovers.h"
#include "FrameRig.h"
#include "folder/NameSearchModel.h"
#include "ui/CommandIds.h"
#include "ui/ListV.h"
#include "ui/NameSearchWindow.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

using namespace korimbo;

// A shown window on the default folder, containers at its root and in "資料", the search Ctrl+F opened.
struct SearchRig : FrameRig {
    QString folder, report, guide;
    CNameSearchWindow* window = nullptr;

    bool Up() {
        if (!Start() || !QDir().mkpath(dir.filePath(QStringLiteral("plain"))))
            return false;
        folder = app.DefaultEncryptedFolder();
        QDir().mkpath(folder + QStringLiteral("/資料"));
        report = Container(folder, QStringLiteral("Report.txt"));
        guide = Container(folder + QStringLiteral("/資料"), QStringLiteral("ガイド.pdf"));
        frame->OnCommand(cmd::ViewDetails);
        frame->show();
        frame->Tree()->SelectPath(folder);
        frame->OnCommand(cmd::Refresh);
        if (report.isEmpty() || guide.isEmpty() || !QTest::qWaitForWindowExposed(frame.get()))
            return false;
        frame->Tree()->setFocus();
        QTest::keyClick(frame->Tree(), Qt::Key_F, Qt::ControlModifier);
        return (window = frame->SearchWindow());
    }
    QString Container(const QString& directory, const QString& name) {
        const QString plain = dir.filePath(QStringLiteral("plain/") + name);
        QString disk;
        CCryptEngine& engine = *app.State().engine;
        const bool made = leftovers::Write(plain, "contents") && engine.MakeContainerName(directory, disk) == 0 &&
                          engine.EncryptFile(plain, directory + u'/' + disk, folder) == 0;
        return made ? directory + u'/' + disk : QString();
    }
    // Types `text` afresh as an input method hands it over (QTest's own typing knows Latin-1 only).
    void Type(const QString& text) {
        window->QueryBox()->clear();
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(window->QueryBox(), &press);
        }
    }
    QStringList ShownNames() const {
        QStringList names;
        for (int row = 0; row < window->Model()->rowCount(); ++row)
            names << window->Model()->index(row, CNameSearchModel::kName).data().toString();
        return names;
    }
};

// The search by plain name in the running window: its keys, and the item chosen selected in tree and list.
class TestNameSearchWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // Ctrl+F opens the window with the focus in its box; the matches show once typing pauses; Enter, at
    // once or later, and a double click select the item, a folder as a row of the folder that holds it.
    // A logout takes the folder's rows away at once.
    void TypingShowsMatchesAndEnterSelects() {
        SearchRig rig;
        QVERIFY(rig.Up());
        QTRY_VERIFY(rig.window->QueryBox()->hasFocus());
        rig.Type(QStringLiteral("ｶﾞｲ"));
        QTRY_COMPARE(rig.ShownNames(), QStringList{QStringLiteral("ガイド.pdf")});
        QTest::keyClick(rig.window->QueryBox(), Qt::Key_Return);
        QCOMPARE(CTreeV::PathOf(rig.frame->Tree()->currentItem()), rig.folder + QStringLiteral("/資料"));
        QCOMPARE(rig.frame->List()->SelectedPaths(), QStringList{rig.guide});
        QVERIFY(rig.window->isVisible()); // open for the next search
        rig.Type(QStringLiteral("資料"));
        QTest::keyClick(rig.window->QueryBox(), Qt::Key_Enter);
        QCOMPARE(rig.frame->List()->SelectedPaths(), QStringList{rig.folder + QStringLiteral("/資料")});

        rig.Type(QStringLiteral("REPORT"));
        QTRY_COMPARE(rig.ShownNames(), QStringList{QStringLiteral("Report.txt")});
        const QPoint atRow = rig.window->Results()->visualRect(rig.window->Model()->index(0, 0)).center();
        QTest::mouseClick(rig.window->Results()->viewport(), Qt::LeftButton, Qt::NoModifier, atRow);
        QVERIFY(rig.frame->List()->SelectedPaths() != QStringList{rig.report}); // a single click only makes it current
        QTest::mouseDClick(rig.window->Results()->viewport(), Qt::LeftButton, Qt::NoModifier, atRow);
        QCOMPARE(rig.frame->List()->SelectedPaths(), QStringList{rig.report});
        rig.ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig.frame->LogoutFolder(rig.folder), OpResult::kDone);
        QVERIFY(rig.ShownNames().isEmpty());
        rig.window->SearchNow();
        QVERIFY(rig.ShownNames().isEmpty());
    }

    // An item gone since the search is reported, and nothing is selected.
    void ItemGoneSinceTheSearchIsReported() {
        SearchRig rig;
        QVERIFY(rig.Up());
        rig.Type(QStringLiteral("ガイド"));
        QTRY_COMPARE(rig.ShownNames(), QStringList{QStringLiteral("ガイド.pdf")});
        QVERIFY(QFile::remove(rig.guide));
        QTest::keyClick(rig.window->QueryBox(), Qt::Key_Return);
        const ScriptedInteraction::Record* gone = rig.ui.Find(msg::kSearchItemGone);
        QVERIFY(gone && gone->icon == Icon::Warning);
        QVERIFY(gone->text.endsWith(rig.folder + QStringLiteral("/資料/ガイド.pdf")));
        QVERIFY(rig.frame->List()->SelectedPaths().isEmpty());
    }
};

QTEST_MAIN(TestNameSearchWindow)
#include "TestNameSearchWindow.moc"
