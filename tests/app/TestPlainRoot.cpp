// Where a run keeps its plaintext: the work root, unless that lies on a volume that cannot keep it private
// and the user did not choose it; then a private folder of the runtime folder, or, when that cannot be
// made, the work root after a warning.

#include "AppRig.h"
#include "state/WorkAreas.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

    // A work folder the user set stays the place of the plaintext, whatever the volume.
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
        QVERIFY(rig.app.State().workFolder->plainRoot.isEmpty());
        QCOMPARE(rig.Add(m_folders.NewFolder(QStringLiteral("box")), QStringLiteral("Folder#Pw1"), QStringLiteral("0"),
                         QStringLiteral("W1")),
                 0);
        QCOMPARE(rig.app.WorkAreaOf(0, WorkAreas::kEditing), chosen + QStringLiteral("/W1/Ac"));
        QCOMPARE(rig.ui.Numbers(), QList<int>());
    }

    // A runtime folder where the private folder cannot be made (a file in its place): A780, and the run
    // goes on with the work root.
    void NoPrivateFolderWarnsAndGoesOn() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        const QString blocked = Ckelpie5App::PrivatePlainRoot(program);
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        AppRig rig(program);
        rig.volumes.ownerModes = false;
        QVERIFY(rig.Start());
        QCOMPARE(rig.ui.Numbers(), QList<int>({780}));
        QCOMPARE(rig.ui.Find(780)->icon, Icon::Warning);
        QVERIFY(rig.ui.Find(780)->text.contains(blocked));
        QVERIFY(rig.app.State().workFolder->plainRoot.isEmpty());
        QCOMPARE(rig.app.State().workFolder->PlainRoot(), rig.app.StandardWorkFolder());
        QVERIFY(QFile::remove(blocked));
    }

    // The private folder is named by the program folder: one per stick, the same at every run.
    void OnePrivateFolderPerProgramFolder() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        const QString first = Ckelpie5App::PrivatePlainRoot(program);
        QCOMPARE(Ckelpie5App::PrivatePlainRoot(program), first);
        QVERIFY(Ckelpie5App::PrivatePlainRoot(m_folders.NewFolder(QStringLiteral("program"))) != first);
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        QVERIFY2(first.startsWith(runtime + QStringLiteral("/korimbo-portable-")), qPrintable(first));
    }
};

QTEST_GUILESS_MAIN(TestPlainRoot)
#include "TestPlainRoot.moc"
