#include "FolderRig.h"
#include "util/PumpPacer.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

namespace {

QHash<QString, NameEntry> Loaded(FolderRig& rig, const QString& directory) {
    QList<NameEntry> entries;
    if (rig.names->LoadNameEntries(directory, rig.folder, true, entries) != 0)
        return {};
    return IndexByDiskName(entries);
}

} // namespace

class TestNameFile : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<FolderRig> Started() { return FolderRig::Started(m_folders); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // A directory without a name file gets one in the mirror tree, with a line for every kind of entry:
    // a container of the folder's key, a foreign file and a container of another password as plain
    // files, a subfolder. Unchanged entries are never read again; an entry whose time changed is.
    void RefreshListsEveryKindAndRereadsOnlyChanges() {
        auto rig = Started();
        QVERIFY(rig);
        const QString dir = rig->folder;
        QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
        const QString report = rig->Encrypt(dir, QStringLiteral("report.txt"), "hello");
        QVERIFY(!report.isEmpty());
        QVERIFY(rig->EnterKey(QStringLiteral("other"), QStringLiteral("Other#Pw2")));
        const QString foreign = rig->Encrypt(dir, QStringLiteral("secret.txt"), "x", QStringLiteral("other"));
        QVERIFY(!foreign.isEmpty());
        QVERIFY(FolderRig::WriteRaw(dir + QStringLiteral("/notes.txt"), "plain text"));
        const QString nameFile = rig->MirrorOf(dir);
        QCOMPARE(rig->names->NameFilePath(dir), nameFile);
        QCOMPARE(rig->names->NameFilePath(dir + QStringLiteral("/sub")), rig->MirrorOf(dir + QStringLiteral("/sub")));
        QVERIFY(!QFileInfo::exists(nameFile));

        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(rig->names->HeaderReads(), 3);
        auto entries = Loaded(*rig, dir);
        QCOMPARE(entries.size(), 4);
        const NameEntry mine = entries.value(QFileInfo(report).fileName());
        QCOMPARE(mine.kind, int(NameEntry::kContainer));
        QCOMPARE(mine.displayName, QStringLiteral("report.txt"));
        QCOMPARE(mine.plainSize, 5);
        QCOMPARE(mine.diskTime, CNameFile::DiskTimeText(QFileInfo(report)));
        QVERIFY(mine.encryptedAt.contains(u'/') && mine.modifiedAt.contains(u'/'));
        const NameEntry other = entries.value(QFileInfo(foreign).fileName());
        QCOMPARE(other.kind, int(NameEntry::kPlain));
        QCOMPARE(other.displayName, other.diskName);
        QCOMPARE(other.encryptedAt, QStringLiteral("0"));
        QCOMPARE(entries.value(QStringLiteral("notes.txt")).kind, int(NameEntry::kPlain));
        QCOMPARE(entries.value(QStringLiteral("sub")).kind, int(NameEntry::kFolder));
        QList<NameEntry> files;
        QCOMPARE(rig->names->LoadNameEntries(dir, rig->folder, false, files), 0);
        QCOMPARE(files.size(), 3);
        QVERIFY(rig->names->HasSubfolders(dir, rig->folder));
        QVERIFY(!rig->names->HasSubfolders(dir + QStringLiteral("/sub"), rig->folder));

        // Stored enciphered, padded with 2 to 16 zero bytes to whole blocks, and read-only.
        QString text;
        QCOMPARE(rig->names->ReadNameFile(nameFile, rig->folder, text), 0);
        QVERIFY(text.startsWith(rig->app.State().catalogue->MsgB(2) + QStringLiteral("\r\n")));
        const qint64 textBytes = (text.size() + 2) * 2; // the trimmed last line end
        const QFileInfo stored(nameFile);
        QCOMPARE(stored.size() % 16, 0);
        QVERIFY(stored.size() >= textBytes + 2 && stored.size() <= textBytes + 16);
        QVERIFY(!(stored.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)));
        QFile raw(nameFile);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(!raw.readAll().contains(QByteArray("r\0e\0p\0o\0r\0t", 11)));

        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QCOMPARE(rig->names->HeaderReads(), 3);
        QVERIFY(FolderRig::Touch(report, 60));
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QCOMPARE(rig->names->HeaderReads(), 4);
        QCOMPARE(Loaded(*rig, dir).value(QFileInfo(report).fileName()).diskTime,
                 CNameFile::DiskTimeText(QFileInfo(report)));
        QVERIFY(QFile::remove(dir + QStringLiteral("/notes.txt")));
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QCOMPARE(rig->names->HeaderReads(), 4);
        QCOMPARE(Loaded(*rig, dir).size(), 3);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    // A container offered by the operation that wrote it is listed from the offer (the intake's test sees no
    // header read), unless it was saved over since: then its header is read.
    void OfferOfAContainerSavedOverSinceIsNotTaken() {
        auto rig = Started();
        QVERIFY(rig);
        const QString report = rig->Encrypt(rig->folder, QStringLiteral("report.txt"), "hello");
        ContainerInfo info;
        QCOMPARE(rig->Engine().ReadContainerInfo(report, info, rig->folder, false), 0);
        info.name = QStringLiteral("offered.txt");
        rig->names->OfferContainer(report, info, rig->folder, CNameFile::DiskTimeOf(report));
        QVERIFY(FolderRig::Touch(report, 10));
        QCOMPARE(rig->names->RefreshNameFile(rig->folder, rig->folder), 0);
        QCOMPARE(rig->names->HeaderReads(), 1);
        QCOMPARE(Loaded(*rig, rig->folder).value(QFileInfo(report).fileName()).displayName,
                 QStringLiteral("report.txt"));
    }

    // A write killed after its new container was complete but before the rename leaves that container
    // under a temporary name. It is nobody's entry: as a second "k.txt" it could take a write-back that
    // belongs to the real container, and the sweep of leftovers would then take the edit away.
    void LeftoverOfAnInterruptedWriteIsNoEntry() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("k.txt"), "old");
        QVERIFY(QFile::copy(container, CCryptEngine::TempPathBeside(container, TempKind::Sealed)));
        QVERIFY(FolderRig::WriteRaw(CCryptEngine::TempPathBeside(container, TempKind::Plain), "half"));
        QCOMPARE(rig->names->RefreshNameFile(rig->folder, rig->folder), 0);
        const auto entries = Loaded(*rig, rig->folder);
        QCOMPARE(entries.keys(), QStringList{QFileInfo(container).fileName()});
    }

    // An empty name file is made again silently; a damaged one (a half-written file, the wrong key's
    // bytes, foreign bytes) is reported once and rebuilt from the headers instead of blocking the listing.
    void EmptyAndDamagedNameFilesAreRebuilt() {
        auto rig = Started();
        QVERIFY(rig);
        const QString dir = rig->folder;
        const QString container = rig->Encrypt(dir, QStringLiteral("a.txt"), "abc");
        QVERIFY(!container.isEmpty());
        const QString nameFile = rig->MirrorOf(dir);
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(FolderRig::WriteRaw(nameFile, QByteArray()));
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(Loaded(*rig, dir).value(QFileInfo(container).fileName()).displayName, QStringLiteral("a.txt"));

        QFile good(nameFile);
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray whole = good.readAll();
        good.close();
        const QByteArray damaged[] = {whole.left(whole.size() - 5), QByteArray(64, '\x5a'), QByteArray(7, '\0')};
        for (const QByteArray& bytes : damaged) {
            rig->ui.Clear();
            QVERIFY(FolderRig::WriteRaw(nameFile, bytes));
            QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
            QCOMPARE(rig->ui.Numbers(), QList<int>{282});
            rig->ui.Clear();
            const auto entries = Loaded(*rig, dir);
            QVERIFY(rig->ui.Messages().isEmpty());
            QCOMPARE(entries.size(), 1);
            QCOMPARE(entries.value(QFileInfo(container).fileName()).kind, int(NameEntry::kContainer));
        }
        // Lines of ours without their last field: reset to the header and rebuilt, without a report.
        rig->ui.Clear();
        const QString header = rig->app.State().catalogue->MsgB(2) + QStringLiteral("\r\n");
        QCOMPARE(rig->names->WriteNameFile(nameFile, header + QStringLiteral(":*0*:old:*1*:1\r\n"), rig->folder), 0);
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(Loaded(*rig, dir).keys(), QStringList{QFileInfo(container).fileName()});
        // Loading alone does not repair: it reports and fails, even straight after a refresh.
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        QVERIFY(FolderRig::WriteRaw(nameFile, QByteArray(32, '\x11')));
        rig->ui.Clear();
        QList<NameEntry> entries;
        QCOMPARE(rig->names->LoadNameEntries(dir, rig->folder, true, entries), -1);
        QCOMPARE(rig->ui.Numbers(), QList<int>{288});
    }

    // The name file is replaced as a whole: a write that fails part-way (three tries) leaves the old file
    // readable; the read-only attribute is cleared for the rewrite and set again.
    void FailedWriteKeepsTheOldNameFile() {
        auto rig = Started();
        QVERIFY(rig);
        const QString dir = rig->folder;
        const QString first = rig->Encrypt(dir, QStringLiteral("one.txt"), "1");
        QVERIFY(!first.isEmpty());
        rig->fs.honourWriteBits = true;
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0);
        const QString second = rig->Encrypt(dir, QStringLiteral("two.txt"), "22");
        QVERIFY(!second.isEmpty());
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), 0); // over a read-only file
        QCOMPARE(Loaded(*rig, dir).size(), 2);
        QVERIFY(rig->ui.Messages().isEmpty());

        rig->fs.writeFault = {QStringLiteral("_snf.zorn"), ENOSPC, 20};
        QVERIFY(QFile::remove(first));
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), -1);
        QCOMPARE(rig->ui.Numbers(), QList<int>{286});
        QCOMPARE(rig->ui.SleptMs(), 600);
        rig->fs.writeFault = {};
        rig->ui.Clear();
        QCOMPARE(Loaded(*rig, dir).size(), 2); // the old one, whole
        QVERIFY(rig->ui.Messages().isEmpty());
        QVERIFY(!(QFileInfo(rig->MirrorOf(dir)).permissions() & QFile::WriteOwner));
        QStringList left = QDir(QFileInfo(rig->MirrorOf(dir)).path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList{CNameFile::kFileName});

        // Without the folder's key (logged out) nothing is read, rebuilt or written.
        QFile before(rig->MirrorOf(dir));
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray kept = before.readAll();
        before.close();
        rig->Engine().ReleaseKey(rig->folder);
        QCOMPARE(rig->names->RefreshNameFile(dir, rig->folder), -1);
        QCOMPARE(rig->ui.Numbers(), QList<int>{337});
        QVERIFY(before.open(QIODevice::ReadOnly));
        QCOMPARE(before.readAll(), kept);
    }

    // A large name file is enciphered, written and read a piece at a time with the window pumped in
    // between, and a read that comes through such a pump finds a whole file. The bytes are those of one
    // pass over the whole text, so files of either kind read in both ways.
    void LargeNameFileGoesInPiecesAsOneWhole() {
        auto rig = Started();
        QVERIFY(rig);
        const QString path = rig->MirrorOf(rig->folder);
        const QString header = rig->app.State().catalogue->MsgB(2) + QStringLiteral("\r\n");
        QCOMPARE(rig->names->WriteNameFile(path, header, rig->folder), 0);
        QString text = header + NameEntry::kFormatLine + QStringLiteral("\r\n");
        for (int i = 0; i < 12000; ++i) // about 3.5 MB
            text += NameEntry{QStringLiteral("%1.zorf").arg(i, 36, 10, QChar(u'0')), QStringLiteral("20240102030405"),
                              QStringLiteral("報告 %1.txt").arg(i), NameEntry::kContainer, i,
                              QStringLiteral("2024/01/02 03:04:05"), QStringLiteral("2023/12/31 23:59:59")}
                        .Line() +
                    QStringLiteral("\r\n");

        int pumps = 0;
        QString seenInside;
        rig->ui.OnPump([&](int) {
            if (++pumps == 1)
                QCOMPARE(rig->names->ReadNameFile(path, rig->folder, seenInside), 0);
        });
        PumpPacer::SetInterval(0);
        const bool written = rig->names->WriteNameFile(path, text, rig->folder) == 0;
        const int writing = pumps;
        QString back;
        const bool read = rig->names->ReadNameFile(path, rig->folder, back) == 0;
        PumpPacer::SetInterval(PumpPacer::kIntervalMs);
        rig->ui.OnPump({});
        QVERIFY(written && read);
        QVERIFY2(writing >= 3 && pumps - writing >= 3, qPrintable(QStringLiteral("%1 %2").arg(writing).arg(pumps)));
        QVERIFY(seenInside == header.trimmed() || seenInside == text.trimmed());
        QCOMPARE(back, text.trimmed());

        QFile stored(path);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray bytes = stored.readAll();
        QByteArray plain = bytes;
        QCOMPARE(rig->Engine().DecipherBuffer(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size(), rig->folder), 0);
        const QByteArray textBytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QVERIFY(plain.startsWith(textBytes));
        QCOMPARE(plain.size() - textBytes.size(), (textBytes.size() / 16 + 1) * 16 - textBytes.size());
        QVERIFY(plain.mid(textBytes.size()).count('\0') == plain.size() - textBytes.size());
        QCOMPARE(rig->Engine().EncipherBuffer(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size(), rig->folder), 0);
        QCOMPARE(plain, bytes);
    }

    // A directory under no registered folder says so (A303) and is listed without a name file.
    void DirectoryOutsideTheFoldersHasNoNameFile() {
        auto rig = Started();
        QVERIFY(rig);
        const QString outside = m_folders.NewFolder(QStringLiteral("outside"));
        QDir(outside).mkdir(QStringLiteral("sub"));
        const QString lookalike = rig->folder + QStringLiteral("x");
        QVERIFY(rig->names->OwningRoot(lookalike).isEmpty());
        QCOMPARE(rig->names->OwningRoot(rig->folder + QStringLiteral("/a/b")), rig->folder);
        QVERIFY(rig->names->IsWithoutNameFile(rig->names->NameFilePath(outside)));
        QCOMPARE(rig->ui.Numbers(), QList<int>{303});
        rig->ui.Clear();
        QCOMPARE(rig->names->RefreshNameFile(outside, rig->folder), 0);
        QList<NameEntry> entries;
        QCOMPARE(rig->names->LoadNameEntries(outside, rig->folder, true, entries), 0);
        QVERIFY(entries.isEmpty());
        QVERIFY(rig->names->HasSubfolders(outside, rig->folder));
        QCOMPARE(rig->ui.Numbers(), (QList<int>{303, 303, 303}));
        QVERIFY(!QFileInfo::exists(rig->app.State().workFolder->angoTempFolder + QStringLiteral("/WID/Nf/_snf.zorn")));
    }

    void LinesParseBackAndRefuseBrokenOnes() {
        NameEntry entry{QStringLiteral("A.zorf"),
                        QStringLiteral("20240102030405"),
                        QStringLiteral("報告.txt"),
                        NameEntry::kContainer,
                        1234567890123,
                        QStringLiteral("2024/01/02 03:04:05"),
                        QStringLiteral("2023/12/31 23:59:59")};
        NameEntry back;
        QVERIFY(NameEntry::Parse(entry.Line(), back));
        QCOMPARE(back.Line(), entry.Line());
        QCOMPARE(back.plainSize, entry.plainSize);
        const QString line = entry.Line();
        QVERIFY(!NameEntry::Parse(line.left(line.indexOf(QStringLiteral(":*6*:"))), back));
        QVERIFY(!NameEntry::Parse(QString(line).replace(QStringLiteral(":*3*:1"), QStringLiteral(":*3*:x")), back));
    }

    // A name file written before names were escaped is read as it is (a "%" stays a "%") and rewritten
    // escaped by the next refresh, without reading a header again.
    void NameFileOfTheOlderFormIsReadAndRewritten() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("real.txt"), "r");
        QVERIFY(rig->names->RefreshNameFile(rig->folder, rig->folder) == 0);
        const int reads = rig->names->HeaderReads();
        const NameEntry entry = Loaded(*rig, rig->folder).value(QFileInfo(container).fileName());
        const QString old = rig->app.State().catalogue->MsgB(2) + QStringLiteral("\r\n:*0*:") + entry.diskName +
                            QStringLiteral(":*1*:") + entry.diskTime +
                            QStringLiteral(":*2*:100%41:old.txt:*3*:1:*4*:1:*5*:0:*6*:0\r\n");
        QCOMPARE(rig->names->WriteNameFile(rig->MirrorOf(rig->folder), old, rig->folder), 0);
        for (int pass = 0; pass < 2; ++pass) {
            QCOMPARE(Loaded(*rig, rig->folder).value(entry.diskName).displayName, QStringLiteral("100%41:old.txt"));
            QCOMPARE(rig->names->RefreshNameFile(rig->folder, rig->folder), 0);
        }
        QString text;
        QVERIFY(rig->names->ReadNameFile(rig->MirrorOf(rig->folder), rig->folder, text) == 0 &&
                text.contains(QStringLiteral("\r\n") + NameEntry::kFormatLine + QStringLiteral("\r\n")));
        QCOMPARE(rig->names->HeaderReads(), reads);
    }
};

QTEST_GUILESS_MAIN(TestNameFile)
#include "TestNameFile.moc"
