#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "ui/D16HintDisp.h"
#include "ui/DialogHook.h"
#include "util/MessageNumbers.h"

#include <QFileDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

using namespace korimbo;

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Drops `paths` on `target` as a file manager does.
void DropFiles(QWidget* target, const QStringList& paths) {
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

} // namespace

// The tools of the window: registration through a folder chooser, the plain-file check and the hint window,
// each answered through its real widgets.
class TestToolCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // The folder typed into the chooser is registered as a dropped one is, and logged in.
    void RegisterThroughTheFolderChooser() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.dir.filePath(QStringLiteral("second"));
        QVERIFY(QDir().mkpath(folder));
        rig.prompts.newPasswords.push_back(
            {PasswordPrompts::Answer::kOk, QStringLiteral("Second#Pw3"), QStringLiteral("二")});
        RealAnswer answer([folder](QWidget* window) {
            auto* chooser = qobject_cast<QFileDialog*>(window);
            auto* name = chooser ? chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!name)
                return;
            name->setText(folder);
            QTest::keyClick(name, Qt::Key_Return);
        });
        rig.frame->OnCommand(cmd::RegisterFolder);
        QVERIFY(answer.Answered());
        QVERIFY(!answer.TimedOut());
        QVERIFY(rig.app.State().registry->SlotOf(folder) >= 0);
        QVERIFY(rig.ui.Has(msg::kFolderRegistered));
    }

    // Plain files anywhere in the shown folder are reported by name after the question.
    void PlainFileCheckFromTheMenu() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        QVERIFY(WriteFile(folder + QStringLiteral("/sub/plain.txt"), "plain"));
        rig.frame->OnCommand(cmd::Refresh);
        QVERIFY(rig.frame->Commands().Action(cmd::PlainFileCheck)->isEnabled());
        rig.ui.QueueAnswer(kAnswerYes);
        rig.frame->OnCommand(cmd::PlainFileCheck);
        const auto* report = rig.ui.Find(msg::kPlainCheckDone);
        QVERIFY(report);
        QVERIFY(report->text.contains(QStringLiteral("\nsub/plain.txt")));
        QCOMPARE(report->icon, Icon::Warning);
    }

    // Files dropped on the frame show their stored hints; Enter closes the window.
    void HintWindowShowsDroppedHints() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        const QString source = rig.dir.filePath(QStringLiteral("outside/memo.txt"));
        const QString plain = rig.dir.filePath(QStringLiteral("outside/plain.txt"));
        QVERIFY(WriteFile(source, "memo") && WriteFile(plain, "plain"));
        QCOMPARE(rig.frame->EncryptIn(folder, {source}, false), OpResult::kDone);
        const QString container = rig.frame->Contents()->Item(0).FullPath();
        QString shown;
        RealAnswer answer([&](QWidget* window) {
            auto* hints = qobject_cast<CD16HintDisp*>(window);
            if (!hints)
                return;
            DropFiles(hints->DropFrame(), {container, plain});
            shown = hints->TextArea()->toPlainText();
            QTest::keyClick(hints, Qt::Key_Return);
        });
        rig.frame->OnCommand(cmd::HintWindow);
        QVERIFY(answer.Answered());
        QVERIFY(!answer.TimedOut());
        const QString notContainer = rig.app.State().catalogue->MsgA(msg::kHintNotContainer);
        QCOMPARE(shown, QFileInfo(container).fileName() + QStringLiteral("：\u3000花\nplain.txt：\u3000") + notContainer);
    }
};

QTEST_MAIN(TestToolCommands)
#include "TestToolCommands.moc"
