#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ContentsModel.h"
#include "ui/D16HintDisp.h"
#include "util/MessageNumbers.h"

#include <QFrame>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStandardPaths>
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

// The tools of the window (hint window, plain-file check, registration chooser) through their real widgets.
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
};

QTEST_MAIN(TestToolCommands)
#include "TestToolCommands.moc"
