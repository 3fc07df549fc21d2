#include "CopiesRig.h"

#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <unistd.h>

using namespace korimbo;

class TestWorkingCopies : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<CopiesRig> Started() { return CopiesRig::Started(m_folders); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Open shows the notice once, decrypts into the editing area under the plain name, clears the
    // container's read-only attribute and watches the editor; an edit goes back over the same container,
    // which keeps its disk name, ends read-only and decrypts to the new bytes; the copy and the slot go.
    void ChangedCopyIsWrittenBackOverItsContainer() {
        auto rig = Started();
        QVERIFY(rig);
        const QString sub = rig->folder + QStringLiteral("/docs");
        QVERIFY(QDir().mkpath(sub));
        const QString container = rig->Encrypt(sub, QStringLiteral("報告.txt"), "old text");
        QVERIFY(!container.isEmpty());
        QVERIFY(CopiesRig::ReadOnly(container));
        rig->probe.running.insert(rig->launcher.pid);

        QCOMPARE(rig->copies->Open({container}), OpResult::kDone);
        QCOMPARE(rig->notices, 1);
        QCOMPARE(rig->app.State().settings.procEndMsgFlg, 0);
        const QString copy = rig->Editing() + QStringLiteral("/docs/報告.txt");
        QCOMPARE(rig->launcher.calls.size(), 1);
        QCOMPARE(rig->launcher.calls.first().file, copy);
        QCOMPARE(CopiesRig::Bytes(copy), QByteArray("old text"));
        QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(),
                 QFileInfo(container).lastModified().toSecsSinceEpoch());
        QVERIFY(!CopiesRig::ReadOnly(container));
        QCOMPARE(rig->copies->LastOpened(), copy);
        QCOMPARE(rig->copies->Table().pid[0], rig->launcher.pid);
        QCOMPARE(rig->copies->Table().path[0], copy);
        QCOMPARE(rig->timer, QList<int>({300}));
        QString proposed;
        QCOMPARE(rig->copies->ContainerOf(copy, proposed, false), container);

        // Still running: nothing happens, the timer goes round again.
        rig->copies->WatchTick();
        QVERIFY(QFileInfo::exists(copy));
        QCOMPARE(rig->timer, QList<int>({300, 300}));

        QVERIFY(CopiesRig::Edit(copy, "new text, longer than the old one"));
        rig->EndAndTick(rig->launcher.pid);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(rig->Containers(sub), QStringList({QFileInfo(container).fileName()}));
        QVERIFY(rig->Opens(container, QStringLiteral("報告.txt"), "new text, longer than the old one"));
        QVERIFY(CopiesRig::ReadOnly(container));
        QCOMPARE(rig->copies->Table().Watched(), 0);
        QCOMPARE(rig->copies->Table().path[0], QString());
        QCOMPARE(rig->refreshes, 1);
        // One more round saw the slot; the round after that finds nothing and stops the timer.
        rig->copies->WatchTick();
        QCOMPARE(rig->timer, QList<int>({300, 300, 300, 0}));
    }

    // Closing without saving: the copy is wiped, the container is byte for byte as it was and read-only again.
    void UnchangedCopyIsWipedAndTheContainerKept() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("a.txt"), "same");
        const QByteArray before = CopiesRig::Bytes(container);
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QVERIFY(!rig->copies->IsChanged(copy, container));
        rig->EndAndTick(rig->launcher.pid);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(CopiesRig::Bytes(container), before);
        QVERIFY(CopiesRig::ReadOnly(container));
    }

    // The old container goes only once the new one is complete: a disk that fills up while it is written
    // leaves the old container and the copy as they were, and no half-written file beside them. The copy
    // stays too when the new container cannot be committed to disk.
    void CopyStaysUntilTheNewContainerIsSafe() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("m.bin"), QByteArray(5000, 'o'));
        const QByteArray before = CopiesRig::Bytes(container);
        const QString copy = rig->Open(container);
        // Random bytes: the container is compressed, and these must not shrink below the fault.
        QByteArray edit(300000, '\0');
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(edit.data()), edit.size() / 4);
        QVERIFY(CopiesRig::Edit(copy, edit));

        // A full disk, then a stick pulled half-way (the write fails with EIO).
        for (const int error : {ENOSPC, EIO}) {
            rig->ui.Clear();
            rig->fs.writeFault = {rig->folder + u'/', error, 100000};
            QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kFailed);
            QVERIFY(!rig->ui.Numbers().isEmpty());
            QCOMPARE(CopiesRig::Bytes(container), before);
            QVERIFY(CopiesRig::ReadOnly(container));
            QCOMPARE(CopiesRig::Bytes(copy), edit);
            QCOMPARE(QDir(rig->folder).entryList(QDir::Files | QDir::Hidden),
                     QStringList({QFileInfo(container).fileName()}));
        }

        rig->fs.writeFault = {};
        rig->fs.syncFault = {QFileInfo(container).fileName(), EIO};
        rig->ui.Clear();
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kFailed);
        QVERIFY(!rig->ui.Numbers().isEmpty());
        QCOMPARE(CopiesRig::Bytes(copy), edit);

        rig->fs.syncFault = {};
        rig->ui.Clear();
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(rig->Opens(container, QStringLiteral("m.bin"), edit));
    }

    // An edit that put the old time back but changed the size is still an edit.
    void EditThatRestoredTheTimeIsWrittenBack() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("b.txt"), "short");
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QVERIFY(CopiesRig::WriteRaw(copy, "a good deal longer"));
        QCOMPARE(rig->fs.SetModificationTime(copy, QFileInfo(container).lastModified().toSecsSinceEpoch()).error, 0);
        QVERIFY(rig->copies->IsChanged(copy, container));
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(rig->Opens(container, QStringLiteral("b.txt"), "a good deal longer"));
    }

    // An edit of the same size saved within the second the container was last written carries a time
    // with a fraction; the copy the program made carries whole seconds. The edit goes back, not away.
    void SameSizeEditWithinTheSecondIsWrittenBack() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("s.txt"), "first");
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QVERIFY(!rig->copies->IsChanged(copy, container));
        QVERIFY(CopiesRig::WriteRaw(copy, "fifth"));
        QFile file(copy);
        const QDateTime second = QDateTime::fromSecsSinceEpoch(QFileInfo(container).lastModified().toSecsSinceEpoch());
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(second.addMSecs(500), QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(rig->copies->IsChanged(copy, container));
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QVERIFY(rig->Opens(container, QStringLiteral("s.txt"), "fifth"));
    }

    // Mapping every container of a directory to its working copy refreshes the name file once, not once
    // per file; a container rewritten under another name since is mapped by its new name.
    void WorkingCopyPathsOfADirectoryCostOneRefresh() {
        auto rig = Started();
        QVERIFY(rig);
        QStringList containers;
        for (int i = 0; i < 30; ++i)
            containers.append(rig->Encrypt(rig->folder, QStringLiteral("f%1.txt").arg(i), "x"));
        const int before = rig->names->Refreshes();
        for (int i = 0; i < containers.size(); ++i)
            QCOMPARE(rig->copies->WorkingCopyPath(containers.at(i)),
                     rig->Editing() + QStringLiteral("/f%1.txt").arg(i));
        QCOMPARE(rig->names->Refreshes() - before, 1);

        const QString renamed = rig->Encrypt(rig->folder, QStringLiteral("renamed.txt"), "y");
        QVERIFY(QFile::remove(containers.first()) && QFile::rename(renamed, containers.first()));
        QVERIFY(FolderRig::Touch(containers.first(), 120));
        QCOMPARE(rig->copies->WorkingCopyPath(containers.first()), rig->Editing() + QStringLiteral("/renamed.txt"));
    }

    // Only a folder with a container that has a copy in the editing area, below it or in a subfolder, may
    // hold one: the others are not searched container by container (a delete of 10,000 files).
    void CopiesBelowAFolderAreFoundWhereTheyLie() {
        auto rig = Started();
        QVERIFY(rig);
        const QString inner = rig->folder + QStringLiteral("/docs/inner");
        QVERIFY(QDir().mkpath(inner) && QDir().mkpath(rig->folder + QStringLiteral("/other")));
        const QString container = rig->Encrypt(inner, QStringLiteral("c.txt"), "charlie");
        QVERIFY(!rig->copies->MayHoldCopiesBelow(rig->folder + QStringLiteral("/docs")));
        QVERIFY(!rig->Open(container).isEmpty());
        for (const QString& below : {QString(), QStringLiteral("/docs"), QStringLiteral("/docs/inner/")})
            QVERIFY2(rig->copies->MayHoldCopiesBelow(rig->folder + below), qPrintable(below));
        QVERIFY(!rig->copies->MayHoldCopiesBelow(rig->folder + QStringLiteral("/other")));
    }

    // The editor handed the document to a running instance and ended at once: the instance is found, in
    // this order, through the bus, the process holding the copy, its window, its executable; without any
    // of them the slot keeps only the path and the timer stays off.
    void ProgramThatEndsAtOnceIsFollowed() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("c.txt"), "c");
        const QString copy = rig->copies->WorkingCopyPath(container);
        QCOMPARE(copy, rig->Editing() + QStringLiteral("/c.txt"));
        FakeProcessProbe& probe = rig->probe;
        probe.running = {11, 12, 13, 14};
        probe.dbusOwners.insert(rig->launcher.appId, 11);
        probe.holders.insert(copy, 12);
        probe.windows.insert(QStringLiteral("c.txt"), 13);
        probe.executables.insert(QStringLiteral("example-editor"), 14);

        const QList<qint64> expected = {11, 12, 13, 14};
        for (int round = 0; round < expected.size(); ++round) {
            if (round > 0)
                rig->ui.QueueAnswer(kAnswerYes); // the copy exists: reuse it
            QVERIFY(!rig->Open(container).isEmpty());
            QCOMPARE(rig->copies->Table().pid[round], expected[round]);
            probe.End(expected[round]);
        }
        // Nobody found: the slot looks again for a few rounds (an instance may show the document late),
        // then lets go; the copy waits in the decrypted-file list and the timer stops.
        for (int slot = 0; slot < expected.size(); ++slot)
            rig->copies->Table().Free(slot);
        rig->ui.QueueAnswer(kAnswerYes);
        rig->timer.clear();
        QVERIFY(!rig->Open(container).isEmpty());
        QCOMPARE(rig->copies->Table().pid[0], 0);
        QCOMPARE(rig->copies->Table().path[0], copy);
        QCOMPARE(rig->timer, QList<int>({300}));
        for (int round = 0; round < 20 && rig->copies->Table().Watched() > 0; ++round)
            rig->copies->WatchTick();
        QCOMPARE(rig->copies->Table().Watched(), 0);
        rig->copies->WatchTick();
        QCOMPARE(rig->timer.last(), 0);
        QVERIFY(QFileInfo::exists(copy));

        // The holder found for a copy is the one the watch follows to its end.
        probe.running.insert(12);
        probe.holders.insert(copy, 12);
        rig->copies->Table().pid.fill(0);
        rig->ui.QueueAnswer(kAnswerYes);
        QVERIFY(!rig->Open(container).isEmpty());
        QCOMPARE(rig->copies->Table().pid[0], 12);
        rig->copies->WatchTick();
        QVERIFY(QFileInfo::exists(copy));
        rig->EndAndTick(12);
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(rig->ui.Numbers(), QList<int>({6, 6, 6, 6, 6}));
    }

    // 200 programs are watched; the 201st gets A8 and runs unwatched, the others keep their slots.
    void TheTwoHundredFirstWatchGetsA8() {
        auto rig = Started();
        QVERIFY(rig);
        const QString first = rig->Encrypt(rig->folder, QStringLiteral("d.txt"), "d");
        const QString second = rig->Encrypt(rig->folder, QStringLiteral("e.txt"), "e");
        WatchTable& table = rig->copies->Table();
        for (int i = 0; i < WatchTable::kSlots - 1; ++i) {
            table.pid[i] = 1000 + i;
            table.path[i] = QStringLiteral("/elsewhere/%1").arg(i);
        }
        rig->probe.running.insert(rig->launcher.pid);
        QVERIFY(!rig->Open(first).isEmpty());
        QCOMPARE(table.pid[WatchTable::kSlots - 1], rig->launcher.pid);
        QCOMPARE(table.FreeSlot(), -1);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        const QString copy = rig->Open(second);
        QVERIFY(!copy.isEmpty());
        QCOMPARE(rig->ui.Numbers(), QList<int>({8}));
        QCOMPARE(table.Watched(), WatchTable::kSlots);
        QVERIFY(std::find(table.path.begin(), table.path.end(), copy) == table.path.end());
        QCOMPARE(table.pid[0], 1000);
    }

    // The medium went away while the editor ran: A28, the copy with the changes stays.
    void UnreachableFolderKeepsTheCopy() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("f.txt"), "f");
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QVERIFY(CopiesRig::Edit(copy, "changed"));
        const QString moved = rig->folder + QStringLiteral("-away");
        QVERIFY(QDir().rename(rig->folder, moved));
        rig->EndAndTick(rig->launcher.pid);
        QCOMPARE(rig->ui.Numbers(), QList<int>({28}));
        QVERIFY(rig->ui.Find(28)->text.contains(rig->folder));
        QCOMPARE(CopiesRig::Bytes(copy), QByteArray("changed"));
        QVERIFY(QDir().rename(moved, rig->folder));
    }

    // A file made in the editing area has no container: the mapping proposes one in the matching
    // directory (A162 unless quiet), and the write-back makes it there.
    void CopyWithoutContainerBecomesANewContainer() {
        auto rig = Started();
        QVERIFY(rig);
        const QString sub = rig->folder + QStringLiteral("/plans");
        QVERIFY(QDir().mkpath(sub));
        rig->Encrypt(sub, QStringLiteral("other.txt"), "other");
        const QString copy = rig->Editing() + QStringLiteral("/plans/new.txt");
        QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
        QVERIFY(CopiesRig::WriteRaw(copy, "brand new"));
        QString proposed;
        QCOMPARE(rig->copies->ContainerOf(copy, proposed, false), QString());
        QCOMPARE(QFileInfo(proposed).absolutePath(), sub);
        QVERIFY(proposed.endsWith(QStringLiteral(".zorf")));
        QCOMPARE(rig->ui.Numbers(), QList<int>({162}));
        rig->ui.Clear();
        QCOMPARE(rig->copies->ContainerOf(rig->scratch.path() + QStringLiteral("/x.txt"), proposed, false), QString());
        QCOMPARE(proposed, QString());

        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(rig->Containers(sub).size(), 2);
        QCOMPARE(rig->Containers(rig->folder).size(), 0);
        const QString made = rig->copies->ContainerOf(copy, proposed, true);
        QVERIFY(!made.isEmpty());
        QVERIFY(rig->Opens(made, QStringLiteral("new.txt"), "brand new"));
        QVERIFY(CopiesRig::ReadOnly(made));
    }

    // A second open while the copy exists asks A6: Yes opens the copy as it is (no new decryption), No
    // opens nothing.
    void SecondOpenAsksA6() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("g.txt"), "g");
        const QString copy = rig->Open(container);
        QVERIFY(CopiesRig::WriteRaw(copy, "edited meanwhile"));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->Open(container), copy);
        QCOMPARE(rig->ui.Numbers(), QList<int>({6}));
        QVERIFY(rig->ui.Find(6)->text.endsWith(QStringLiteral("g.txt")));
        QCOMPARE(CopiesRig::Bytes(copy), QByteArray("edited meanwhile"));
        QCOMPARE(rig->launcher.calls.size(), 2);
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->Open(container), QString());
        QCOMPARE(rig->launcher.calls.size(), 2);
    }

    // With the watch switched off the program is started but nothing is watched; the copy stays.
    // Without a program for the type nothing is decrypted (A4); a failed start gives A7 and keeps the copy.
    void WatchOffAndLaunchFailures() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("h.txt"), "h");
        rig->app.State().settings.execProcEndWaitFlg = 0;
        rig->probe.running.insert(rig->launcher.pid);
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QCOMPARE(rig->launcher.calls.size(), 1);
        QCOMPARE(rig->copies->Table().Watched(), 0);
        QCOMPARE(rig->copies->Table().path[0], QString());
        QCOMPARE(rig->timer, QList<int>());
        rig->copies->WatchTick();
        QVERIFY(QFileInfo::exists(copy));

        const QString other = rig->Encrypt(rig->folder, QStringLiteral("i.odd"), "i");
        rig->associations.program.clear();
        QCOMPARE(rig->Open(other), QString());
        QCOMPARE(rig->ui.Numbers(), QList<int>({4}));
        QVERIFY(rig->ui.Find(4)->text.startsWith(QStringLiteral(" 'i.odd'")));
        QVERIFY(!QFileInfo::exists(rig->Editing() + QStringLiteral("/i.odd")));

        rig->associations.program = QStringLiteral("/usr/bin/example-editor");
        rig->launcher.result = -1;
        QCOMPARE(rig->Open(other), QString());
        QCOMPARE(rig->ui.Numbers(), QList<int>({4, 7}));
        QVERIFY(QFileInfo::exists(rig->Editing() + QStringLiteral("/i.odd")));
    }

    // Plaintext is for the owner only: the editing area and its folders 0700 (also an area an earlier
    // login made with the default mode), the copies 0600. Decrypt only copies a folder recursively.
    void EditingAreaIsPrivate() {
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(QDir().mkpath(rig->Editing()));
        QVERIFY(QFile::setPermissions(rig->Editing(), QFile::Permissions(0x7755)));
        const QString sub = rig->folder + QStringLiteral("/deep/er");
        QVERIFY(QDir().mkpath(sub));
        rig->Encrypt(rig->folder + QStringLiteral("/deep"), QStringLiteral("j.txt"), "j");
        const QString container = rig->Encrypt(sub, QStringLiteral("k.txt"), "k");
        int refreshed = 0;
        rig->copies->refreshDecryptedList = [&refreshed] { ++refreshed; };
        QCOMPARE(rig->copies->DecryptOnly({rig->folder + QStringLiteral("/deep")}), OpResult::kDone);
        QCOMPARE(refreshed, 1);
        QCOMPARE(rig->launcher.calls.size(), 0);
        const QString j = rig->Editing() + QStringLiteral("/deep/j.txt");
        const QString k = rig->Editing() + QStringLiteral("/deep/er/k.txt");
        QCOMPARE(CopiesRig::Bytes(j), QByteArray("j"));
        QCOMPARE(CopiesRig::Bytes(k), QByteArray("k"));
        QCOMPARE(CopiesRig::Mode(rig->Editing()), 0700);
        QCOMPARE(CopiesRig::Mode(rig->Editing() + QStringLiteral("/deep")), 0700);
        QCOMPARE(CopiesRig::Mode(rig->Editing() + QStringLiteral("/deep/er")), 0700);
        QCOMPARE(CopiesRig::Mode(j), 0600);
        QCOMPARE(CopiesRig::Mode(k), 0600);
        QVERIFY(!CopiesRig::ReadOnly(container));

        QString error;
        QCOMPARE(rig->copies->EraseCopy(rig->Editing() + QStringLiteral("/deep"), error), 0);
        QVERIFY(!QFileInfo::exists(rig->Editing() + QStringLiteral("/deep")));
        QVERIFY(QFileInfo::exists(rig->Editing()));
    }

    // A folder registered read-only: the copy is read-only, the container keeps its attribute, and a
    // changed copy is erased after A30/A31 without touching the container.
    void ReadOnlyFolderErasesAChangedCopy() {
        auto rig = std::make_unique<CopiesRig>(m_folders.NewFolder(QStringLiteral("program")));
        const QString root = m_folders.NewFolder(QStringLiteral("box"));
        QVERIFY(rig->Start());
        QCOMPARE(rig->Add(root, CopiesRig::kPassword, QStringLiteral("1"), CopiesRig::kWorkId), 0);
        QVERIFY(rig->EnterKey(root, CopiesRig::kPassword));
        rig->folder = root;
        AppState& s = rig->app.State();
        rig->names = std::make_unique<CNameFile>(*s.engine, *s.registry, *s.workFolder, rig->fs, rig->ui, *s.catalogue);
        rig->access = std::make_unique<CAccessCheck>(rig->volumes, rig->fs, rig->ui, *s.catalogue);
        rig->copies = std::make_unique<CWorkingCopies>(rig->Services(), rig->associations, rig->launcher, rig->probe,
                                                       rig->prompts);
        const QString container = rig->Encrypt(root, QStringLiteral("l.txt"), "l");
        const QByteArray before = CopiesRig::Bytes(container);
        const QString copy = rig->Open(container);
        QVERIFY(!copy.isEmpty());
        QVERIFY(CopiesRig::ReadOnly(copy));
        QVERIFY(CopiesRig::ReadOnly(container));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(CopiesRig::Edit(copy, "changes that cannot go back"));
        QCOMPARE(rig->copies->WriteBackOne(copy), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>({30}));
        QVERIFY(rig->ui.Find(30)->text.contains(root));
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(CopiesRig::Bytes(container), before);
    }

    // Decrypt only does not follow a link in a folder (to an ancestor, to "/"): only the folder's own
    // containers are decrypted, and the links are named once (A720).
    void DecryptOnlyDoesNotFollowLinks() {
        auto rig = Started();
        QVERIFY(rig);
        const QString deep = rig->folder + QStringLiteral("/deep");
        QVERIFY(QDir().mkpath(deep));
        rig->Encrypt(deep, QStringLiteral("j.txt"), "j");
        QVERIFY(::symlink("..", QFile::encodeName(deep + QStringLiteral("/up")).constData()) == 0);
        QVERIFY(::symlink("/", QFile::encodeName(deep + QStringLiteral("/all")).constData()) == 0);
        QCOMPARE(rig->copies->DecryptOnly({deep}), OpResult::kDone);
        QStringList copies;
        QDirIterator it(rig->Editing(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            copies.append(it.next().mid(rig->Editing().size()));
        QCOMPARE(copies, QStringList{QStringLiteral("/deep/j.txt")});
        QCOMPARE(rig->ui.Numbers(), QList<int>{720});
        QVERIFY(rig->ui.Find(720)->text.contains(deep + QStringLiteral("/up")));
        QVERIFY(rig->ui.Find(720)->text.contains(deep + QStringLiteral("/all")));
    }
};

QTEST_GUILESS_MAIN(TestWorkingCopies)
#include "TestWorkingCopies.moc"
