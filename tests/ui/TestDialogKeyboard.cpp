#include "DialogChecks.h"
#include "FakePlatform.h"
#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "app/Kelpie5App.h"
#include "state/SettingsFile.h"
#include "ui/D02AngoOut.h"
#include "ui/D03PassChange.h"
#include "ui/D08Password.h"
#include "ui/D09PasswordSet.h"
#include "ui/D11UpPassword.h"
#include "ui/D12UpPasswordIn.h"
#include "ui/D13Msg1.h"
#include "ui/D14KanriPass.h"
#include "ui/D17Property.h"
#include "ui/D18PropertySum.h"
#include "ui/D20EntryRemote.h"
#include "ui/D22Init2.h"
#include "ui/D25ReturnMsg.h"
#include "ui/KankyoSet.h"
#include "ui/OverwriteDialog.h"
#include "ui/VersionDialog.h"

#include <QApplication>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace korimbo;

namespace {

// A started application in a program folder of its own, for the dialogs that read its state.
struct Rig {
    QTemporaryDir dir;
    ScriptedInteraction ui;
    FaultyFileSystem files;
    FakeVolumes volumes;
    FakeUserFolders userFolders;
    Ckelpie5App app{dir.path(), {ui, files, volumes, userFolders}};
    TestCatalogue messages;
    SettingsRecord settings;
};

using Factory = std::function<std::unique_ptr<QDialog>(Rig&)>;

const QList<QPair<const char*, Factory>>& Dialogs() {
    static const QList<QPair<const char*, Factory>> dialogs = {
        {"D02", [](Rig&) { return std::make_unique<CD02AngoOut>(true); }},
        {"D03", [](Rig&) {
             return std::make_unique<CD03PassChange>(QList<ChangePasswordText>{{QStringLiteral("仕事"), {}, {}}}, false,
                                                     TakeOutPrompts::PasswordCheck{});
         }},
        {"D08", [](Rig& rig) { return std::make_unique<CD08Password>(PasswordPrompts::PromptMode::kLogin, rig.messages); }},
        {"D09", [](Rig& rig) { return std::make_unique<CD09PasswordSet>(PasswordPrompts::SetMode::kOther, QStringLiteral("/f"), rig.app); }},
        {"D11", [](Rig& rig) { return std::make_unique<CD11UpPassword>(rig.ui, rig.messages); }},
        {"D12", [](Rig& rig) { return std::make_unique<CD12UpPasswordIn>(rig.ui, rig.messages); }},
        {"D13", [](Rig&) {
             CD13Msg1::Options options;
             options.text = QStringLiteral("本文");
             options.checkLabel = QStringLiteral("今後表示しない(&D)");
             options.withCancel = true;
             return std::make_unique<CD13Msg1>(options);
         }},
        {"D14", [](Rig&) { return std::make_unique<CD14KanriPass>(); }},
        {"D17", [](Rig&) { return std::make_unique<CD17Property>(ItemProperties{}); }},
        {"D18", [](Rig&) { return std::make_unique<CD18PropertySum>(PropertiesSummary{}); }},
        {"D20", [](Rig&) { return std::make_unique<CD20EntryRemote>(QStringLiteral("/media/usb/f")); }},
        {"D22", [](Rig&) { return std::make_unique<CD22Init2>(); }},
        {"D25", [](Rig&) {
             CD25ReturnMsg::Options options;
             options.caption = QStringLiteral("確認");
             options.text = QStringLiteral("本文");
             options.items = {QStringLiteral("/a/b.txt")};
             options.checkLabel = QStringLiteral("今後表示しない(&D)");
             return std::make_unique<CD25ReturnMsg>(options);
         }},
        {"KankyoSet", [](Rig& rig) { return std::make_unique<CKankyoSet>(rig.settings); }},
        {"Version", [](Rig&) { return std::make_unique<CVersionDialog>(QStringLiteral("https://example.invalid/")); }},
        {"Overwrite files", [](Rig& rig) {
             return std::make_unique<COverwriteDialog>(rig.messages, EncryptInPrompts::FileSide{},
                                                       EncryptInPrompts::FileSide{}, false);
         }},
        {"Overwrite folder", [](Rig& rig) {
             return std::make_unique<COverwriteDialog>(rig.messages, QStringLiteral("/t"), QStringLiteral("/s"));
         }},
    };
    return dialogs;
}

// Whether Tab should reach `widget`: shown, enabled, taking focus by Tab itself (an unchecked radio
// button of a group is reached by the arrow keys instead).
bool ShouldBeReached(const QWidget* widget, const QWidget& dialog) {
    if (!widget->isVisibleTo(&dialog) || !widget->isEnabled() || widget->focusProxy() ||
        !(widget->focusPolicy() & Qt::TabFocus))
        return false;
    const auto* radio = qobject_cast<const QRadioButton*>(widget);
    return !radio || radio->isChecked() || !radio->autoExclusive();
}

} // namespace

// Every dialog has a Japanese name for screen readers, and Tab reaches each of its buttons and fields,
// never a disabled or hidden one.
class TestDialogKeyboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    void TabReachesEveryControl_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < Dialogs().size(); ++i)
            QTest::newRow(Dialogs()[i].first) << i;
    }
    void TabReachesEveryControl() {
        QFETCH(int, index);
        Rig rig;
        QVERIFY(rig.app.InitInstance() && rig.app.CreateState() == OpResult::kDone);
        const std::unique_ptr<QDialog> dialog = Dialogs()[index].second(rig);
        QVERIFY(!dialog->accessibleName().isEmpty());
        QVERIFY(!dialog->accessibleDescription().isEmpty());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QWidget* first = QApplication::focusWidget();
        QVERIFY(first);
        // A label with a link keeps the focus for one Tab while it selects the link.
        QSet<QWidget*> reached{first};
        QWidget* focused = first;
        bool wentRound = false;
        for (int step = 0; step < 60 && !wentRound; ++step) {
            QTest::keyClick(focused, Qt::Key_Tab);
            QWidget* next = QApplication::focusWidget();
            QVERIFY(next);
            QVERIFY2(next->isEnabled() && next->isVisible(), next->metaObject()->className());
            wentRound = next == first && focused != first;
            reached.insert(next);
            focused = next;
        }
        QVERIFY(wentRound || reached.size() == 1);
        for (QWidget* widget : dialog->findChildren<QWidget*>())
            if (ShouldBeReached(widget, *dialog))
                QVERIFY2(reached.contains(widget), qPrintable(QString::fromLatin1(widget->metaObject()->className()) +
                                                              u' ' + widget->objectName()));
        dialog->reject();
    }
};

QTEST_MAIN(TestDialogKeyboard)
#include "TestDialogKeyboard.moc"
