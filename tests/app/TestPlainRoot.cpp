// A work folder the user chose keeps the plaintext wherever it lies; a private folder that cannot be made
// is said (A780) and the run goes on in the work root.

#include "AppRig.h"

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

    void TheUsersWorkFolderWins() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        const QString chosen = m_folders.NewFolder(QStringLiteral("chosen"));
        {
            AppRig rig(program);
            QVERIFY(rig.Start());
            WorkFolderSettings& work = *rig.app.State().workFolder;
            work.angoTempFolderFlg = QStringLiteral("1");
            work.angoTempFolder = chosen;
            QCOMPARE(work.SaveWorkFolderSettings(rig.app.EnvironmentFolder()), OpResult::kDone);
        }
        AppRig rig(program);
        rig.volumes.ownerModes = false;
        rig.volumes.type = DriveType::Removable;
        QVERIFY(rig.Start());
        QCOMPARE(rig.app.State().workFolder->PlainRoot(), chosen);
        QCOMPARE(rig.ui.Numbers(), QList<int>());
    }

    // What a run that kept its plaintext on the stick left there comes over when the plaintext moves to the
    // private folder: the working copy to this run's "Ac", the staged copy wiped.
    void EarlierPlaintextComesOver() {
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        const QString box = m_folders.NewFolder(QStringLiteral("box"));
        QString earlierCopy;
        QString earlierStaged;
        {
            AppRig rig(program);
            QVERIFY(rig.Start());
            QCOMPARE(rig.Add(box, QStringLiteral("Box#Pass1"), QStringLiteral("0"), QStringLiteral("WID")), 0);
            const QString root = rig.app.State().workFolder->angoTempFolder;
            earlierCopy = root + QStringLiteral("/WID/Ac/notes/a.txt");
            earlierStaged = root + QStringLiteral("/WID/To/b.txt");
            QVERIFY(QDir().mkpath(QFileInfo(earlierCopy).path()) && QDir().mkpath(QFileInfo(earlierStaged).path()));
            for (const QString& path : {earlierCopy, earlierStaged}) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write("edited") == 6);
            }
        }
        AppRig rig(program);
        rig.volumes.ownerModes = false;
        QVERIFY(rig.Start());
        rig.app.BringOverEarlierPlainAreas();
        QFile moved(Ckelpie5App::PrivatePlainRoot(program) + QStringLiteral("/WID/Ac/notes/a.txt"));
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), QByteArray("edited"));
        QVERIFY(!QFileInfo::exists(earlierCopy) && !QFileInfo::exists(earlierStaged));
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
