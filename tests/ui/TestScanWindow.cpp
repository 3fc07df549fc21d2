#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ScanResultModel.h"
#include "ui/CommandIds.h"
#include "ui/ScanResultDialog.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"

#include <QMenu>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>

using namespace korimbo;

namespace {

// A container of `bytes` made in `folder` with the folder's key; its path.
QString Encrypted(FrameRig& rig, const QString& folder, const QString& name, const QByteArray& bytes) {
    const QString key = rig.app.DefaultEncryptedFolder();
    const QString source = rig.dir.filePath(QStringLiteral("outside/") + name);
    QDir().mkpath(QFileInfo(source).path());
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    file.close();
    CCryptEngine& engine = *rig.app.State().engine;
    QString container;
    if (engine.MakeContainerName(folder, container) != 0 ||
        engine.EncryptFile(source, folder + u'/' + container, key) != 0)
        return QString();
    return folder + u'/' + container;
}

bool FlipMiddle(const QString& path) {
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x08);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

QByteArray Noise(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919 + i / 13) & 0xFF);
    return bytes;
}

} // namespace

class TestScanWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // All whole: one catalogue message with the count, shown while the stop button was there to press.
    void AllWholeIsOneMessageWithTheCount() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
        for (int i = 0; i < 3; ++i)
            QVERIFY(!Encrypted(rig, i ? folder + QStringLiteral("/sub") : folder, QStringLiteral("w%1.txt").arg(i),
                               Noise(4000 + i))
                         .isEmpty());
        bool stopOffered = false;
        rig.ui.OnPump([&](int) { stopOffered |= rig.frame->Action(cmd::Stop)->isEnabled(); });
        rig.frame->OnCommand(cmd::IntegrityScan);
        const auto* shown = rig.ui.Find(msg::kScanAllWhole);
        QVERIFY(shown);
        QCOMPARE(shown->icon, Icon::Information);
        QVERIFY(shown->text.endsWith(QStringLiteral("3")));
        QVERIFY(stopOffered);
        QVERIFY(rig.ui.Status().contains(QStringLiteral("3 / 3")));
        QVERIFY(!rig.frame->IsBusy());
        QVERIFY(!rig.frame->Action(cmd::Stop)->isEnabled());
    }

    // A damaged container: the result window opens at the end of the busy time, lists it by its stored
    // name, and its real widget takes the keyboard (Tab to the list and back, Return closes).
    void ResultWindowListsTheDamageAndTakesKeys() {
        FrameRig rig;
        QVERIFY(rig.Start());
        const QString folder = rig.app.DefaultEncryptedFolder();
        QVERIFY(!Encrypted(rig, folder, QStringLiteral("whole.txt"), Noise(5000)).isEmpty());
        const QString damaged = Encrypted(rig, folder, QStringLiteral("壊れた.xls"), Noise(60000));
        QVERIFY(FlipMiddle(damaged));
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));

        int rows = -1;
        QString name;
        QString reason;
        bool busyMeanwhile = false;
        bool tableReached = false;
        RealAnswer close([&](QWidget* window) {
            auto* dialog = qobject_cast<CScanResultDialog*>(window);
            if (!dialog)
                return;
            busyMeanwhile = rig.frame->IsBusy();
            rows = dialog->Model()->rowCount();
            name = dialog->Model()->index(0, CScanResultModel::kNameColumn).data().toString();
            reason = dialog->Model()->index(0, CScanResultModel::kReasonColumn).data().toString();
            QTest::keyClick(dialog, Qt::Key_Tab);
            tableReached = dialog->focusWidget() == dialog->Table();
            QTest::keyClick(dialog, Qt::Key_Tab);
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        rig.frame->OnCommand(cmd::IntegrityScan);
        QVERIFY(close.Answered());
        QVERIFY(!close.TimedOut());
        QCOMPARE(rows, 1);
        QCOMPARE(name, QStringLiteral("壊れた.xls"));
        QCOMPARE(reason, rig.app.State().catalogue->m_GetMsgA(msg::kScanBodyError));
        QVERIFY(busyMeanwhile);
        QVERIFY(tableReached);
        QVERIFY(!rig.ui.Has(msg::kScanAllWhole));
        QVERIFY(!rig.frame->IsBusy());
    }
};

QTEST_MAIN(TestScanWindow)
#include "TestScanWindow.moc"
