// A work folder the user chose keeps the plaintext wherever it lies; a private folder that cannot be made
// is said (A780) and the run goes on in the work root.

#include "AppRig.h"

#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

class TestPlainRoot : public QObject {
    Q_OBJECT

    TestFolders m_folders;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    void TheUsersWorkFolderWins() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        const QString chosen = m_folders.NewFolder(QStringLiteral("chosen"));
        {
            AppRig rig(program);
            QVERIFY(rig.Start());
            WorkFolderSettings& work = *rig.app.State().workFolder;
            work.angoTempFolderFlg = QStringLiteral("1");
            work.angoTempFolder = chosen;
            QCOMPARE(work.SaveWorkFolderSettings(rig.app.EnvironmentFolder()), 0);
        }
        AppRig rig(program);
        rig.volumes.ownerModes = false;
        rig.volumes.type = DriveType::Removable;
        QVERIFY(rig.Start());
        QCOMPARE(rig.app.State().workFolder->PlainRoot(), chosen);
        QCOMPARE(rig.ui.Numbers(), QList<int>());
    }

    void NoPrivateFolderWarnsAndGoesOn() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        QFile blocked(Ckelpie5App::PrivatePlainRoot(program)); // a file in the folder's place
        QVERIFY(blocked.open(QIODevice::WriteOnly));
        AppRig rig(program);
        rig.volumes.ownerModes = false;
        QVERIFY(rig.Start());
        QCOMPARE(rig.ui.Numbers(), QList<int>({780}));
        QCOMPARE(rig.ui.Find(780)->icon, Icon::Warning);
        QCOMPARE(rig.app.State().workFolder->PlainRoot(), rig.app.StandardWorkFolder());
        QVERIFY(blocked.remove());
    }
};

QTEST_GUILESS_MAIN(TestPlainRoot)
#include "TestPlainRoot.moc"
