#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "ui/D01TakeOut.h"
#include "ui/D02AngoOut.h"
#include "ui/D03PassChange.h"
#include "ui/DialogHook.h"
#include "ui/InsideDrag.h"
#include "ui/ListV.h"
#include "ui/QtInteraction.h"
#include "util/MessageNumbers.h"
#include "workspace/DragOutData.h"
#include "workspace/TakeOut.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeView>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace korimbo;

// The take-out in the running window: its window, its dialogs answered through their real widgets, and
// the drag out of the contents list.
class TestTakeOutWindow : public QObject {
    Q_OBJECT

private:
    static bool WriteFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A started window with memo.txt encrypted into its folder and selected in the list.
    static QString OneFile(FrameRig& rig) {
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("outside/memo.txt"));
        if (!WriteFile(source, "memo words") || rig.frame->EncryptIn(folder, {source}, false) != OpResult::kDone ||
            rig.frame->Contents()->rowCount() != 1)
            return QString();
        rig.frame->List()->SelectRow(0);
        return rig.frame->Contents()->Item(0).FullPath();
    }
    static DialogHook::Fill PickFolder(const QString& folder) {
        return [folder](QDialog& dialog) {
            auto* chooser = qobject_cast<QFileDialog*>(&dialog);
            if (!chooser)
                return int(QDialog::Rejected);
            chooser->setDirectory(folder);
            chooser->selectFile(folder);
            return int(QDialog::Accepted);
        };
    }
    static TakeOutWindowRequest Request(TakeOutKind kind, const QStringList& staged) {
        TakeOutWindowRequest request;
        request.kind = kind;
        request.title = QStringLiteral("取り出し");
        request.dragOnly = kind == TakeOutKind::kMail || kind == TakeOutKind::kMailNewPassword;
        for (const QString& path : staged)
            request.items.append({path, path, QFileInfo(path).isDir(), QString()});
        return request;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // Kinds 4 and 5 drag only: no copy or move button, no text about them, 60 pixels shorter; the icons
    // are 32 x 32 on a 78 x 75 grid.
    void DragOnlyKindsHaveNoCopyOrMoveButtons() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QVERIFY(rig.frame->TakeOut());
        QTemporaryDir staged;
        const QString file = staged.filePath(QStringLiteral("a.txt"));
        QVERIFY(WriteFile(file, "a"));
        CD01TakeOut full(Request(TakeOutKind::kDecrypted, {file}), *rig.frame->TakeOut());
        QVERIFY(!full.CopyButton()->isHidden());
        QVERIFY(!full.MoveButton()->isHidden());
        QCOMPARE(full.Text()->text(),
                 QStringLiteral("上記アイコンをドラッグ＆ドロップするか、コピーまたは移動先を指定してください。"));
        QCOMPARE(full.Icons()->iconSize(), QSize(32, 32));
        QCOMPARE(full.Icons()->gridSize(), QSize(78, 75));
        QCOMPARE(full.Icons()->count(), 1);
        for (const TakeOutKind kind : {TakeOutKind::kMail, TakeOutKind::kMailNewPassword}) {
            CD01TakeOut mail(Request(kind, {file}), *rig.frame->TakeOut());
            QVERIFY(mail.CopyButton()->isHidden());
            QVERIFY(mail.MoveButton()->isHidden());
            QVERIFY(!mail.CancelButton()->isHidden());
            QCOMPARE(mail.height(), full.height() - 60);
        }
    }

    // Through the window's own buttons: a move into the shown folder is refused with the fixed text and
    // the window stays open; a copy to a folder outside brings the decrypted file there and closes it;
    // nothing stays in the take-out area.
    void MoveIntoTheShownFolderIsRefusedAndTheWindowStays() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString container = OneFile(rig);
        QVERIFY(!container.isEmpty());
        QTemporaryDir outside;
        const QString inside = rig.app.DefaultEncryptedFolder();
        bool stayed = false;
        bool buttons = false;
        DialogHook::Queue([&](QDialog& dialog) {
            auto* window = qobject_cast<CD01TakeOut*>(&dialog);
            if (!window)
                return int(QDialog::Rejected);
            buttons = !window->CopyButton()->isHidden();
            QSignalSpy accepted(window, &QDialog::accepted);
            DialogHook::Queue(PickFolder(inside));
            window->MoveButton()->click();
            stayed = accepted.isEmpty() && window->Result() == TakeOutPrompts::WindowResult::kCancelled;
            DialogHook::Queue(PickFolder(outside.path()));
            window->CopyButton()->click();
            return window->result();
        });
        rig.frame->List()->setFocus();
        QCOMPARE(rig.frame->TakeOutSelected(TakeOutKind::kDecrypted), OpResult::kDone);
        QVERIFY(buttons);
        QVERIFY(stayed);
        QVERIFY(rig.ui.Find(0));
        QCOMPARE(rig.ui.Find(0)->text, CTakeOut::MoveRefusedText());
        QCOMPARE(Bytes(outside.filePath(QStringLiteral("memo.txt"))), QByteArray("memo words"));
        const QString area = rig.frame->TakeOut()->TakeOutArea(inside);
        QVERIFY(QDir(area).isEmpty());
        QVERIFY(QFileInfo::exists(container));
    }

    // The drag out of the list: our own format names the items; with DandDDecryFlg 0 the file list is the
    // container itself, copy only unless the right button started it; with 1 the decrypted copy appears
    // only when the list is first asked for, and is wiped once the drag has ended.
    void DragOutOfTheList() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString container = OneFile(rig);
        QVERIFY(!container.isEmpty());
        SettingsRecord& settings = rig.app.State().settings;
        const QString area = rig.frame->TakeOut()->TakeOutArea(rig.app.DefaultEncryptedFolder());

        settings.dandDDecryFlg = 0;
        Qt::DropActions allowed;
        std::unique_ptr<CDragOutData> data = rig.frame->MakeDragOut(Qt::LeftButton, allowed);
        QVERIFY(data);
        QCOMPARE(allowed, Qt::DropActions(Qt::CopyAction));
        InsideDragItems items;
        QVERIFY(ReadInsideDrag(data.get(), items));
        QCOMPARE(items.paths, QStringList({container}));
        QCOMPARE(data->urls(), QList<QUrl>({QUrl::fromLocalFile(container)}));
        data = rig.frame->MakeDragOut(Qt::RightButton, allowed);
        QCOMPARE(allowed, Qt::CopyAction | Qt::MoveAction);

        settings.dandDDecryFlg = 1;
        data = rig.frame->MakeDragOut(Qt::LeftButton, allowed);
        QVERIFY(data);
        QVERIFY(data->hasUrls());
        QVERIFY(!QFileInfo::exists(area + QStringLiteral("/memo.txt")));
        const QList<QUrl> urls = data->urls();
        QCOMPARE(urls, QList<QUrl>({QUrl::fromLocalFile(area + QStringLiteral("/memo.txt"))}));
        QCOMPARE(Bytes(urls.first().toLocalFile()), QByteArray("memo words"));
        rig.frame->SetDragCleanupDelay(0);
        rig.frame->EndDragOut(data->Prepared());
        QTRY_VERIFY(!rig.frame->DragStagingPending());
        QVERIFY(!QFileInfo::exists(area + QStringLiteral("/memo.txt")));
    }

    // A press on a selected row followed by a move starts a drag out with the button that was pressed; a
    // right click that does not move still opens the pop-up, at the release.
    void PressAndMoveOnARowStartsTheDragOut() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QVERIFY(!OneFile(rig).isEmpty());
        CListV* list = rig.frame->List();
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        QObject::disconnect(list, &CListV::DragOutRequested, rig.frame.get(), nullptr);
        QSignalSpy drags(list, &CListV::DragOutRequested);
        QAbstractItemView* view = list->ViewStyle() == 0 ? static_cast<QAbstractItemView*>(list->Icons())
                                                         : static_cast<QAbstractItemView*>(list->Details());
        const QPoint at = view->visualRect(view->model()->index(0, 0)).center();
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at), button, button, {});
            QApplication::sendEvent(view->viewport(), &press);
            const QPoint away = at + QPoint(QApplication::startDragDistance() + 2, 0);
            QMouseEvent move(QEvent::MouseMove, away, view->viewport()->mapToGlobal(away), Qt::NoButton, button, {});
            QApplication::sendEvent(view->viewport(), &move);
        }
        QCOMPARE(drags.size(), 2);
        QCOMPARE(drags.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
        QCOMPARE(drags.at(1).at(0).value<Qt::MouseButton>(), Qt::RightButton);
        QCOMPARE(list->SelectedCount(), 1);

        int menus = 0;
        list->runMenu = [&menus](QMenu&, const QPoint&) {
            ++menus;
            return 0;
        };
        QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at), Qt::RightButton,
                          Qt::RightButton, {});
        QApplication::sendEvent(view->viewport(), &press);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &menu);
        QCOMPARE(menus, 0);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view->viewport()->mapToGlobal(at), Qt::RightButton,
                            Qt::NoButton, {});
        QApplication::sendEvent(view->viewport(), &release);
        QCOMPARE(menus, 1);
        QCOMPARE(drags.size(), 2);
    }

    // Every window the busy take-out opens takes input from a person while the main window swallows it:
    // the still-encrypted dialog, the password dialog (a 7-character password keeps it open), the take-out
    // window and its folder dialog.
    void WindowsOfTheBusyTakeOutTakeInput() {
        FrameRig rig;
        QVERIFY(rig.Start());
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        rig.frame->EnterBusy();

        {
            CD02AngoOut dialog(true, rig.frame.get());
            RealAnswer answer([](QWidget* up) {
                QTest::mouseClick(up->findChild<QCheckBox*>(QStringLiteral("naming")), Qt::LeftButton);
                QTest::keyClick(up, Qt::Key_Return);
            });
            QCOMPARE(dialog.Run(), int(QDialog::Accepted));
            QVERIFY(!answer.TimedOut());
            QVERIFY(!dialog.NameAfterPlain());
        }
        {
            int refused = 0;
            const TakeOutPrompts::PasswordCheck check = [&](const QString& password, const QString&) {
                if (password.size() >= 8)
                    return true;
                ++refused;
                return false;
            };
            CD03PassChange dialog({}, true, check, rig.frame.get());
            bool stayed = false;
            RealAnswer answer([&](QWidget* up) {
                auto* edit = up->findChild<QLineEdit*>(QStringLiteral("password"));
                QTest::keyClicks(edit, QStringLiteral("Ab#4567"));
                QTest::keyClick(edit, Qt::Key_Return);
                stayed = up->isVisible();
                QTest::keyClick(edit, Qt::Key_End);
                QTest::keyClicks(edit, QStringLiteral("8"));
                QTest::keyClick(edit, Qt::Key_Return);
            });
            QCOMPARE(dialog.Run(), int(QDialog::Accepted));
            QVERIFY(!answer.TimedOut());
            QVERIFY(stayed);
            QCOMPARE(refused, 1);
            QVERIFY(dialog.TypedChoice()->isChecked());
            QCOMPARE(dialog.Chosen().password, QStringLiteral("Ab#45678"));
        }
        {
            QTemporaryDir staged;
            QTemporaryDir target;
            const QString file = staged.filePath(QStringLiteral("a.txt"));
            QVERIFY(WriteFile(file, "alpha"));
            CD01TakeOut window(Request(TakeOutKind::kDecrypted, {file}), *rig.frame->TakeOut(), rig.frame.get());
            bool folderAnswered = false;
            RealAnswer answer([&](QWidget* up) {
                RealAnswer pick([&](QWidget* chooser) {
                    folderAnswered = chooser->windowTitle() == QStringLiteral("項目のコピー");
                    auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    name->setText(target.path());
                    QTest::keyClick(name, Qt::Key_Return);
                });
                QTest::mouseClick(up->findChild<QPushButton*>(QStringLiteral("copy")), Qt::LeftButton);
            });
            QCOMPARE(window.Run(), TakeOutPrompts::WindowResult::kCopied);
            QVERIFY(!answer.TimedOut());
            QVERIFY(folderAnswered);
            QCOMPARE(Bytes(target.filePath(QStringLiteral("a.txt"))), QByteArray("alpha"));
        }
        {
            // A large copy shows its progress; its Cancel stops the copy, which leaves nothing half-made.
            QTemporaryDir staged;
            QTemporaryDir target;
            const QString file = staged.filePath(QStringLiteral("big.bin"));
            QVERIFY(WriteFile(file, QByteArray(9 * 1024 * 1024, 'b')));
            CD01TakeOut window(Request(TakeOutKind::kDecrypted, {file}), *rig.frame->TakeOut(), rig.frame.get());
            bool cancelled = false;
            QTimer progress;
            connect(&progress, &QTimer::timeout, this, [&] {
                auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
                if (!dialog || cancelled)
                    return;
                cancelled = true;
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            });
            bool stayed = false;
            RealAnswer answer([&](QWidget* up) {
                RealAnswer pick([&](QWidget* chooser) {
                    auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    name->setText(target.path());
                    QTest::keyClick(name, Qt::Key_Return);
                    progress.start(0); // every pass of the copy's event pump, however fast the disk
                });
                QTest::mouseClick(up->findChild<QPushButton*>(QStringLiteral("copy")), Qt::LeftButton);
                stayed = up->isVisible();
                QTest::mouseClick(up->findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
            });
            QCOMPARE(window.Run(), TakeOutPrompts::WindowResult::kCancelled);
            QVERIFY(!answer.TimedOut());
            QVERIFY(cancelled);
            QVERIFY(stayed);
            QVERIFY(QDir(target.path()).isEmpty());
            QVERIFY(!rig.ui.Has(msg::kCopyOutFailed));
        }
        rig.frame->LeaveBusy();
    }
};

QTEST_MAIN(TestTakeOutWindow)
#include "TestTakeOutWindow.moc"
