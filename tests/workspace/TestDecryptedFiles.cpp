#include "CopiesRig.h"
#include "EditorLeftovers.h"
#include "state/WorkAreas.h"
#include "util/MessageNumbers.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/EditingAreaWatcher.h"
#include "workspace/LoginManager.h"
#include "workspace/WorkspaceCommands.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace korimbo;
using namespace korimbo::leftovers;

namespace {

// A logged-in folder with its work areas, working copies, the list model and the commands.
struct Rig : CopiesRig {
    using CopiesRig::CopiesRig;
    std::unique_ptr<CLoginManager> login;
    std::unique_ptr<CWorkspaceCommands> commands;
    QList<ReturnDialogRequest> dialogs;
    bool acceptDialog = false;

    bool StartIn(const QString& root) {
        associations.program.clear(); // these tests never launch
        if (!CopiesRig::StartIn(root))
            return false;
        AppState& s = app.State();
        login =
            std::make_unique<CLoginManager>(*s.engine, *s.registry, *s.workFolder, s.settings, fs, ui, *s.catalogue);
        MakeCommands();
        return QDir().mkpath(Area());
    }
    void MakeCommands() {
        AppState& s = app.State();
        commands = std::make_unique<CWorkspaceCommands>(*copies, *login, *s.registry, s.settings, fs, ui,
                                                        *s.catalogue);
        commands->returnDialog = [this](const ReturnDialogRequest& request) {
            dialogs.append(request);
            return ReturnDialogResult{acceptDialog, true};
        };
        commands->AttachTo(*login);
    }
    // The commands ask the real process table, as the program does, about editors' lock and swap files.
    LocalProcessProbe realProbe;
    void UseRealProbe() {
        probeInUse = &realProbe;
        MakeCopies();
        MakeCommands();
    }
    QString Area() { return WorkAreas::AreaOf(app.State().workFolder->angoTempFolder, kWorkId, WorkAreas::kEditing); }
    // A working copy of a new container, as Open leaves it: same time as the container, which is writable.
    QString Opened(const QString& plainName, const QByteArray& contents, QString* container = nullptr) {
        const QString made = Encrypt(folder, plainName, contents);
        QString copy;
        if (made.isEmpty() || copies->OpenOne(made, false, QString(), WorkAreas::kEditing, &copy) != OpResult::kDone)
            return QString();
        if (container)
            *container = made;
        return copy;
    }
    std::unique_ptr<CDecryptedFileModel> Model() {
        AppState& s = app.State();
        auto model = std::make_unique<CDecryptedFileModel>(*s.registry, *s.workFolder, s.settings);
        model->containerOf = [this](const QString& copy) {
            QString proposed;
            return copies->ContainerOf(copy, proposed, true);
        };
        model->isChanged = [this](const QString& copy, const QString& container) {
            return copies->IsChanged(copy, container);
        };
        return model;
    }
};

} // namespace

class TestDecryptedFiles : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<Rig> Started() {
        auto rig = std::make_unique<Rig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->StartIn(m_folders.NewFolder(QStringLiteral("enc"))) ? std::move(rig) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Copies left by an earlier run: listed from the disk with their containers and states.
    void LeftCopiesAreListedWithTheirState() {
        auto rig = Started();
        QVERIFY(rig);
        QString sameContainer;
        const QString same = rig->Opened(QStringLiteral("same.txt"), "unchanged", &sameContainer);
        const QString edited = rig->Opened(QStringLiteral("edited.txt"), "before");
        QVERIFY(!same.isEmpty() && !edited.isEmpty());
        QVERIFY(Rig::WriteRaw(edited, "after the edit"));
        QVERIFY(FolderRig::Touch(edited, 30));
        const QString created = rig->Area() + QStringLiteral("/sub/new.txt");
        QVERIFY(Rig::WriteRaw(created, "made in the editing area"));
        QVERIFY(Rig::WriteRaw(rig->Area() + QStringLiteral("/.~lock.same.txt#"), "an editor's lock"));

        // A new model, as after a restart.
        auto model = rig->Model();
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->SetDirectory(rig->folder), true);
        QCOMPARE(model->Directory(), rig->Area());
        QCOMPARE(model->Rebuild(), true);
        QCOMPARE(model->rowCount(), 3);

        const int sameRow = model->RowOf(same);
        const int editedRow = model->RowOf(edited);
        const int createdRow = model->RowOf(created);
        QVERIFY(sameRow >= 0 && editedRow >= 0 && createdRow >= 0);
        const auto text = [&](int row, int column) { return model->data(model->index(row, column)).toString(); };
        QCOMPARE(text(sameRow, CDecryptedFileModel::kState), QStringLiteral("0"));
        QCOMPARE(text(sameRow, CDecryptedFileModel::kContainer), sameContainer);
        QCOMPARE(text(editedRow, CDecryptedFileModel::kState), QStringLiteral("1"));
        QCOMPARE(text(createdRow, CDecryptedFileModel::kState), QStringLiteral("1"));
        QCOMPARE(text(createdRow, CDecryptedFileModel::kContainer), QString());
        QCOMPARE(model->data(model->index(sameRow, 0), CDecryptedFileModel::kChangedRole).toBool(), false);
        QCOMPARE(model->data(model->index(editedRow, 0), CDecryptedFileModel::kChangedRole).toBool(), true);
        QVERIFY(
            model->data(model->index(createdRow, 0), Qt::ToolTipRole).toString().contains(QStringLiteral("new.txt")));
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("復号中ファイル"));

        // TitleMode 0 hides the extension; any other value shows it.
        QCOMPARE(text(sameRow, CDecryptedFileModel::kDisplayName), QStringLiteral("same"));
        rig->app.State().settings.titleMode = 1;
        QCOMPARE(model->Rebuild(), true);
        QCOMPARE(text(sameRow, CDecryptedFileModel::kDisplayName), QStringLiteral("same.txt"));
        QCOMPARE(text(sameRow, CDecryptedFileModel::kFileName), QStringLiteral("same.txt"));

        // A folder without an editing area empties the list.
        QVERIFY(QDir(rig->Area()).removeRecursively());
        QCOMPARE(model->SetDirectory(rig->folder), false);
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->Directory(), QString());
    }

    // Mark and sweep: vanished rows go, the others keep their identity and get their data again.
    void RebuildKeepsRowsAndRemovesVanishedOnes() {
        auto rig = Started();
        QVERIFY(rig);
        const QString area = rig->Area();
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d/e.txt"})
            QVERIFY(Rig::WriteRaw(area + u'/' + QLatin1String(name), name));
        AppState& s = rig->app.State();
        CDecryptedFileModel model(*s.registry, *s.workFolder, s.settings);
        QString containerOfC;
        model.containerOf = [&](const QString& copy) {
            return copy.endsWith(QStringLiteral("c.txt")) ? containerOfC : QString();
        };
        model.isChanged = [](const QString&, const QString&) { return false; };
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.SetDirectory(rig->folder), true);
        QCOMPARE(model.Rebuild(), true);
        QCOMPARE(model.rowCount(), 4);

        const QPersistentModelIndex c = model.index(model.RowOf(area + QStringLiteral("/c.txt")), 0);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(QFile::remove(area + QStringLiteral("/a.txt")));
        QVERIFY(QFile::remove(area + QStringLiteral("/b.txt")));
        QVERIFY(Rig::WriteRaw(area + QStringLiteral("/f.txt"), "f"));
        containerOfC = rig->folder + QStringLiteral("/c.zorf");
        QCOMPARE(model.Rebuild(), true);

        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(reset.count(), 0);
        QVERIFY(c.isValid());
        QCOMPARE(c.row(), 0);
        QCOMPARE(model.Item(c.row()).container, containerOfC);
        // Only the row whose data moved is announced; a copy with a container that did not change is "0".
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.Item(c.row()).changed, false);
        QCOMPARE(model.FullPaths({0, 1, 2}),
                 QStringList({area + QStringLiteral("/c.txt"), area + QStringLiteral("/d/e.txt"),
                              area + QStringLiteral("/f.txt")}));
        // Without a container a copy counts as changed whatever the hook says.
        QCOMPARE(model.Item(2).changed, true);

        // Another folder: its area replaces the rows at once, before any rebuild.
        const QString other = m_folders.NewFolder(QStringLiteral("other"));
        QCOMPARE(rig->Add(other, FolderRig::kPassword, QStringLiteral("0"), QStringLiteral("W2")), 0);
        QVERIFY(
            QDir().mkpath(WorkAreas::AreaOf(s.workFolder->angoTempFolder, QStringLiteral("W2"), WorkAreas::kEditing)));
        QCOMPARE(model.SetDirectory(other), true);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.SetDirectory(rig->folder), true);
        QCOMPARE(model.Rebuild(), true);
        QCOMPARE(model.rowCount(), 3);

        // The area removed with its contents: the rows go too.
        QVERIFY(QDir(area).removeRecursively());
        QCOMPARE(model.Rebuild(), true);
        QCOMPARE(model.rowCount(), 0);
    }

    // The watcher covers directories made after it started, and waits while the window is busy.
    void WatcherFollowsNewDirectoriesAndWaitsWhileBusy() {
        auto rig = Started();
        QVERIFY(rig);
        AppState& s = rig->app.State();
        CDecryptedFileModel model(*s.registry, *s.workFolder, s.settings);
        EditingAreaWatcher watcher(model);
        bool busy = false;
        int busyChecks = 0;
        watcher.isBusy = [&] {
            ++busyChecks;
            return busy;
        };
        QVERIFY(Rig::WriteRaw(rig->Area() + QStringLiteral("/first.txt"), "1"));
        QCOMPARE(model.SetDirectory(rig->folder), true);
        QCOMPARE(watcher.Watched(), rig->Area());
        QTRY_COMPARE(model.rowCount(), 1);
        QVERIFY(!watcher.Polling());

        // A directory made now, then a file in a directory inside it.
        const QString deep = rig->Area() + QStringLiteral("/new/inner/deep.txt");
        QVERIFY(Rig::WriteRaw(deep, "2"));
        QTRY_COMPARE(model.rowCount(), 2);
        QVERIFY(model.RowOf(deep) >= 0);
        // A later file in that new directory is seen through its own watch.
        QTRY_VERIFY(!watcher.Pending());
        const QString later = rig->Area() + QStringLiteral("/new/inner/later.txt");
        QVERIFY(Rig::WriteRaw(later, "3"));
        QTRY_COMPARE(model.rowCount(), 3);

        // Busy: the change is noted but the rebuild waits for rounds after the command.
        busy = true;
        QVERIFY(QFile::remove(later));
        QTRY_VERIFY(watcher.Pending());
        const int checks = busyChecks;
        QTRY_VERIFY(busyChecks >= checks + 2); // at least one more round refused to rebuild
        QCOMPARE(model.rowCount(), 3);
        busy = false;
        QTRY_COMPARE(model.rowCount(), 2);

        // A directory moved inside the area is still followed under its new name, down to a directory made
        // in it afterwards.
        QVERIFY(QDir().rename(rig->Area() + QStringLiteral("/new"), rig->Area() + QStringLiteral("/moved")));
        QTRY_VERIFY(model.RowOf(rig->Area() + QStringLiteral("/moved/inner/deep.txt")) >= 0);
        const QString firstInMade = rig->Area() + QStringLiteral("/moved/inner/made/f.txt");
        QVERIFY(Rig::WriteRaw(firstInMade, "4"));
        QTRY_VERIFY(model.RowOf(firstInMade) >= 0);
        const QString secondInMade = rig->Area() + QStringLiteral("/moved/inner/made/g.txt");
        QVERIFY(Rig::WriteRaw(secondInMade, "5"));
        QTRY_VERIFY(model.RowOf(secondInMade) >= 0);

        // No folder: suspended, and nothing listed.
        QCOMPARE(model.SetDirectory(QString()), false);
        QCOMPARE(watcher.Watched(), QString());
        QCOMPARE(model.rowCount(), 0);
    }

    // Past the watch limit the list still follows the disk, through the rounds' rescans.
    void WatcherRescansPastTheWatchLimit() {
        auto rig = Started();
        QVERIFY(rig);
        AppState& s = rig->app.State();
        CDecryptedFileModel model(*s.registry, *s.workFolder, s.settings);
        EditingAreaWatcher watcher(model);
        watcher.maxWatches = 1; // the area itself, nothing below it
        QCOMPARE(model.SetDirectory(rig->folder), true);
        QVERIFY(!watcher.Polling());
        const QString first = rig->Area() + QStringLiteral("/sub/first.txt");
        QVERIFY(Rig::WriteRaw(first, "1"));
        QTRY_VERIFY(model.RowOf(first) >= 0);
        QVERIFY(watcher.Polling());
        // No watch on "sub": only a rescan can see this one.
        const QString second = rig->Area() + QStringLiteral("/sub/second.txt");
        QVERIFY(Rig::WriteRaw(second, "2"));
        QTRY_VERIFY(model.RowOf(second) >= 0);
    }

    // Erasing copies without writing back: the containers become read-only again, the copies are gone.
    void EraseRestoresTheContainersReadOnly() {
        auto rig = Started();
        QVERIFY(rig);
        QString first;
        QString second;
        const QString copy1 = rig->Opened(QStringLiteral("one.txt"), "one", &first);
        const QString copy2 = rig->Opened(QStringLiteral("two.txt"), "two", &second);
        QVERIFY(!copy1.isEmpty() && !copy2.isEmpty());
        QVERIFY(!Rig::ReadOnly(first) && !Rig::ReadOnly(second));
        QVERIFY(Rig::WriteRaw(copy2, "an edit that is thrown away"));
        const QByteArray secondBytes = Rig::Bytes(second);

        // "No" keeps everything.
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->commands->EraseSelected({copy1, copy2}, {first, second}), OpResult::kDeclined);
        QVERIFY(rig->ui.Has(msg::kEraseCopiesQuestion));
        QVERIFY(QFile::exists(copy1) && QFile::exists(copy2));
        QVERIFY(!Rig::ReadOnly(first));

        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->commands->EraseSelected({copy1, copy2}, {first, second}), OpResult::kDone);
        QVERIFY(!QFile::exists(copy1) && !QFile::exists(copy2));
        QVERIFY(Rig::ReadOnly(first));
        QVERIFY(Rig::ReadOnly(second));
        QCOMPARE(Rig::Bytes(second), secondBytes);
        VERIFY_SETTLED(rig->ui);
    }

    // Exit with working copies asks first; Cancel leaves everything as it was, OK writes back.
    void ExitAsksAndCancelChangesNothing() {
        auto rig = Started();
        QVERIFY(rig);
        // No copies: no dialog.
        QCOMPARE(rig->commands->ConfirmExit(), OpResult::kDone);
        QVERIFY(rig->dialogs.isEmpty());

        QString container;
        const QString copy = rig->Opened(QStringLiteral("report.txt"), "draft", &container);
        QVERIFY(!copy.isEmpty());
        QVERIFY(Rig::WriteRaw(copy, "final text"));
        QVERIFY(FolderRig::Touch(copy, 60));
        const QByteArray before = Rig::Bytes(container);

        rig->acceptDialog = false;
        ReturnDialogResult chosen;
        QCOMPARE(rig->commands->ConfirmExit(&chosen), OpResult::kDeclined);
        QCOMPARE(rig->dialogs.size(), 1);
        QCOMPARE(rig->dialogs[0].caption, QStringLiteral("終了確認"));
        QCOMPARE(rig->dialogs[0].folders, QStringList{rig->folder});
        QCOMPARE(rig->dialogs[0].text, rig->app.State().catalogue->MsgA(msg::kExitText));
        QCOMPARE(rig->dialogs[0].checkLabel, rig->app.State().catalogue->MsgA(msg::kExitCheck));
        QCOMPARE(Rig::Bytes(copy), QByteArray("final text"));
        QCOMPARE(Rig::Bytes(container), before);

        // OK: the changed copy goes back over its container without the notice.
        rig->acceptDialog = true;
        int notices = 0;
        rig->commands->notice = [&](int, int, bool&) {
            ++notices;
            return true;
        };
        QCOMPARE(rig->commands->ConfirmExit(), OpResult::kDone);
        QCOMPARE(notices, 0);
        QVERIFY(!QFile::exists(copy));
        QVERIFY(Rig::Bytes(container) != before);
        QVERIFY(Rig::ReadOnly(container));
        QVERIFY(rig->commands->FoldersWithCopies().isEmpty());
        VERIFY_SETTLED(rig->ui);
    }

    // At exit a read-only folder's copies are erased without a word; a failed write-back asks A649.
    void ExitErasesReadOnlyCopiesAndAsksAfterAFailure() {
        auto rig = Started();
        QVERIFY(rig);
        rig->acceptDialog = true;
        const QString readOnly = m_folders.NewFolder(QStringLiteral("ro"));
        QCOMPARE(rig->Add(readOnly, FolderRig::kPassword, QStringLiteral("1"), QStringLiteral("ROID")), 0);
        QVERIFY(rig->EnterKey(readOnly, FolderRig::kPassword));
        const QString roArea =
            WorkAreas::AreaOf(rig->app.State().workFolder->angoTempFolder, QStringLiteral("ROID"), WorkAreas::kEditing);
        QVERIFY(Rig::WriteRaw(roArea + QStringLiteral("/sub/read.txt"), "read only"));
        // A folder that is not logged in keeps its copies for a later run.
        const QString loggedOut = m_folders.NewFolder(QStringLiteral("out"));
        QCOMPARE(rig->Add(loggedOut, FolderRig::kPassword, QStringLiteral("0"), QStringLiteral("OUTID")), 0);
        const QString outCopy = WorkAreas::AreaOf(rig->app.State().workFolder->angoTempFolder, QStringLiteral("OUTID"),
                                                  WorkAreas::kEditing) +
                                QStringLiteral("/kept.txt");
        QVERIFY(Rig::WriteRaw(outCopy, "kept"));

        QCOMPARE(rig->commands->ConfirmExit(), OpResult::kDone);
        QCOMPARE(rig->dialogs.size(), 1);
        QCOMPARE(rig->dialogs[0].folders, QStringList({readOnly, loggedOut}));
        QVERIFY(rig->ui.Messages().isEmpty());
        QVERIFY(QDir(roArea).isEmpty());
        QVERIFY(QFile::exists(outCopy));

        // The folder itself is gone (a removed medium): the copy stays, and quitting is a question.
        const QString copy = rig->Opened(QStringLiteral("lost.txt"), "lost");
        QVERIFY(!copy.isEmpty());
        QVERIFY(Rig::WriteRaw(copy, "changed"));
        QVERIFY(FolderRig::Touch(copy, 60));
        QVERIFY(QDir().rename(rig->folder, rig->folder + QStringLiteral(".gone")));
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->commands->ConfirmExit(), OpResult::kDeclined);
        QVERIFY(rig->ui.Has(msg::kExitAnyway));
        QVERIFY(QFile::exists(copy));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->commands->ConfirmExit(), OpResult::kDone);
        QVERIFY(QFile::exists(copy));
        VERIFY_SETTLED(rig->ui);
    }

    // A copy still open elsewhere stops the write-back before anything is written.
    void OpenElsewhereStopsBeforeAnythingIsWritten() {
        auto rig = Started();
        QVERIFY(rig);
        QString firstContainer;
        const QString first = rig->Opened(QStringLiteral("first.txt"), "first", &firstContainer);
        const QString second = rig->Opened(QStringLiteral("second.txt"), "second");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        QVERIFY(Rig::WriteRaw(first, "first, edited"));
        QVERIFY(FolderRig::Touch(first, 60));
        const QByteArray before = Rig::Bytes(firstContainer);
        rig->probe.openElsewhere.insert(second);
        rig->app.State().settings.returnAngoMsgFlg = 0;

        // The selected copies: the name of the open one, and nothing written, not even the first.
        QCOMPARE(rig->commands->WriteBackSelected(rig->folder, {first, second}), OpResult::kFailed);
        const auto* shown = rig->ui.Find(msg::kCopyOpenElsewhere);
        QVERIFY(shown);
        QVERIFY(shown->text.startsWith(QStringLiteral("second.txt")));
        QVERIFY(QFile::exists(first));
        QCOMPARE(Rig::Bytes(firstContainer), before);

        // All copies of the folder: A12, nothing written.
        QCOMPARE(rig->commands->WriteBackAll(rig->folder, true), OpResult::kFailed);
        QVERIFY(rig->ui.Has(msg::kWriteBackAllOpenElsewhere));
        QVERIFY(QFile::exists(first));
        QCOMPARE(Rig::Bytes(firstContainer), before);

        // Closed: all of them go back, and the emptied area keeps no directories.
        rig->probe.openElsewhere.clear();
        QVERIFY(Rig::WriteRaw(rig->Area() + QStringLiteral("/empty/dir/x.txt"), "new"));
        QCOMPARE(rig->commands->WriteBackAll(rig->folder, true), OpResult::kDone);
        QVERIFY(!QFile::exists(first) && !QFile::exists(second));
        QVERIFY(Rig::Bytes(firstContainer) != before);
        QVERIFY(QDir(rig->Area()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        VERIFY_SETTLED(rig->ui);
    }

    // Erasing never wipes a copy under the program that shows it: the erase command, and the erase of a
    // read-only folder's copies at exit and at logout, stop with A703 while the watched program runs.
    void CopyInUseIsNotErased_data() {
        QTest::addColumn<QString>("action");
        for (const char* action : {"erase", "exit", "logout"})
            QTest::newRow(action) << QString::fromLatin1(action);
    }
    void CopyInUseIsNotErased() {
        QFETCH(QString, action);
        auto rig = Started();
        QVERIFY(rig);
        rig->acceptDialog = true;
        QString copy;
        QString folder = rig->folder;
        if (action == QLatin1String("erase")) {
            copy = rig->Opened(QStringLiteral("shown.txt"), "shown");
        } else {
            folder = m_folders.NewFolder(QStringLiteral("ro"));
            QCOMPARE(rig->Add(folder, FolderRig::kPassword, QStringLiteral("1"), QStringLiteral("ROID")), 0);
            QVERIFY(rig->EnterKey(folder, FolderRig::kPassword));
            copy = WorkAreas::AreaOf(rig->app.State().workFolder->angoTempFolder, QStringLiteral("ROID"),
                                     WorkAreas::kEditing) +
                   QStringLiteral("/shown.txt");
            QVERIFY(Rig::WriteRaw(copy, "shown"));
        }
        WatchTable& table = rig->copies->Table();
        table.pid[0] = 56;
        table.path[0] = copy;
        table.followed[0] = true;
        rig->probe.running.insert(56);
        const auto run = [&] {
            if (action == QLatin1String("erase")) {
                rig->ui.QueueAnswer(kAnswerYes); // A139
                return rig->commands->EraseSelected({copy}, {QString()});
            }
            if (action == QLatin1String("exit"))
                return rig->commands->ConfirmExit();
            rig->ui.QueueAnswer(kAnswerYes); // the logout question
            return rig->login->Logout(folder);
        };
        if (action == QLatin1String("exit"))
            rig->ui.QueueAnswer(kAnswerNo); // A649: stay
        QVERIFY(run() != OpResult::kDone);
        QVERIFY(rig->ui.Has(msg::kEraseInUse) || action == QLatin1String("exit"));
        QVERIFY(QFile::exists(copy));
        QVERIFY(rig->login->IsLoggedIn(folder));

        rig->probe.End(56);
        rig->ui.Clear();
        QCOMPARE(run(), OpResult::kDone);
        QVERIFY(!QFile::exists(copy));
        VERIFY_SETTLED(rig->ui);
    }

    // Writing back into a read-only folder is refused; the notice can be declined and silenced.
    void NoticeAndReadOnlyFolder() {
        auto rig = Started();
        QVERIFY(rig);
        const QString copy = rig->Opened(QStringLiteral("n.txt"), "n");
        QVERIFY(!copy.isEmpty());
        QList<int> shown;
        bool answer = false;
        rig->commands->notice = [&](int message, int, bool& stopShowing) {
            shown.append(message);
            stopShowing = true;
            return answer;
        };
        QCOMPARE(rig->commands->WriteBackSelected(rig->folder, {copy}), OpResult::kDeclined);
        QCOMPARE(shown, QList<int>{msg::kWriteBackSelectedNotice});
        QVERIFY(QFile::exists(copy));
        QCOMPARE(rig->app.State().settings.returnAngoMsgFlg, 1);
        answer = true;
        QCOMPARE(rig->commands->WriteBackSelected(rig->folder, {copy}), OpResult::kDone);
        QCOMPARE(rig->app.State().settings.returnAngoMsgFlg, 0);
        QVERIFY(!QFile::exists(copy));

        // A folder registered read-only refuses the selected write-back.
        const QString readOnly = m_folders.NewFolder(QStringLiteral("ro"));
        QCOMPARE(rig->Add(readOnly, FolderRig::kPassword, QStringLiteral("1"), QStringLiteral("ROID")), 0);
        QCOMPARE(rig->commands->WriteBackSelected(readOnly, {copy}), OpResult::kFailed);
        QVERIFY(rig->ui.Has(msg::kReadOnlyFolder));
        VERIFY_SETTLED(rig->ui);
    }

    // Logout of a folder with copies asks "ログアウト確認" and writes them back; without copies A259.
    void LogoutConfirmsAndWritesBack() {
        auto rig = Started();
        QVERIFY(rig);
        const QString copy = rig->Opened(QStringLiteral("l.txt"), "l");
        QVERIFY(!copy.isEmpty());

        rig->acceptDialog = false;
        QCOMPARE(rig->login->Logout(rig->folder), OpResult::kDeclined);
        QCOMPARE(rig->dialogs.size(), 1);
        QCOMPARE(rig->dialogs[0].caption, QStringLiteral("ログアウト確認"));
        QCOMPARE(rig->dialogs[0].checkLabel, rig->app.State().catalogue->MsgA(msg::kLogoutCheck));
        QVERIFY(rig->login->IsLoggedIn(rig->folder));
        QVERIFY(QFile::exists(copy));

        rig->acceptDialog = true;
        QCOMPARE(rig->login->Logout(rig->folder), OpResult::kDone);
        QVERIFY(!QFile::exists(copy));
        QVERIFY(!rig->login->IsLoggedIn(rig->folder));
        QVERIFY(!rig->ui.Has(259));

        // Logged in again with nothing to write back: the plain question.
        QVERIFY(rig->EnterKey(rig->folder, FolderRig::kPassword));
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->login->Logout(rig->folder), OpResult::kDeclined);
        QVERIFY(rig->ui.Has(259));
        QCOMPARE(rig->dialogs.size(), 2);
        VERIFY_SETTLED(rig->ui);
    }

    // A lock or swap file whose owner ended no longer stops a write-back (of the selection, of all, at
    // logout) and goes with its copy; one whose owner runs, or that another host made, still does.
    void StaleLockNoLongerBlocks_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("lock");
        QTest::addColumn<QString>("owner");
        for (const QString& action : {QStringLiteral("selected"), QStringLiteral("all"), QStringLiteral("logout")}) {
            for (const QString& lock : {QStringLiteral(".~lock.d.odt#"), QStringLiteral(".d.odt.swp")}) {
                for (const QString& owner : {QStringLiteral("ended"), QStringLiteral("running")})
                    QTest::newRow(qPrintable(action + u' ' + lock + u' ' + owner)) << action << lock << owner;
            }
        }
    }
    void StaleLockNoLongerBlocks() {
        QFETCH(QString, action);
        QFETCH(QString, lock);
        QFETCH(QString, owner);
        auto rig = Started();
        QVERIFY(rig);
        rig->UseRealProbe();
        rig->acceptDialog = true;
        rig->app.State().settings.returnAngoMsgFlg = 0;
        QString container;
        const QString copy = rig->Opened(QStringLiteral("d.odt"), "first", &container);
        QVERIFY(Rig::Edit(copy, "second"));
        const QByteArray before = Rig::Bytes(container);
        const Sleeper editor;
        const bool blocks = owner == QStringLiteral("running");
        const bool office = lock.startsWith(QStringLiteral(".~"));
        // The office lock records no PID: a running owner is one on another host.
        QVERIFY(Write(rig->Area() + u'/' + lock,
                      office ? OfficeLock(blocks ? QStringLiteral("elsewhere.example") : QSysInfo::machineHostName())
                             : VimSwap(blocks ? editor.Pid() : EndedPid())));

        const OpResult rc = action == QStringLiteral("selected") ? rig->commands->WriteBackSelected(rig->folder, {copy})
                            : action == QStringLiteral("all")    ? rig->commands->WriteBackAll(rig->folder, false)
                                                                 : rig->login->Logout(rig->folder);
        QCOMPARE(rc, blocks ? OpResult::kFailed : OpResult::kDone);
        const int refusal =
            action == QStringLiteral("selected") ? msg::kCopyOpenElsewhere : msg::kWriteBackAllOpenElsewhere;
        QCOMPARE(rig->ui.Numbers(), blocks ? QList<int>{refusal} : QList<int>());
        QCOMPARE(QFile::exists(copy), blocks);
        QCOMPARE(QFile::exists(rig->Area() + u'/' + lock), blocks); // wiped with its copy
        QCOMPARE(rig->login->IsLoggedIn(rig->folder), blocks || action != QStringLiteral("logout"));
        QVERIFY(rig->login->IsLoggedIn(rig->folder) || rig->EnterKey(rig->folder, FolderRig::kPassword));
        QVERIFY(blocks ? Rig::Bytes(container) == before : rig->Opens(container, QStringLiteral("d.odt"), "second"));
    }

    // Erased, or written back changed or not, a copy takes the companions of ended editors along (swap and
    // auto-save files hold its text); a running vim's swap file stays, and so does the copy of a container
    // whose name only looks like a backup.
    void CompanionsGoWithTheirCopy_data() {
        QTest::addColumn<QString>("action");
        for (const QString& action : {QStringLiteral("erase"), QStringLiteral("unchanged"), QStringLiteral("changed")})
            QTest::newRow(qPrintable(action)) << action;
    }
    void CompanionsGoWithTheirCopy() {
        QFETCH(QString, action);
        auto rig = Started();
        QVERIFY(rig);
        QString container;
        const QString copy = rig->Opened(QStringLiteral("m.txt"), "memo", &container);
        const QString lookalike = rig->Opened(QStringLiteral("m.txt~"), "of its own");
        const Sleeper vim;
        QVERIFY(Write(rig->Area() + QStringLiteral("/.m.txt.swp"), VimSwap(EndedPid())));
        QVERIFY(Write(rig->Area() + QStringLiteral("/#m.txt#"), "memo, unsaved"));
        QVERIFY(Write(rig->Area() + QStringLiteral("/.m.txt.swo"), VimSwap(vim.Pid())));
        if (action == QStringLiteral("erase")) {
            rig->ui.QueueAnswer(kAnswerYes);
            QCOMPARE(rig->commands->EraseSelected({copy}, {container}), OpResult::kDone);
        } else {
            QVERIFY(action == QStringLiteral("unchanged") || Rig::Edit(copy, "memo, saved"));
            QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        }
        QCOMPARE(QDir(rig->Area()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral(".m.txt.swo"), QStringLiteral("m.txt~")}));
        QCOMPARE(Rig::Bytes(lookalike), QByteArray("of its own"));
        VERIFY_SETTLED(rig->ui);
    }

    // A copy whose plain name starts with a dot is listed, counted and written back like any other.
    void DotCopyIsListedAndWrittenBack() {
        auto rig = Started();
        QVERIFY(rig);
        QString container;
        const QString copy = rig->Opened(QStringLiteral(".env"), "KEY=old", &container);
        QVERIFY(Rig::Edit(copy, "KEY=new"));
        QVERIFY(Write(rig->Area() + QStringLiteral("/.env.swp"), VimSwap(EndedPid())));
        auto model = rig->Model();
        QCOMPARE(model->SetDirectory(rig->folder), true);
        QCOMPARE(model->Rebuild(), true);
        QCOMPARE(model->FullPaths({0, 1}), QStringList{copy});
        QCOMPARE(model->Item(0).container, container);
        QVERIFY(rig->login->HasWorkingCopies(rig->folder));
        QCOMPARE(rig->commands->WriteBackAll(rig->folder, false), OpResult::kDone);
        QVERIFY(rig->Opens(container, QStringLiteral(".env"), "KEY=new"));
        QVERIFY(QDir(rig->Area()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    }

    // What editors leave without a container is not listed, nor encrypted in by "write back all" or at exit;
    // a name that is a container's is a copy whatever it looks like.
    void EditorLeftoversAreNotCopies() {
        auto rig = Started();
        QVERIFY(rig);
        for (const char* name : {"#d.txt#", "d.txt~", "4913", "d.txt.aB3xY9", "0123456789ABCDEF-0123456789ABCDEF.delf"})
            QVERIFY(Write(rig->Area() + u'/' + QLatin1String(name), "left by an editor"));
        auto model = rig->Model();
        QCOMPARE(model->SetDirectory(rig->folder), true);
        QCOMPARE(model->Rebuild(), true);
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(rig->commands->WriteBackAll(rig->folder, false), OpResult::kDone);
        QCOMPARE(rig->commands->ConfirmExit(), OpResult::kDone);
        QVERIFY(rig->dialogs.isEmpty());
        QCOMPARE(rig->Containers(rig->folder), QStringList());

        QString container;
        const QString notes = rig->Opened(QStringLiteral("notes~"), "mine", &container);
        QCOMPARE(model->Rebuild(), true);
        QCOMPARE(model->FullPaths({0, 1}), QStringList{notes});
        QCOMPARE(model->Item(0).container, container);
    }
};

QTEST_GUILESS_MAIN(TestDecryptedFiles)
#include "TestDecryptedFiles.moc"
