#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "folder/FolderBackup.h"
#include "folder/NameSearchModel.h"
#include "ui/CommandIds.h"
#include "ui/CommandTable.h"
#include "ui/D16HintDisp.h"
#include "ui/ListV.h"
#include "ui/NameSearchWindow.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "workspace/LoginManager.h"

#include <QAction>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTreeView>
#include <QTest>
#include <QUrl>

using namespace korimbo;

static bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size();
}

// Drops `paths` on `target` as a file manager does.
static void DropFiles(QWidget* target, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

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
        const bool made = WriteFile(plain, "contents") && engine.MakeContainerName(directory, disk) == 0 &&
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

// The tools of the window (hint window, plain-file check, registration chooser, backup, search by name) through their real widgets.
class TestToolCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // Files dropped on the hint window's frame show their stored hints, and Enter closes it; plain files
    // anywhere in the shown folder are reported by name; the folder typed into the chooser is registered.
    void ToolsThroughTheirWidgets() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("outside/memo.txt"));
        const QString plain = rig.dir.filePath(QStringLiteral("outside/plain.txt"));
        QVERIFY(WriteFile(source, "memo") && WriteFile(plain, "plain"));
        QCOMPARE(rig.frame->EncryptIn(folder, {source}, false), OpResult::kDone);
        const QString container = rig.frame->Contents()->Item(0).FullPath();
        QString shown;
        auto answer = std::make_unique<RealAnswer>([&](QWidget* window) {
            if (auto* hints = qobject_cast<CD16HintDisp*>(window)) {
                DropFiles(hints->DropFrame(), {container, plain});
                shown = hints->TextArea()->toPlainText();
                QTest::keyClick(hints, Qt::Key_Return);
            }
        });
        rig.frame->OnCommand(cmd::HintWindow);
        QVERIFY(answer->Answered() && !answer->TimedOut());
        QCOMPARE(shown, QFileInfo(container).fileName() + QStringLiteral("：\u3000花\nplain.txt：\u3000") +
                            rig.app.State().catalogue->MsgA(msg::kHintNotContainer));

        QVERIFY(WriteFile(folder + QStringLiteral("/sub/plain.txt"), "plain"));
        rig.frame->OnCommand(cmd::Refresh);
        rig.ui.QueueAnswer(kAnswerYes);
        rig.frame->OnCommand(cmd::PlainFileCheck);
        const auto* report = rig.ui.Find(msg::kPlainCheckDone);
        QVERIFY(report && report->text.contains(QStringLiteral("\nsub/plain.txt")));
        QCOMPARE(report->icon, Icon::Warning);

        const QString second = rig.dir.filePath(QStringLiteral("second"));
        QVERIFY(QDir().mkpath(second));
        rig.prompts.newPasswords.push_back(
            {PasswordPrompts::Answer::kOk, QStringLiteral("Second#Pw3"), QStringLiteral("二")});
        answer = std::make_unique<RealAnswer>([second](QWidget* window) {
            if (auto* name = window->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                name->setText(second);
                QTest::keyClick(name, Qt::Key_Return);
            }
        });
        rig.frame->OnCommand(cmd::RegisterFolder);
        QVERIFY(answer->Answered() && !answer->TimedOut());
        QVERIFY(rig.app.State().registry->SlotOf(second) >= 0);
    }

    // The path is typed into the chooser, Return; while the backup of the current folder copies, the window
    // is busy with the stop button live; the copy is made and reported.
    void BackupThroughTheChooser() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("memo.txt"));
        QVERIFY(WriteFile(source, "memo words"));
        QCOMPARE(rig.frame->EncryptIn(folder, {source}, false), OpResult::kDone);
        const QFileInfo container(rig.frame->Contents()->Item(0).FullPath());
        rig.frame->Tree()->setCurrentItem(rig.frame->Tree()->FindTop(folder));
        rig.frame->UpdateCommandStates();
        QVERIFY(rig.frame->Login()->IsLoggedIn(folder));
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        QTemporaryDir destination;
        bool activated = false;
        RealAnswer type([&](QWidget* chooser) {
            auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(destination.path());
            // The chooser is the active window with the focus in its name field, as it opens for a person.
            QApplication::setActiveWindow(chooser);
            activated = QTest::qWaitForWindowActive(chooser);
            name->setFocus();
            QTest::keyClick(name, Qt::Key_Return);
        });
        bool stoppable = false;
        rig.ui.OnPump([&](int) {
            rig.frame->UpdateCommandStates();
            stoppable = stoppable || (rig.frame->IsBusy() && rig.frame->Action(cmd::Stop)->isEnabled());
        });
        rig.frame->OnCommand(cmd::Backup);
        rig.ui.OnPump({});
        QVERIFY(type.Answered());
        QVERIFY(!type.TimedOut());
        QVERIFY(activated);
        QVERIFY(stoppable);
        QCOMPARE(rig.ui.Numbers(), QList<int>{msg::kBackupFinished});
        QVERIFY(QFileInfo(CFolderBackup::TargetOf(folder, destination.path()) + u'/' + container.fileName()).isFile());
        QVERIFY(!rig.frame->IsBusy());
    }

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

QTEST_MAIN(TestToolCommands)
#include "TestToolCommands.moc"
