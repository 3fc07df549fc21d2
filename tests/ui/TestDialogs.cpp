#include "DialogChecks.h"
#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "crypto/CryptEngine.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "ui/D13Msg1.h"
#include "ui/D25ReturnMsg.h"
#include "ui/DialogHook.h"
#include "ui/K81PPage.h"
#include "ui/KankyoSet.h"
#include "ui/QtTranslation.h"
#include "ui/VersionDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace korimbo;

namespace {

QCheckBox* Box(QDialog& dialog, const char* id) {
    return dialog.findChild<QCheckBox*>(QString::fromLatin1(id));
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private:
    // What the work folder settings need: an engine with the built-in key over the real file system.
    struct WorkFixture {
        WorkFixture() { static_cast<void>(engine.RegisterBuiltInKey()); }
        ScriptedInteraction ui;
        TestCatalogue cat;
        FaultyFileSystem fs;
        CCryptEngine engine{ui, cat, fs};
        QTemporaryDir dir;
        WorkFolderSettings work{engine, fs, dir.path() + QStringLiteral("/ZORp/tmp")};
        QString File() const { return dir.path() + u'/' + WorkFolderSettings::kFileName; }
    };

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); } // every test uses up what it queued

    void HookAnswersWithoutBlocking() {
        QDialog dialog;
        bool filled = false;
        DialogHook::Queue([&filled](QDialog& d) {
            filled = true;
            return d.isVisible() ? -1 : 42;
        });
        QVERIFY(DialogHook::Pending());
        QCOMPARE(DialogHook::Exec(dialog), 42);
        QVERIFY(filled);
        QVERIFY(!DialogHook::Pending());
        QCOMPARE(dialog.result(), 42);

        // A filler that closes the dialog itself: the dialog's result wins over the returned code.
        DialogHook::Queue([](QDialog& d) {
            d.reject();
            return int(QDialog::Accepted);
        });
        QCOMPARE(DialogHook::Exec(dialog), int(QDialog::Rejected));

        // Message boxes answer with their button codes.
        QMessageBox box(QMessageBox::Question, QStringLiteral("Korimbo-portable"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No);
        DialogHook::Queue([](QDialog&) { return int(QMessageBox::No); });
        QCOMPARE(DialogHook::Exec(box), int(QMessageBox::No));

        DialogHook::Queue([](QDialog&) { return 0; });
        DialogHook::Clear();
        QVERIFY(!DialogHook::Pending());
    }

    void NoticeWithOkOnly() {
        CD13Msg1::Options options;
        options.text = QStringLiteral("開いたファイルの終了を監視します。");
        options.icon = Icon::Warning;
        options.checkLabel = QStringLiteral("これ以降は表示しない");
        options.checked = true;
        CD13Msg1 dialog(options);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Korimbo-portable"));
        QCOMPARE(dialog.MessageLabel()->text(), options.text);
        QVERIFY(dialog.MessageLabel()->wordWrap());
        QVERIFY(!dialog.IconLabel()->pixmap().isNull());
        QCOMPARE(dialog.CheckBox()->text(), options.checkLabel);
        QVERIFY(dialog.OkButton()->isVisibleTo(&dialog));
        QVERIFY(!dialog.CancelButton()->isVisibleTo(&dialog));
        QCOMPARE(dialog.OkButton()->text(), QStringLiteral("OK"));

        // A lone OK sits in the middle.
        dialog.resize(400, dialog.sizeHint().height());
        dialog.layout()->activate();
        QVERIFY(qAbs(dialog.OkButton()->geometry().center().x() - dialog.width() / 2) <= 2);

        DialogHook::Queue([](QDialog& d) {
            static_cast<CD13Msg1&>(d).CheckBox()->setChecked(false);
            return int(QDialog::Accepted);
        });
        bool checked = true;
        QCOMPARE(dialog.Run(checked), int(QDialog::Accepted));
        QVERIFY(!checked);
    }

    void NoticeWithCancelAndYesNo() {
        CD13Msg1::Options options;
        options.text = QStringLiteral("書き戻しますか？");
        options.icon = Icon::Question;
        options.withCancel = true;
        CD13Msg1 plain(options);
        QVERIFY(plain.CancelButton()->isVisibleTo(&plain));
        QCOMPARE(plain.CancelButton()->text(), QStringLiteral("キャンセル"));
        QVERIFY(!plain.CheckBox()->isVisibleTo(&plain)); // no label, no box

        options.withCancel = false;
        options.yesNo = true;
        options.checkLabel = QStringLiteral("これ以降は表示しない");
        options.checked = true;
        CD13Msg1 dialog(options);
        QCOMPARE(dialog.OkButton()->text(), QStringLiteral("はい"));
        QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("いいえ"));
        QVERIFY(dialog.CancelButton()->isVisibleTo(&dialog));

        DialogHook::Queue([](QDialog& d) {
            QTest::mouseClick(static_cast<CD13Msg1&>(d).CancelButton(), Qt::LeftButton);
            return int(QDialog::Accepted); // ignored: the click already closed the dialog
        });
        bool checked = false;
        QCOMPARE(dialog.Run(checked), int(QDialog::Rejected));
        QVERIFY(checked);
    }

    void ConfirmationFields() {
        CD25ReturnMsg::Options options;
        options.caption = QStringLiteral("終了確認");
        options.text = QStringLiteral("復号中のファイルがあります。");
        options.items = {QStringLiteral("/media/usb/暗号フォルダー"), QStringLiteral("/home/u/秘密")};
        options.checkLabel = QStringLiteral("暗号化してから終了する");
        CD25ReturnMsg dialog(options);
        QCOMPARE(dialog.windowTitle(), options.caption);
        auto* message = dialog.findChild<QLabel*>(QStringLiteral("1110"));
        auto* list = dialog.findChild<QPlainTextEdit*>(QStringLiteral("1108"));
        QVERIFY(message && list && Box(dialog, "1107"));
        QCOMPARE(message->text(), options.text);
        QVERIFY(list->isReadOnly());
        QCOMPARE(list->toPlainText(), QStringLiteral("/media/usb/暗号フォルダー\n/home/u/秘密"));
        QCOMPARE(Box(dialog, "1107")->text(), options.checkLabel);
        QVERIFY(!dialog.IconLabel()->pixmap().isNull());

        DialogHook::Queue([](QDialog& d) {
            Box(d, "1107")->setChecked(true);
            return int(QDialog::Accepted);
        });
        QCOMPARE(dialog.Run(), int(QDialog::Accepted));
        QVERIFY(dialog.Checked());
        DialogHook::Queue([](QDialog&) { return int(QDialog::Rejected); });
        QCOMPARE(dialog.Run(), int(QDialog::Rejected));
    }

    void VersionDialogTexts() {
        QCOMPARE(VersionText(), QStringLiteral("Version 1.72"));
        const QString url = HomePageUrl(QStringLiteral("/media/usb/Korimbo"));
        QCOMPARE(url, QStringLiteral("file:///media/usb/Korimbo/README.md"));

        CVersionDialog dialog(url);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(dialog.NameLabel()->text(), QStringLiteral("Korimbo-portable"));
        QCOMPARE(dialog.VersionLabel()->text(), QStringLiteral("Version 1.72"));
        QVERIFY(dialog.LinkLabel()->openExternalLinks());
        QVERIFY(dialog.LinkLabel()->text().contains(url));
        DialogHook::Queue([](QDialog&) { return int(QDialog::Accepted); });
        QCOMPARE(dialog.Run(), int(QDialog::Accepted));
    }

    void SheetLayout() {
        SettingsRecord settings;
        CKankyoSet sheet(settings);
        QCOMPARE(sheet.windowTitle(), QStringLiteral("環境設定"));
        QCOMPARE(sheet.Tabs()->count(), 1);
        QCOMPARE(sheet.Tabs()->tabText(0), QStringLiteral("設定１"));
        QCOMPARE(Box(sheet, "1116")->text(),
                 QStringLiteral("ファイル／フォルダー 一覧で、登録されている拡張子は表示しない"));
        QCOMPARE(
            Box(sheet, "1117")->text(),
            QStringLiteral("拡張子に紐尽くアプリが無い場合に、「.txt」に紐尽くアプリを「プログラムから開く」に追加"));
        QCOMPARE(sheet.findChildren<QPushButton*>().size(), 2); // OK and Cancel, no Apply
    }

    void UntickExtensionsAndOk() {
        WorkFixture f;
        QCOMPARE(f.work.LoadWorkFolderSettings(f.dir.path()), OpResult::kDone); // leaves an empty file
        const QDateTime stamp = QFileInfo(f.File()).lastModified();
        SettingsRecord settings;
        settings.titleMode = 0;
        settings.extNonAplFlg = 1;

        bool shownTicked = false;
        DialogHook::Queue([&shownTicked](QDialog& d) {
            shownTicked = Box(d, "1116")->isChecked();
            Box(d, "1116")->setChecked(false);
            return int(QDialog::Accepted);
        });
        const KankyoResult result = RunKankyoSet(nullptr, settings, f.work, f.dir.path());
        QVERIFY(shownTicked); // titleMode 0 hides extensions
        QVERIFY(result.accepted);
        QVERIFY(result.extensionDisplayChanged);
        QVERIFY(!result.workFolderChanged);
        QCOMPARE(settings.titleMode, 1);
        QCOMPARE(settings.extNonAplFlg, 1);

        // The work folder settings were not written.
        QCOMPARE(QFileInfo(f.File()).size(), 0);
        QCOMPARE(QFileInfo(f.File()).lastModified(), stamp);
        QVERIFY(f.ui.Messages().isEmpty());

        // Reopened, the box stays unticked.
        CKankyoSet again(settings);
        QVERIFY(!Box(again, "1116")->isChecked());
    }

    void CancelChangesNothing() {
        WorkFixture f;
        SettingsRecord settings;
        settings.titleMode = 0;
        settings.extNonAplFlg = 0;
        DialogHook::Queue([](QDialog& d) {
            Box(d, "1116")->setChecked(false);
            Box(d, "1117")->setChecked(true);
            return int(QDialog::Rejected);
        });
        const KankyoResult result = RunKankyoSet(nullptr, settings, f.work, f.dir.path());
        QVERIFY(!result.accepted);
        QVERIFY(!result.extensionDisplayChanged);
        QVERIFY(!result.workFolderChanged);
        QCOMPARE(settings.titleMode, 0);
        QCOMPARE(settings.extNonAplFlg, 0);
        QVERIFY(!QFileInfo::exists(f.File()));
        QVERIFY(f.ui.Messages().isEmpty());
    }

    void AnyValueButOneHidesExtensions() {
        SettingsRecord settings;
        settings.titleMode = 5;
        settings.extNonAplFlg = 3;
        CK81PPage page;
        page.Load(settings);
        QVERIFY(page.HideExtensionsBox()->isChecked());
        QVERIFY(!page.TextFallbackBox()->isChecked());
        page.Store(settings);
        QCOMPARE(settings.titleMode, 0);
        QCOMPARE(settings.extNonAplFlg, 0);
    }

    void ChangedWorkFolderIsSavedAtOnce() {
        WorkFixture f;
        QCOMPARE(f.work.LoadWorkFolderSettings(f.dir.path()), OpResult::kDone);
        SettingsRecord settings;
        // Stands in for a page that edits the work folder.
        DialogHook::Queue([&f](QDialog&) {
            f.work.angoTempFolderFlg = QStringLiteral("1");
            f.work.angoTempFolder = QStringLiteral("/fast/work");
            return int(QDialog::Accepted);
        });
        const KankyoResult result = RunKankyoSet(nullptr, settings, f.work, f.dir.path());
        QVERIFY(result.workFolderChanged);
        QVERIFY(!result.extensionDisplayChanged);
        QCOMPARE(QFileInfo(f.File()).size(), 4 * WorkFolderSettings::kRecordSize);
    }

    // The sheet says where this run's decrypted files are: here the private folder that took them from a stick.
    void SheetShowsWhereThePlaintextLives() {
        WorkFixture f;
        f.work.plainRoot = QStringLiteral("/run/user/1000/korimbo-portable-0a1b-work");
        SettingsRecord settings;
        QString shown;
        DialogHook::Queue([&shown](QDialog& d) {
            shown = d.findChild<QLabel*>(QStringLiteral("plainPlace"))->text();
            return int(QDialog::Rejected);
        });
        RunKankyoSet(nullptr, settings, f.work, f.dir.path());
        QCOMPARE(shown, QStringLiteral("復号したファイルの置き場所：/run/user/1000/korimbo-portable-0a1b-work"));
    }

    // Last: the translation stays installed for the rest of the process.
    void QtsOwnDialogsSpeakJapanese() {
        const QString english = QStringLiteral("Look in:");
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), english);
        // No bundle beside the test: the system's Qt texts are used.
        QVERIFY(InstallQtTranslation(QStringLiteral("/nonexistent")));
        QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != english);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    }
};

QTEST_MAIN(TestDialogs)
#include "TestDialogs.moc"
