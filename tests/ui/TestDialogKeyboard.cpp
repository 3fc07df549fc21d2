#include "AppRig.h"
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
#include <QTest>
#include <functional>

using namespace korimbo;

using Factory = std::function<std::unique_ptr<QDialog>()>;

// Every dialog has a Japanese name for screen readers, and Tab, pressed to go round twice, reaches each control.
class TestDialogKeyboard : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    AppRig m_app{m_dir.path()};
    SettingsRecord m_settings;
    // A row that makes a `Dialog` from `args` (a reference passed by std::ref).
    template <typename Dialog, typename... Args>
    static void Row(const char* name, Args... args) {
        QTest::newRow(name) << Factory([=] { return std::unique_ptr<QDialog>(std::make_unique<Dialog>(args...)); });
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_app.Start());
    }

    void TabReachesEveryControl_data() {
        QTest::addColumn<Factory>("make");
        const auto messages = std::ref<MessageSource>(*m_app.app.State().catalogue);
        const QString text = QStringLiteral("本文"), box = QStringLiteral("今後表示しない(&D)");
        Row<CD02AngoOut>("D02", true);
        Row<CD03PassChange>("D03", QList<ChangePasswordText>{{text, {}, {}}}, false, TakeOutPrompts::PasswordCheck{});
        Row<CD08Password>("D08", PasswordPrompts::PromptMode::kLogin, messages);
        Row<CD09PasswordSet>("D09", PasswordPrompts::SetMode::kOther, QStringLiteral("/f"), std::ref(m_app.app));
        Row<CD11UpPassword>("D11", std::ref(m_app.ui), messages);
        Row<CD12UpPasswordIn>("D12", std::ref(m_app.ui), messages);
        Row<CD13Msg1>("D13", CD13Msg1::Options{.text = text, .customIcon = {}, .checkLabel = box, .withCancel = true});
        Row<CD14KanriPass>("D14");
        Row<CD17Property>("D17", ItemProperties{});
        Row<CD18PropertySum>("D18", PropertiesSummary{});
        Row<CD20EntryRemote>("D20", QStringLiteral("/media/usb/f"));
        Row<CD22Init2>("D22");
        const CD25ReturnMsg::Options list{
            .caption = text, .text = text, .customIcon = {}, .items = {text}, .checkLabel = box};
        Row<CD25ReturnMsg>("D25", list);
        Row<CKankyoSet>("KankyoSet", std::ref(m_settings));
        Row<CVersionDialog>("Version", QStringLiteral("https://example.invalid/"));
        Row<COverwriteDialog>("Overwrite files", messages, EncryptInPrompts::FileSide{}, EncryptInPrompts::FileSide{},
                              false);
        Row<COverwriteDialog>("Overwrite folder", messages, QStringLiteral("/t"), QStringLiteral("/s"));
    }
    void TabReachesEveryControl() {
        QFETCH(Factory, make);
        const std::unique_ptr<QDialog> dialog = make();
        const QString name = dialog->accessibleName();
        QVERIFY2(std::any_of(name.begin(), name.end(), [](QChar c) { return c >= u'\u3040'; }), qPrintable(name));
        QVERIFY(!dialog->accessibleDescription().isEmpty());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QSet<QWidget*> reached;
        for (int step = 0; step < 60; ++step, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            reached.insert(QApplication::focusWidget());
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            const auto* radio = qobject_cast<QRadioButton*>(widget); // of a group, only the checked one takes Tab
            if (widget->isVisible() && widget->isEnabled() && !widget->focusProxy() &&
                (widget->focusPolicy() & Qt::TabFocus) && (!radio || radio->isChecked() || !radio->autoExclusive()))
                QVERIFY2(reached.contains(widget), widget->metaObject()->className());
        }
    }
};

QTEST_MAIN(TestDialogKeyboard)
#include "TestDialogKeyboard.moc"
