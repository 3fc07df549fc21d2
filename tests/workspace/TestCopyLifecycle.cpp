#include "CopiesRig.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

namespace {

constexpr int kMsgConflictCopy = 702;
constexpr int kMsgEraseUnchanged = 29;

// Containers of `directory` by their stored names.
QHash<QString, QString> ByName(CopiesRig& rig, const QString& directory) {
    QHash<QString, QString> containers;
    for (const QString& disk : rig.Containers(directory)) {
        ContainerInfo info;
        if (rig.Engine().ReadContainerInfo(directory + u'/' + disk, info, rig.folder, false) == 0)
            containers.insert(info.name, directory + u'/' + disk);
    }
    return containers;
}

} // namespace

// The life of a working copy while programs hand documents over, hold them, save during a write-back,
// and while the container changes behind the copy's back.
class TestCopyLifecycle : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<CopiesRig> Started() { return CopiesRig::Started(m_folders); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // The launcher lives past the launch and then ends, having handed the document to an instance: the
    // copy is kept while the instance has it, found whichever way the desktop shows it, and written back
    // when the instance ends. A copy held by a program that cannot be named waits until it is let go.
    void HandedOverDocumentIsKeptUntilItsProgramEnds_data() {
        QTest::addColumn<QString>("seenBy");
        for (const char* way : {"bus", "holder", "window", "executable", "held"})
            QTest::newRow(way) << QString::fromLatin1(way);
    }
    void HandedOverDocumentIsKeptUntilItsProgramEnds() {
        QFETCH(QString, seenBy);
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("b.txt"), "second document");
        FakeProcessProbe& probe = rig->probe;
        const qint64 launcher = rig->launcher.pid;
        const qint64 instance = 99;
        probe.running = {launcher, instance};
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QCOMPARE(rig->copies->Table().pid[0], launcher);

        if (seenBy == QLatin1String("bus"))
            probe.dbusOwners.insert(rig->launcher.appId, instance);
        else if (seenBy == QLatin1String("holder"))
            probe.holders.insert(copy, instance);
        else if (seenBy == QLatin1String("window"))
            probe.windows.insert(QStringLiteral("b.txt"), instance);
        else if (seenBy == QLatin1String("executable"))
            probe.executables.insert(QStringLiteral("example-editor"), instance);
        probe.openElsewhere.insert(copy);
        probe.End(launcher);
        for (int round = 0; round < 30; ++round)
            rig->copies->WatchTick();
        QCOMPARE(CopiesRig::Bytes(copy), QByteArray("second document"));
        QVERIFY(rig->copies->IsInUse(copy));
        if (seenBy != QLatin1String("held"))
            QCOMPARE(rig->copies->Table().pid[0], instance);

        QVERIFY(CopiesRig::Edit(copy, "second document, edited in the instance"));
        probe.openElsewhere.clear();
        probe.End(instance);
        for (int round = 0; round < 30 && QFileInfo::exists(copy); ++round)
            rig->copies->WatchTick();
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(rig->Opens(container, QStringLiteral("b.txt"), "second document, edited in the instance"));
        QCOMPARE(rig->copies->Table().Watched(), 0);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }

    // One copy opened twice (A6 "はい") in two programs: the first program's end leaves it to the second.
    void CopyOpenedTwiceWaitsForBothPrograms() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("t.txt"), "twice");
        rig->probe.running = {1, 2};
        rig->launcher.nextPids = {1, 2};
        const QString copy = rig->Open(container);
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->Open(container), copy);
        rig->EndAndTick(1);
        QCOMPARE(CopiesRig::Bytes(copy), QByteArray("twice"));
        QVERIFY(CopiesRig::Edit(copy, "twice, edited in the second"));
        rig->EndAndTick(2);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(rig->Opens(container, QStringLiteral("t.txt"), "twice, edited in the second"));
    }

    // The container was rewritten after the open (another program folder, another machine, a synchronised
    // folder). An untouched copy is only wiped; an edited one never goes over the newer container: it
    // becomes "<name> (競合 ...)" beside it, once, with A702. The record of the origin outlives the program.
    void StaleCopyNeverReplacesANewerContainer_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("restarted");
        QTest::newRow("untouched") << false << false;
        QTest::newRow("edited") << true << false;
        QTest::newRow("edited, left by a crash") << true << true;
    }
    void StaleCopyNeverReplacesANewerContainer() {
        QFETCH(bool, edited);
        QFETCH(bool, restarted);
        const QString program = m_folders.NewFolder(QStringLiteral("program"));
        auto rig = std::make_unique<CopiesRig>(program);
        QVERIFY(rig->StartIn(m_folders.NewFolder(QStringLiteral("box"))));
        const QString sub = rig->folder + QStringLiteral("/notes");
        QVERIFY(QDir().mkpath(sub));
        const QString container = rig->Encrypt(sub, QStringLiteral("memo.txt"), "as opened");
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        if (edited)
            QVERIFY(CopiesRig::Edit(copy, "the stale copy's edit"));

        // The same document, saved elsewhere: same stored name, new content.
        const QString newer = rig->scratch.path() + QStringLiteral("/elsewhere/memo.txt");
        QVERIFY(CopiesRig::WriteRaw(newer, "written elsewhere meanwhile"));
        QCOMPARE(rig->Engine().EncryptFile(newer, container, rig->folder), 0);
        QVERIFY(FolderRig::Touch(container, 5)); // a later second, whenever the test runs: the listing reads it anew
        QVERIFY(rig->Opens(container, QStringLiteral("memo.txt"), "written elsewhere meanwhile"));
        const QByteArray newerBytes = CopiesRig::Bytes(container);
        if (restarted) {
            const QString root = rig->folder;
            rig.reset();
            rig = std::make_unique<CopiesRig>(program);
            QVERIFY(rig->ResumeIn(root));
        }
        QCOMPARE(rig->copies->IsChanged(copy, container), edited);

        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(CopiesRig::Bytes(container), newerBytes);
        const QHash<QString, QString> stored = ByName(*rig, sub);
        if (!edited) {
            QCOMPARE(stored.size(), 1);
            QCOMPARE(rig->ui.Numbers(), QList<int>());
            return;
        }
        QCOMPARE(stored.size(), 2);
        QCOMPARE(rig->ui.Numbers(), QList<int>({kMsgConflictCopy}));
        const QString stamp = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QString conflict;
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            if (it.value() != container)
                conflict = it.key();
        QVERIFY2(conflict.startsWith(QStringLiteral("memo (競合 ") + stamp) && conflict.endsWith(QStringLiteral(").txt")),
                 qPrintable(conflict));
        QVERIFY(rig->ui.Find(kMsgConflictCopy)->text.endsWith(conflict));
        QVERIFY(rig->Opens(stored.value(conflict), conflict, "the stale copy's edit"));
        QVERIFY(CopiesRig::ReadOnly(container));
        QVERIFY(QDir(rig->Editing() + QStringLiteral("/notes")).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // An editor saves (a temporary file renamed over the copy) while the write-back encrypts: the save is
    // not wiped unseen but goes back too, and the container ends with the last save.
    void SaveDuringTheWriteBackIsNotWiped() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("s.txt"), "opened");
        const QString copy = rig->Open(container);
        QVERIFY(CopiesRig::Edit(copy, "first save"));
        FileIdentity before;
        QCOMPARE(rig->fs.Identify(container, before).error, 0);
        bool saved = false;
        rig->ui.OnPump([&](int) {
            FileIdentity now;
            // Once the first save's container has been renamed into place, before the copy is wiped.
            if (saved || rig->fs.Identify(container, now).Failed() || now.inode == before.inode)
                return;
            saved = true;
            const QString temp = copy + QStringLiteral(".save");
            QVERIFY(CopiesRig::WriteRaw(temp, "second save, made during the write-back"));
            QVERIFY(QFile::remove(copy) && QFile::rename(temp, copy));
        });
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QVERIFY(saved);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(rig->Opens(container, QStringLiteral("s.txt"), "second save, made during the write-back"));
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }

    // A copy another program holds open is not renamed to a wipe name and left: it keeps its name (and is
    // not listed as a stranger), the failure is told, and the next try after the program let go succeeds.
    void HeldCopyKeepsItsName() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("h.txt"), "held");
        const QString copy = rig->Open(container);
        rig->fs.heldOpen = {QStringLiteral("/h.txt"), EBUSY};
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({kMsgEraseUnchanged}));
        QCOMPARE(QDir(rig->Editing()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("h.txt")}));
        rig->fs.heldOpen = {};
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QVERIFY(!QFileInfo::exists(copy));
    }
};

QTEST_GUILESS_MAIN(TestCopyLifecycle)
#include "TestCopyLifecycle.moc"
