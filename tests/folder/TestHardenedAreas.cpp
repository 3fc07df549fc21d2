// What an interrupted write leaves in an encrypted folder goes at the next refresh unless a process still
// holds it; the work areas and what is written into them are the owner's alone.
#include "FakeProcesses.h"
#include "FolderRig.h"
#include "ScriptedPrompts.h"
#include "platform/Launcher.h"
#include "state/WorkAreas.h"
#include "workspace/LoginManager.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

using namespace korimbo;

namespace {

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

const QString kClosed = QStringLiteral(".korimbo-0123456789ABCDEF.part");
const QString kHeld = QStringLiteral(".korimbo-FEDCBA9876543210.plain.part");

} // namespace

class TestHardenedAreas : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<FolderRig> Started() { return FolderRig::Started(m_folders); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Only our own names go, only files, only those nothing holds open; without a probe nothing goes.
    void LeftoverTempFilesGoUnlessHeld() {
        auto rig = Started();
        QVERIFY(rig);
        const QString dir = rig->folder;
        const QString look = QStringLiteral(".korimbo-lease-ABCDEF"); // not a name of ours
        for (const QString& name : {kClosed, kHeld, look})
            QVERIFY(FolderRig::WriteRaw(dir + u'/' + name, "partial"));
        QVERIFY(QDir(dir).mkdir(QStringLiteral(".korimbo-00112233445566FF.part")));

        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0); // no probe yet
        QVERIFY(QFileInfo::exists(dir + u'/' + kClosed));

        FakeProcessProbe probe;
        probe.openElsewhere.insert(dir + u'/' + kHeld);
        rig->names->SetOpenCheck(&probe);
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(!QFileInfo::exists(dir + u'/' + kClosed));
        QVERIFY(QFileInfo::exists(dir + u'/' + kHeld));
        QVERIFY(QFileInfo::exists(dir + u'/' + look));
        QVERIFY(QFileInfo(dir + QStringLiteral("/.korimbo-00112233445566FF.part")).isDir());
        QCOMPARE(rig->names->LeftoversRemoved(), 1);
        QList<NameEntry> entries;
        QCOMPARE(rig->names->LoadNameEntries(dir, rig->folder, true, entries), 0);
        const NameIndex index = IndexByDiskName(entries);
        // Held or not, an unfinished write is no entry of the list.
        QVERIFY(!index.contains(kClosed));
        QVERIFY(!index.contains(kHeld));
        QVERIFY(rig->ui.Messages().isEmpty());

        probe.openElsewhere.clear(); // the writer has finished
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(!QFileInfo::exists(dir + u'/' + kHeld));
        QCOMPARE(rig->names->LeftoversRemoved(), 2);
    }

    // The real probe sees a file another process holds open, and lets it go once that process ends.
    void RealProbeKeepsWhatAnotherProcessHolds() {
        auto rig = Started();
        QVERIFY(rig);
        const QString held = rig->folder + u'/' + kHeld;
        QVERIFY(FolderRig::WriteRaw(held, "partial"));
        QProcess holder;
        holder.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("exec 3<\"$0\"; echo ready; read line"), held});
        QVERIFY(holder.waitForStarted());
        QVERIFY(holder.waitForReadyRead());
        LocalProcessProbe probe;
        rig->names->SetOpenCheck(&probe);
        QCOMPARE(rig->names->RefreshNameFile(rig->folder, rig->folder), 0);
        QVERIFY(QFileInfo::exists(held));

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished());
        QCOMPARE(rig->names->RefreshNameFile(rig->folder, rig->folder), 0);
        QVERIFY(!QFileInfo::exists(held));
    }

    // Login makes every area 0700 and takes group and other access from what an earlier run left; the
    // name files and scratch files written there later are owner-only whatever the umask.
    void WorkAreasAreOwnerOnly() {
        auto rig = Started();
        QVERIFY(rig);
        AppState& s = rig->app.State();
        const QString base = WorkAreas::BaseOf(s.workFolder->angoTempFolder, FolderRig::kWorkId);
        const QString creation = base + u'/' + WorkAreas::kCreation;
        QVERIFY(QDir().mkpath(creation + QStringLiteral("/old")));
        QVERIFY(FolderRig::WriteRaw(creation + QStringLiteral("/old/left.txt"), "plain"));
        ::chmod(QFile::encodeName(creation).constData(), 0755);
        ::chmod(QFile::encodeName(creation + QStringLiteral("/old")).constData(), 0755);
        ::chmod(QFile::encodeName(creation + QStringLiteral("/old/left.txt")).constData(), 0644);

        const mode_t oldMask = ::umask(022);
        CLoginManager login(*s.engine, *s.registry, *s.workFolder, s.settings, rig->fs, rig->ui, *s.catalogue);
        ScriptedPrompts prompts;
        const OpResult loggedIn = login.Login(rig->folder, prompts); // the key is in: no question
        QVERIFY(QDir(rig->folder).mkdir(QStringLiteral("sub")));
        const int refreshed = rig->names->RefreshNameFile(rig->folder + QStringLiteral("/sub"), rig->folder);
        const QString plain = creation + QStringLiteral("/copy.txt");
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "secret text");
        const EngineResult decrypted = s.engine->DecryptFile(container, plain, rig->folder);
        ::umask(oldMask);
        QCOMPARE(loggedIn, OpResult::kDone);
        QCOMPARE(refreshed, 0);
        QCOMPARE(decrypted, kOk);

        QCOMPARE(ModeOf(base), mode_t(0700));
        for (const QString& area : WorkAreas::kAll)
            QCOMPARE(ModeOf(base + u'/' + area), mode_t(0700));
        QCOMPARE(ModeOf(creation + QStringLiteral("/old")), mode_t(0700));
        QCOMPARE(ModeOf(creation + QStringLiteral("/old/left.txt")), mode_t(0600));
        QCOMPARE(ModeOf(plain), mode_t(0600));
        const QString subMirror = rig->MirrorOf(rig->folder + QStringLiteral("/sub"));
        QCOMPARE(ModeOf(QFileInfo(subMirror).absolutePath()), mode_t(0700));
        QCOMPARE(ModeOf(subMirror) & 077, mode_t(0)); // name files are kept read-only: 0400
    }
};

QTEST_GUILESS_MAIN(TestHardenedAreas)
#include "TestHardenedAreas.moc"
