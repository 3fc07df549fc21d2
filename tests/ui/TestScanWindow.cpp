#include "DialogChecks.h"
#include "FrameRig.h"
#include "RealAnswer.h"
#include "folder/ScanResultModel.h"
#include "ui/CommandIds.h"
#include "ui/ScanResultDialog.h"
#include "util/MessageNumbers.h"

#include <QStandardPaths>
#include <QTableView>
#include <QTest>

using namespace korimbo;

namespace {

// A container of noise made in the encrypted folder; its path. `flip`: one bit in the middle of it flipped.
QString Encrypted(FrameRig& rig, const QString& name, int size, bool flip = false) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7919 + i / 13) & 0xFF);
    const QString folder = rig.app.DefaultEncryptedFolder();
    const QString source = rig.dir.filePath(QStringLiteral("outside/") + name);
    QFile file(source);
    QString container;
    if (!QDir().mkpath(QFileInfo(source).path()) || !file.open(QIODevice::WriteOnly) || file.write(bytes) != size ||
        !file.flush() || rig.app.State().engine->MakeContainerName(folder, container) != 0 ||
        rig.app.State().engine->EncryptFile(source, folder + u'/' + container, folder) != 0)
        return QString();
    QFile made(folder + u'/' + container);
    made.setPermissions(made.permissions() | QFile::WriteOwner);
    uchar* middle = flip && made.open(QIODevice::ReadWrite) ? made.map(made.size() / 2, 1) : nullptr;
    if (middle)
        *middle ^= 0x08;
    return !flip || middle ? made.fileName() : QString();
}

} // namespace

class TestScanWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { VERIFY_DIALOGS_SETTLED(); }

    // All whole: one catalogue message with the count, shown while the stop button was there to press.
    // Then a damaged container: the result window opens while the frame is still busy, lists it by its
    // stored name, and its real widget takes the keyboard (Tab to the list and on, Return closes).
    void ScanTellsAllWholeThenListsTheDamage() {
        FrameRig rig;
        QVERIFY(rig.Start());
        QVERIFY(!Encrypted(rig, QStringLiteral("w1.txt"), 4000).isEmpty() &&
                !Encrypted(rig, QStringLiteral("w2.txt"), 5000).isEmpty());
        bool stopOffered = false;
        rig.ui.OnPump([&](int) { stopOffered |= rig.frame->Action(cmd::Stop)->isEnabled(); });
        rig.frame->OnCommand(cmd::IntegrityScan);
        const auto* whole = rig.ui.Find(msg::kScanAllWhole);
        QVERIFY(whole && whole->icon == Icon::Information && whole->text.endsWith(QStringLiteral("2")));
        QVERIFY(stopOffered);
        QVERIFY(!rig.frame->Action(cmd::Stop)->isEnabled());
        rig.ui.Clear();
        QVERIFY(!Encrypted(rig, QStringLiteral("壊れた.xls"), 60000, true).isEmpty());
        rig.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.frame.get()));
        QStringList seen;
        RealAnswer close([&](QWidget* window) {
            auto* dialog = qobject_cast<CScanResultDialog*>(window);
            if (!dialog)
                return;
            seen << QString::number(rig.frame->IsBusy()) << QString::number(dialog->Model()->rowCount())
                 << dialog->Model()->index(0, CScanResultModel::kNameColumn).data().toString()
                 << dialog->Model()->index(0, CScanResultModel::kReasonColumn).data().toString();
            QTest::keyClick(dialog, Qt::Key_Tab);
            seen << QString::number(dialog->focusWidget() == dialog->Table());
            QTest::keyClick(dialog, Qt::Key_Tab);
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        rig.frame->OnCommand(cmd::IntegrityScan);
        QVERIFY(close.Answered() && !close.TimedOut());
        QCOMPARE(seen, (QStringList{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("壊れた.xls"),
                                    rig.app.State().catalogue->m_GetMsgA(msg::kScanBodyError), QStringLiteral("1")}));
        QVERIFY(!rig.ui.Has(msg::kScanAllWhole) && !rig.frame->IsBusy());
    }
};

QTEST_MAIN(TestScanWindow)
#include "TestScanWindow.moc"
