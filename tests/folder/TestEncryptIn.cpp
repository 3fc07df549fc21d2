#include "FolderRig.h"
#include "ScriptedEncryptInPrompts.h"
#include "TreeSnapshot.h"
#include "folder/EncryptIn.h"
#include "folder/ParkedFiles.h"
#include "platform/AccessCheck.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

using namespace korimbo;

namespace {

const QString kOtherPassword = QStringLiteral("Other#Pw2");

struct EncryptRig : FolderRig {
    using FolderRig::FolderRig;
    ScriptedEncryptInPrompts prompts;
    std::unique_ptr<CEncryptIn> encrypt;
    QList<bool> busyCalls;
    int undoClears = 0;
    QString outside; // where the sources come from

    bool StartIn(const QString& root, const QString& sources) {
        if (!StartWith(root))
            return false;
        outside = sources;
        encrypt = std::make_unique<CEncryptIn>(Services(), prompts);
        encrypt->busy = [this](bool on) { busyCalls.append(on); };
        encrypt->clearUndo = [this] { ++undoClears; };
        return true;
    }
    OpResult Run(int mode, const QStringList& sources, const QString& destination = QString()) {
        EncryptInRequest request;
        request.mode = mode;
        request.sources = sources;
        request.destination = destination.isEmpty() ? folder : destination;
        return encrypt->Run(request);
    }
    QString Source(const QString& name, const QByteArray& bytes) {
        const QString path = outside + u'/' + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        return WriteRaw(path, bytes) ? path : QString();
    }
    // Display name -> entry of the directory's name file.
    QHash<QString, NameEntry> Listed(const QString& directory) {
        QList<NameEntry> entries;
        QHash<QString, NameEntry> byName;
        if (names->RefreshNameFile(directory, folder) == 0 &&
            names->LoadNameEntries(directory, folder, true, entries) == 0)
            for (const NameEntry& e : entries)
                byName.insert(e.displayName, e);
        return byName;
    }
    QString ContainerOf(const QString& directory, const QString& displayName) {
        const auto entries = Listed(directory);
        const auto it = entries.find(displayName);
        return it == entries.end() || it->kind != NameEntry::kContainer ? QString() : directory + u'/' + it->diskName;
    }
    // The plain bytes and stored name of a container, through the folder's key.
    bool Opens(const QString& container, const QString& name, const QByteArray& bytes) {
        ContainerInfo info;
        if (Engine().ReadContainerInfo(container, info, folder, false) != 0 || info.name != name)
            return false;
        const QString out = scratch.path() + QStringLiteral("/out.bin");
        QFile::remove(out);
        if (Engine().DecryptFile(container, out, folder) != 0)
            return false;
        QFile file(out);
        return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
    }
    static bool ReadOnly(const QString& path) {
        return (QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
    }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

} // namespace

class TestEncryptIn : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<EncryptRig> Started() {
        auto rig = std::make_unique<EncryptRig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->StartIn(m_folders.NewFolder(QStringLiteral("box")), m_folders.NewFolder(QStringLiteral("outside")))
                   ? std::move(rig)
                   : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Files and a folder copied in: every container decrypts to the original bytes and name, is
    // read-only and listed; the sources stay; the run is one busy section, clears the undo history and the
    // status text, and says a folder was among the sources.
    void CopiesFilesAndFoldersIntoContainers() {
        auto rig = Started();
        QVERIFY(rig);
        const QByteArray one(70000, 'a');
        const QString a = rig->Source(QStringLiteral("報告.txt"), one);
        const QString tree = rig->outside + QStringLiteral("/tree");
        rig->Source(QStringLiteral("tree/x.bin"), "x-bytes");
        rig->Source(QStringLiteral("tree/deep/y.txt"), "");
        EncryptInRequest request;
        request.sources = {a, tree};
        request.destination = rig->folder;
        QCOMPARE(rig->encrypt->Run(request), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QVERIFY(request.folderIncluded);
        QCOMPARE(rig->busyCalls, QList<bool>({true, false}));
        QCOMPARE(rig->undoClears, 1);
        QCOMPARE(rig->ui.Status(), QString());
        QCOMPARE(rig->names->HeaderReads(), 0); // the lines of new containers come from their writer
        QVERIFY(QFileInfo::exists(a) && QFileInfo::exists(tree + QStringLiteral("/deep/y.txt")));

        const QString container = rig->ContainerOf(rig->folder, QStringLiteral("報告.txt"));
        QVERIFY(rig->Opens(container, QStringLiteral("報告.txt"), one));
        QVERIFY(EncryptRig::ReadOnly(container));
        const QString x = rig->ContainerOf(rig->folder + QStringLiteral("/tree"), QStringLiteral("x.bin"));
        const QString y = rig->ContainerOf(rig->folder + QStringLiteral("/tree/deep"), QStringLiteral("y.txt"));
        QVERIFY(rig->Opens(x, QStringLiteral("x.bin"), "x-bytes"));
        QVERIFY(rig->Opens(y, QStringLiteral("y.txt"), ""));
        QVERIFY(EncryptRig::ReadOnly(x) && EncryptRig::ReadOnly(y));
        QCOMPARE(rig->Listed(rig->folder).value(QStringLiteral("tree")).kind, int(NameEntry::kFolder));

        // The folder's password alone opens what was written, as korimbo-cli sees it.
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KORIMBO_PASSWORD"), FolderRig::kPassword);
        cli.setProcessEnvironment(env);
        const QString out = rig->scratch.path() + QStringLiteral("/cli.out");
        cli.start(QStringLiteral(KORIMBO_CLI_PATH), {QStringLiteral("decrypt"), container, out});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        QCOMPARE(EncryptRig::Bytes(out), one);
    }

    // Name clashes stop the run after their message: two sources of one name (A27, the first is in), a
    // plain file of that name in the folder (A70), a folder of that name (A71), a folder source named like
    // a file of the folder (A58). A container of that name asks instead (single-item mode for one source).
    void NameClashesStop() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a1 = rig->Source(QStringLiteral("one/same.txt"), "1");
        const QString a2 = rig->Source(QStringLiteral("two/same.txt"), "2");
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a1, a2}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{27});
        QVERIFY(rig->ui.Messages().constLast().text.contains(QStringLiteral("same.txt")));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("same.txt")), QStringLiteral("same.txt"), "1"));

        QVERIFY(FolderRig::WriteRaw(rig->folder + QStringLiteral("/plain.txt"), "mine"));
        QVERIFY(QDir(rig->folder).mkdir(QStringLiteral("dir.txt")));
        rig->ui.Clear();
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {rig->Source(QStringLiteral("plain.txt"), "new")}),
                 OpResult::kFailed);
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {rig->Source(QStringLiteral("dir.txt"), "new")}), OpResult::kFailed);
        rig->Source(QStringLiteral("same.txt/inner"), "i");
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {rig->outside + QStringLiteral("/same.txt")}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({70, 71, 58}));
        QCOMPARE(rig->Bytes(rig->folder + QStringLiteral("/plain.txt")), QByteArray("mine"));

        // A source that cannot be read stops the run at the access check, before anything is written.
        rig->ui.Clear();
        const QString locked = rig->Source(QStringLiteral("locked.txt"), "l");
        rig->fs.openFault = {QStringLiteral("locked.txt"), EACCES, 0};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {locked}), OpResult::kFailed);
        rig->fs.openFault = {};
        QCOMPARE(rig->ui.Numbers(), QList<int>{621});
        QVERIFY(rig->ContainerOf(rig->folder, QStringLiteral("locked.txt")).isEmpty());

        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kNo};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a2}), OpResult::kDone);
        QCOMPARE(rig->prompts.singleItemModes, QList<bool>{true});
        QCOMPARE(rig->prompts.incomingSides.constFirst().size, 1);
        QVERIFY(!rig->prompts.incomingSides.constFirst().container);
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("same.txt")), QStringLiteral("same.txt"), "1"));
    }

    // "すべて上書き" in the file dialog silences later file dialogs but not folder dialogs, and the reverse;
    // both flags start off again in the next run. Overwritten containers hold the new content.
    void OverwriteAllFlagsAreIndependent() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Source(QStringLiteral("a.txt"), "a1");
        const QString b = rig->Source(QStringLiteral("b.txt"), "b1");
        const QString d1 = rig->outside + QStringLiteral("/d1");
        const QString d2 = rig->outside + QStringLiteral("/d2");
        rig->Source(QStringLiteral("d1/in.txt"), "d1");
        rig->Source(QStringLiteral("d2/in.txt"), "d2");
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a, b, d1, d2}), OpResult::kDone);

        rig->Source(QStringLiteral("a.txt"), "a2");
        rig->Source(QStringLiteral("b.txt"), "b2");
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kAll};
        rig->prompts.folderAnswers = {EncryptInPrompts::Overwrite::kYes, EncryptInPrompts::Overwrite::kYes};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a, d1, b, d2}), OpResult::kDone);
        QCOMPARE(rig->prompts.asked, QStringList({QStringLiteral("file:a.txt"),
                                                  QStringLiteral("folder:") + rig->folder + QStringLiteral("/d1"),
                                                  QStringLiteral("folder:") + rig->folder + QStringLiteral("/d2")}));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("b.txt")), QStringLiteral("b.txt"), "b2"));
        QCOMPARE(rig->prompts.singleItemModes, QList<bool>{false});

        rig->prompts.asked.clear();
        rig->Source(QStringLiteral("d2/in.txt"), "d2-new");
        rig->prompts.folderAnswers = {EncryptInPrompts::Overwrite::kAll};
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kYes, EncryptInPrompts::Overwrite::kNo};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {d1, a, d2, b}), OpResult::kDone);
        QCOMPARE(rig->prompts.asked, QStringList({QStringLiteral("folder:") + rig->folder + QStringLiteral("/d1"),
                                                  QStringLiteral("file:a.txt"), QStringLiteral("file:b.txt")}));
        const QString d2in = rig->ContainerOf(rig->folder + QStringLiteral("/d2"), QStringLiteral("in.txt"));
        QVERIFY(rig->Opens(d2in, QStringLiteral("in.txt"), "d2-new"));
        QCOMPARE(QDir(rig->folder + QStringLiteral("/d2")).entryList(QDir::Files).size(), 1);

        // Cancel in a dialog ends the run: later sources are not taken in.
        const QString c = rig->Source(QStringLiteral("c.txt"), "c");
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kCancel};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a, c}), OpResult::kFailed);
        QVERIFY(rig->ContainerOf(rig->folder, QStringLiteral("c.txt")).isEmpty());
    }

    // A container that opens with the folder's key is copied as it is: the same body bytes, the folder's
    // hint in its header, after the notice, whose check box keeps it from coming again in the run.
    void ContainerOfTheFolderIsCopiedUnchanged() {
        auto rig = Started();
        QVERIFY(rig);
        std::array<std::uint8_t, 34> bytes{};
        const int count = rig->Engine().PasswordToBytes(FolderRig::kPassword, bytes);
        QCOMPARE(rig->Engine().RegisterKey(bytes.data(), count, QStringLiteral("samepw"), QStringLiteral("old hint")),
                 0);
        const QString first =
            rig->Encrypt(rig->outside, QStringLiteral("first.doc"), "first body", QStringLiteral("samepw"));
        const QString second =
            rig->Encrypt(rig->outside, QStringLiteral("second.doc"), "2nd", QStringLiteral("samepw"));
        QVERIFY(!first.isEmpty() && !second.isEmpty());

        rig->prompts.noticeTicks = {true};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {first, second}), OpResult::kDone);
        QCOMPARE(rig->prompts.asked, QStringList{QStringLiteral("notice")});
        const QString copied = rig->ContainerOf(rig->folder, QStringLiteral("first.doc"));
        QVERIFY(rig->Opens(copied, QStringLiteral("first.doc"), "first body"));
        QCOMPARE(rig->Bytes(copied).mid(ContainerHeader::kSize), rig->Bytes(first).mid(ContainerHeader::kSize));
        ContainerInfo info;
        QCOMPARE(rig->Engine().ReadContainerInfo(copied, info, rig->folder, false), 0);
        QCOMPARE(WithoutTrailingSpaces(info.hint), QStringLiteral("hint"));
        QVERIFY(EncryptRig::ReadOnly(copied));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("second.doc")), QStringLiteral("second.doc"),
                           "2nd"));
    }

    // A container of another password: A78, then the password; a wrong one gets A80 and another try, the
    // right one re-encrypts it with the folder's key and leaves no plain copy in the work area. Five wrong
    // tries end with A79; "No" to A78 ends the run.
    void ContainerOfAnotherPasswordIsReencrypted() {
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(rig->EnterKey(QStringLiteral("other"), kOtherPassword));
        const QString foreign =
            rig->Encrypt(rig->outside, QStringLiteral("foreign.xls"), "sheet", QStringLiteral("other"));
        QVERIFY(!foreign.isEmpty());
        const QString area = rig->app.WorkAreaOf(rig->Slot(rig->folder), QStringLiteral("Ce"));

        rig->ui.QueueAnswer(kAnswerYes);
        rig->prompts.passwords = {{EncryptInPrompts::PasswordAnswer::kOk, QStringLiteral("Wrong#Pw9")},
                                  {EncryptInPrompts::PasswordAnswer::kOk, kOtherPassword}};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {foreign}), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>({78, 80}));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("foreign.xls")), QStringLiteral("foreign.xls"),
                           "sheet"));
        QCOMPARE(QDir(area).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!rig->Engine().HasKey(CCryptEngine::kTempKeyName));

        const QString again = rig->Encrypt(rig->outside, QStringLiteral("again.xls"), "x", QStringLiteral("other"));
        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerYes);
        for (int i = 0; i < 5; ++i)
            rig->prompts.passwords.push_back(
                {EncryptInPrompts::PasswordAnswer::kOk, QStringLiteral("Wrong#Pw%1").arg(i)});
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {again}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({78, 80, 80, 80, 80, 79}));
        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {again}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{78});
        // No room in the work area for the plain copy: A82, nothing decrypted.
        rig->ui.Clear();
        rig->fs.freeBytes = 100;
        rig->ui.QueueAnswer(kAnswerYes);
        rig->prompts.passwords = {{EncryptInPrompts::PasswordAnswer::kOk, kOtherPassword}};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {again}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({78, 82}));
        QVERIFY(rig->ContainerOf(rig->folder, QStringLiteral("again.xls")).isEmpty());
        QCOMPARE(QDir(area).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // A move wipes each source once its container is safe; a source that vanished meanwhile gets A77 and
    // the run goes on.
    void MoveWipesSourcesAndGoesOnWhenOneVanished() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Source(QStringLiteral("a.txt"), "aaa");
        const QString b = rig->Source(QStringLiteral("b.txt"), "bbb");
        const QString dir = rig->outside + QStringLiteral("/dir");
        rig->Source(QStringLiteral("dir/c.txt"), "ccc");
        // The file manager takes "a.txt" away as soon as its container is in place.
        rig->ui.OnPump([&](int) {
            if (QFileInfo::exists(a) && !QDir(rig->folder).entryList({QStringLiteral("*.zorf")}).isEmpty())
                QFile::remove(a);
        });
        QCOMPARE(rig->Run(EncryptInRequest::kMove, {a, b, dir}), OpResult::kDone);
        rig->ui.OnPump(nullptr);
        QCOMPARE(rig->ui.Numbers(), QList<int>{77});
        QVERIFY(!QFileInfo::exists(b) && !QFileInfo::exists(dir));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("a.txt")), QStringLiteral("a.txt"), "aaa"));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("b.txt")), QStringLiteral("b.txt"), "bbb"));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder + QStringLiteral("/dir"), QStringLiteral("c.txt")),
                           QStringLiteral("c.txt"), "ccc"));
    }

    // When the container or its folder cannot be committed to disk, the source stays and the run stops:
    // a power cut must not lose both. A copy needs no commit per file.
    // New containers are synced a batch at a time, and a move removes its sources only after that: a
    // container that cannot be synced is neither listed nor left as a hidden file, and one whose folder
    // cannot be synced stays listed, its source kept. A full batch is committed while the next fills:
    // its failure is told, and its sources kept, when the run ends. On a volume synced as a whole (the rows
    // named for it), a failed sync fails the batch it was for and every one after it.
    void SourcesStayWhenTheSyncFails_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("folderFault");
        QTest::addColumn<int>("listed");
        QTest::addColumn<int>("before"); // files taken in ahead of the two
        QTest::newRow("move: container file") << int(EncryptInRequest::kMove) << false << 0 << 0;
        QTest::newRow("move: its folder") << int(EncryptInRequest::kMove) << true << 2 << 0;
        QTest::newRow("copy: container file") << int(EncryptInRequest::kCopy) << false << 0 << 0;
        QTest::newRow("move: a batch before") << int(EncryptInRequest::kMove) << false << 0
                                              << CContainerBatch::kMaxFiles + 1;
        QTest::newRow("move: the volume, a batch before")
            << int(EncryptInRequest::kMove) << false << 0 << CContainerBatch::kMaxFiles + 1;
    }
    void SourcesStayWhenTheSyncFails() {
        QFETCH(int, mode);
        QFETCH(bool, folderFault);
        QFETCH(int, listed);
        QFETCH(int, before);
        auto rig = Started();
        QVERIFY(rig);
        QStringList sources;
        for (int i = 0; i < before; ++i)
            sources.append(rig->Source(QStringLiteral("many/%1.txt").arg(i), QByteArray::number(i)));
        const QString a = rig->Source(QStringLiteral("a.txt"), "aaa");
        const QString b = rig->Source(QStringLiteral("b.txt"), "bbb");
        rig->fs.markVolumes = QByteArray(QTest::currentDataTag()).contains("volume");
        FaultyFileSystem::Fault& fault = folderFault           ? rig->fs.syncFolderFault
                                         : rig->fs.markVolumes ? rig->fs.volumeSyncFault
                                                               : rig->fs.syncFault;
        fault = {folderFault || rig->fs.markVolumes ? rig->folder : QStringLiteral(".part"), EIO, 0};
        QCOMPARE(rig->Run(mode, sources + QStringList{a, b}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{342});
        for (int i = 0; i < before; ++i)
            QCOMPARE(rig->Bytes(sources.at(i)), QByteArray::number(i));
        QCOMPARE(rig->Bytes(a), QByteArray("aaa"));
        QCOMPARE(rig->Bytes(b), QByteArray("bbb"));
        QCOMPARE(rig->ContainerOf(rig->folder, QStringLiteral("b.txt")).isEmpty(), listed == 0);
        QVERIFY(CCryptEngine::TempNamesIn(rig->folder).isEmpty());

        rig->ui.Clear();
        fault = {};
        for (int i = 0; i < listed; ++i)
            rig->prompts.fileAnswers.push_back(EncryptInPrompts::Overwrite::kYes);
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a, b}), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }

    // A copy that fails part-way keeps the containers of the files before it, though they were still
    // waiting for their batch's sync.
    void CopyFailingPartWayKeepsTheFilesBefore() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Source(QStringLiteral("a.txt"), "aaa");
        const QString b = rig->Source(QStringLiteral("b.txt"), "bbb");
        const QString c = rig->Source(QStringLiteral("c.txt"), "ccc");
        rig->fs.readFault = {QStringLiteral("c.txt"), EIO, 0};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a, b, c}), OpResult::kFailed);
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("a.txt")), QStringLiteral("a.txt"), "aaa"));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("b.txt")), QStringLiteral("b.txt"), "bbb"));
        QVERIFY(rig->ContainerOf(rig->folder, QStringLiteral("c.txt")).isEmpty());
        QVERIFY(CCryptEngine::TempNamesIn(rig->folder).isEmpty());
    }

    // Containers end up read-only, and an existing read-only container is replaced all the same: with
    // real file modes when not root, with the faulty layer honouring write bits as root.
    void WrittenContainersAreReadOnly() {
        auto rig = Started();
        QVERIFY(rig);
        rig->fs.honourWriteBits = ::geteuid() == 0;
        const QString a = rig->Source(QStringLiteral("a.txt"), "old");
        const QString foreign = rig->Source(QStringLiteral("b.doc"), "b");
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a}), OpResult::kDone);
        const QString container = rig->ContainerOf(rig->folder, QStringLiteral("a.txt"));
        QVERIFY(EncryptRig::ReadOnly(container));

        rig->Source(QStringLiteral("a.txt"), "new content");
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kYes};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a, foreign}), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QCOMPARE(rig->ContainerOf(rig->folder, QStringLiteral("a.txt")), container);
        QVERIFY(rig->Opens(container, QStringLiteral("a.txt"), "new content"));
        QVERIFY(EncryptRig::ReadOnly(container));
        QVERIFY(EncryptRig::ReadOnly(rig->ContainerOf(rig->folder, QStringLiteral("b.doc"))));
    }

    // A write-back names the container it replaces: of two containers with the same name only that one
    // changes, with no overwrite question, no identical skip and no working-copy check; it keeps its disk
    // name and ends read-only, and the source is gone.
    void ReplaceTargetIsOverwrittenWithoutAQuestion() {
        auto rig = Started();
        QVERIFY(rig);
        rig->app.State().settings.outsideReWriteSkipFlg = 1;
        rig->encrypt->isOpenInWorkspace = [](const QString&) { return true; };
        const QString first = rig->Encrypt(rig->folder, QStringLiteral("twin.txt"), "first");
        const QString second = rig->Encrypt(rig->folder, QStringLiteral("twin.txt"), "second");
        const QByteArray firstBytes = EncryptRig::Bytes(first);
        const QString copy = rig->Source(QStringLiteral("twin.txt"), "edited");
        EncryptInRequest request;
        request.mode = EncryptInRequest::kMove;
        request.sources = {copy};
        request.destination = rig->folder;
        request.replaceTarget = second;
        QCOMPARE(rig->encrypt->Run(request), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QCOMPARE(rig->prompts.asked, QStringList());
        QVERIFY(!QFileInfo::exists(copy));
        QCOMPARE(EncryptRig::Bytes(first), firstBytes);
        QVERIFY(rig->Opens(second, QStringLiteral("twin.txt"), "edited"));
        QVERIFY(EncryptRig::ReadOnly(second));
        QCOMPARE(QDir(rig->folder).entryList({QStringLiteral("*.zorf")}).size(), 2);
    }

    // The stop command between files ends the run with A105; what was taken in stays. A folder registered
    // read-only is refused with A316 before anything happens.
    void StopBetweenFilesAndReadOnlyFolder() {
        auto rig = Started();
        QVERIFY(rig);
        const QString mine = rig->Encrypt(rig->outside, QStringLiteral("mine.txt"), "m");
        const QString b = rig->Source(QStringLiteral("b.txt"), "b");
        rig->prompts.noticeTicks = {false};
        rig->prompts.onNotice = [&] { rig->ui.SetStop(true); };
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {mine, b}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{105});
        QVERIFY(!rig->ContainerOf(rig->folder, QStringLiteral("mine.txt")).isEmpty());
        QVERIFY(rig->ContainerOf(rig->folder, QStringLiteral("b.txt")).isEmpty());
        QCOMPARE(rig->ui.Status(), QString());
        rig->ui.SetStop(false);
        rig->prompts.onNotice = nullptr;

        const QString readOnly = m_folders.NewFolder(QStringLiteral("ro"));
        QCOMPARE(rig->Add(readOnly, FolderRig::kPassword, QStringLiteral("1"), QStringLiteral("RO")), 0);
        QVERIFY(rig->EnterKey(readOnly, FolderRig::kPassword));
        rig->ui.Clear();
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {b}, readOnly), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{316});
        QCOMPARE(QDir(readOnly).entryList(QDir::Files), QStringList());
    }

    // Identical files are skipped when the setting says so, and counted in A644; "暗号化する(&U)" replaces
    // plain files of the folder by their containers, and puts back what a stop left in the work area.
    void IdenticalSkipAndEncryptPlainFiles() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Source(QStringLiteral("a.txt"), "same");
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a}), OpResult::kDone);
        rig->app.State().settings.outsideReWriteSkipFlg = 1;
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {a}), OpResult::kDone);
        QCOMPARE(rig->encrypt->SkippedIdentical(), 1);
        QCOMPARE(rig->ui.Numbers(), QList<int>{644});
        QVERIFY(rig->ui.Messages().constFirst().text.contains(u'1'));

        const QString p1 = rig->folder + QStringLiteral("/p1.txt");
        const QString p2 = rig->folder + QStringLiteral("/p2.txt");
        QVERIFY(FolderRig::WriteRaw(p1, "plain one") && FolderRig::WriteRaw(p2, "plain two"));
        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->encrypt->EncryptPlainFiles({p1, p2}, rig->folder), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{115});
        QVERIFY(!QFileInfo::exists(p1) && !QFileInfo::exists(p2));
        QVERIFY(
            rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("p1.txt")), QStringLiteral("p1.txt"), "plain one"));
        QVERIFY(
            rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("p2.txt")), QStringLiteral("p2.txt"), "plain two"));
        const QString area = rig->app.WorkAreaOf(rig->Slot(rig->folder), QStringLiteral("Ce"));
        QCOMPARE(QDir(area).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

        // Stopped after the first file: the files not yet taken in come back from the work area.
        const QString p3 = rig->folder + QStringLiteral("/p3.txt");
        const QString p4 = rig->folder + QStringLiteral("/p4.txt");
        QVERIFY(FolderRig::WriteRaw(p3, "three") && FolderRig::WriteRaw(p4, "four"));
        // A file of the same name arrives meanwhile: the user's own comes back beside it.
        rig->ui.OnPump([&](int) {
            if (!rig->Engine().Batch().Empty() && !rig->ui.StopRequested()) {
                rig->ui.SetStop(true);
                FolderRig::WriteRaw(p4, "newcomer");
            }
        });
        rig->ui.Clear();
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->encrypt->EncryptPlainFiles({p3, p4}, rig->folder), OpResult::kFailed);
        rig->ui.OnPump(nullptr);
        rig->ui.SetStop(false);
        QCOMPARE(rig->ui.Numbers(), QList<int>({115, 105}));
        QVERIFY(!QFileInfo::exists(p3));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder, QStringLiteral("p3.txt")), QStringLiteral("p3.txt"), "three"));
        QCOMPARE(EncryptRig::Bytes(p4), QByteArray("newcomer"));
        QCOMPARE(EncryptRig::Bytes(rig->folder + QStringLiteral("/p4 (2).txt")), QByteArray("four"));
        QCOMPARE(QDir(area).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // A pipe dropped or selected for "暗号化する(&U)" is skipped with A740, never opened. Files whose names
    // are not UTF-8 (Shift-JIS "表示" has a backslash for its second byte) go in under their shown names.
    void OddSourcesAreSkippedOrTakenIn() {
        auto rig = Started();
        QVERIFY(rig);
        const QString pipe = rig->outside + QStringLiteral("/pipe");
        const QString inFolder = rig->folder + QStringLiteral("/pipe");
        QVERIFY(MakeFifo(pipe) && MakeFifo(inFolder) && QDir().mkpath(rig->outside + QStringLiteral("/tree")));
        const QByteArray native = QFile::encodeName(rig->outside) + "/\x95\x5c\x8e\xa6.txt";
        const QByteArray inNative = QFile::encodeName(rig->folder) + "/\x82\xa0.txt";
        QVERIFY(MakeNativeFile(native, "n") && MakeNativeFile(inNative, "n") &&
                MakeNativeFile(QFile::encodeName(rig->outside) + "/tree/\x82\xa2.txt", "n"));
        std::promise<void> finished;
        const std::shared_future<void> done = finished.get_future().share();
        std::future<bool> guards[] = {GuardFifo(pipe, done), GuardFifo(inFolder, done)};
        QCOMPARE(
            rig->Run(EncryptInRequest::kCopy, {pipe, rig->outside + QStringLiteral("/tree"), PathFromNative(native)}),
            OpResult::kDone);
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->encrypt->EncryptPlainFiles({inFolder, PathFromNative(inNative)}, rig->folder), OpResult::kDone);
        finished.set_value();
        for (std::future<bool>& guard : guards)
            QVERIFY(!guard.get());
        QCOMPARE(rig->ui.Numbers(), QList<int>({740, 115, 740}));
        for (const QString& shown :
             {QStringLiteral("%95\\%8E%A6.txt"), QStringLiteral("%82%A0.txt"), QStringLiteral("tree/%82%A2.txt")}) {
            const QString directory = rig->folder + u'/' + shown.section(u'/', 0, -2);
            const QString name = shown.section(u'/', -1);
            QVERIFY2(rig->Opens(rig->ContainerOf(QDir::cleanPath(directory), name), name, "n"), qPrintable(shown));
        }
    }

    // A file "暗号化する(&U)" cannot put back at its end is named in A660 and stays in the work area,
    // listed in the journal that the next start reads.
    void FailedPutBackAtTheEndIsReported() {
        auto rig = Started();
        QVERIFY(rig);
        const QString p5 = rig->folder + QStringLiteral("/p5.txt");
        const QString p6 = rig->folder + QStringLiteral("/p6.txt");
        QVERIFY(FolderRig::WriteRaw(p5, "five") && FolderRig::WriteRaw(p6, "six"));
        rig->ui.OnPump([&](int) {
            if (!rig->Engine().Batch().Empty() && !rig->ui.StopRequested()) {
                rig->ui.SetStop(true);
                rig->fs.renameFault = {QStringLiteral("/p6.txt"), EACCES, 0};
            }
        });
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->encrypt->EncryptPlainFiles({p5, p6}, rig->folder), OpResult::kFailed);
        rig->ui.OnPump(nullptr);
        QCOMPARE(rig->ui.Numbers(), QList<int>({115, 105, 660}));
        const QString area = rig->app.WorkAreaOf(rig->Slot(rig->folder), QStringLiteral("Ce"));
        QVERIFY(QFileInfo::exists(ParkedFiles::JournalOf(area)) && !QFileInfo::exists(p6));
    }

    // A folder overwrite where the old "folder" is a link: the link goes and a real folder takes its
    // place; what the link pointed to (outside, or the encrypted folder itself) is not touched.
    void OverwritingALinkedFolderReplacesTheLinkOnly_data() {
        QTest::addColumn<QString>("linkTo");
        QTest::newRow("folder outside") << "outside";
        QTest::newRow("the encrypted folder") << "box";
        QTest::newRow("nowhere") << "nowhere";
    }
    void OverwritingALinkedFolderReplacesTheLinkOnly() {
        QFETCH(QString, linkTo);
        auto rig = Started();
        QVERIFY(rig);
        const QString pictures = m_folders.NewFolder(QStringLiteral("pictures"));
        QVERIFY(FolderRig::WriteRaw(pictures + QStringLiteral("/album/photo.jpg"), "photo"));
        const QString keep = rig->Encrypt(rig->folder, QStringLiteral("keep.txt"), "keep");
        const QString target = linkTo == QStringLiteral("outside") ? pictures
                               : linkTo == QStringLiteral("box")   ? rig->folder
                                                                   : rig->folder + QStringLiteral("/nowhere");
        QVERIFY(QFile::link(target, rig->folder + QStringLiteral("/Pictures")));
        rig->Source(QStringLiteral("Pictures/new.txt"), "new");
        const QStringList picturesBefore = TreeSnapshot(pictures);
        rig->prompts.folderAnswers = {EncryptInPrompts::Overwrite::kYes};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {rig->outside + QStringLiteral("/Pictures")}), OpResult::kDone);
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder + QStringLiteral("/Pictures"), QStringLiteral("new.txt")),
                           QStringLiteral("new.txt"), "new"));
        QCOMPARE(TreeSnapshot(pictures), picturesBefore);
        QVERIFY(rig->Opens(keep, QStringLiteral("keep.txt"), "keep"));
    }

    // A folder whose old copy holds it (the same folder through a link, a folder inside the old copy) is
    // refused (A66) before any question, copied or moved: nothing of the encrypted folder is deleted.
    void FolderInsideItsOldCopyIsRefused() {
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/x/x")));
        rig->Encrypt(rig->folder + QStringLiteral("/x/x"), QStringLiteral("x.txt"), "x bytes");
        QVERIFY(QFile::link(rig->folder, rig->outside + QStringLiteral("/alias")));
        const QStringList before = TreeSnapshot(rig->folder);
        rig->prompts.folderAnswers = {EncryptInPrompts::Overwrite::kYes}; // what the old copy's question would get
        for (const QString& path : {rig->outside + QStringLiteral("/alias/x"), rig->folder + QStringLiteral("/x/x")})
            for (const int mode : {int(EncryptInRequest::kCopy), int(EncryptInRequest::kMove)}) {
                rig->ui.Clear();
                QCOMPARE(rig->Run(mode, {path}), OpResult::kFailed);
                QCOMPARE(rig->ui.Numbers(), QList<int>{66});
            }
        QCOMPARE(TreeSnapshot(rig->folder), before);
        QCOMPARE(rig->prompts.asked, QStringList());
        rig->prompts.folderAnswers.clear();
    }

    // A container of the folder moved in again through a linked path is already where it belongs: it is
    // neither copied over itself nor wiped as the moved source.
    void ContainerMovedOntoItselfThroughALinkStays() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("only.txt"), "only copy");
        QVERIFY(QFile::link(rig->folder, rig->outside + QStringLiteral("/alias")));
        rig->prompts.noticeTicks = {false};
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kYes}; // what the overwrite question would get
        QCOMPARE(rig->Run(EncryptInRequest::kMove,
                          {rig->outside + QStringLiteral("/alias/") + QFileInfo(container).fileName()}),
                 OpResult::kDone);
        rig->prompts.fileAnswers.clear();
        QVERIFY(rig->Opens(container, QStringLiteral("only.txt"), "only copy"));
    }

    // A folder overwrite that fails part-way (a full disk on the new folder's first container) leaves the
    // old folder as it was, and nothing of the new one: the new folder is filled beside the old.
    void FailedFolderOverwriteKeepsTheOldFolder() {
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/d/deep")));
        const QString kept = rig->Encrypt(rig->folder + QStringLiteral("/d/deep"), QStringLiteral("old.txt"), "old");
        rig->Source(QStringLiteral("d/new.txt"), "new bytes");
        const QStringList before = TreeSnapshot(rig->folder);
        rig->fs.writeFault = {QStringLiteral("/d.~"), ENOSPC, 0};
        rig->prompts.folderAnswers = {EncryptInPrompts::Overwrite::kYes};
        QCOMPARE(rig->Run(EncryptInRequest::kCopy, {rig->outside + QStringLiteral("/d")}), OpResult::kFailed);
        QCOMPARE(TreeSnapshot(rig->folder), before);
        QVERIFY(rig->Opens(kept, QStringLiteral("old.txt"), "old"));
    }

    // A subfolder that cannot be made (A20, an error) stops a folder source there, copied or moved: what
    // was taken in before opens in the folder, and everything else is still in the source.
    void SubfolderThatCannotBeMadeStopsTheRun_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("copy") << int(EncryptInRequest::kCopy);
        QTest::newRow("move") << int(EncryptInRequest::kMove);
    }
    void SubfolderThatCannotBeMadeStopsTheRun() {
        QFETCH(int, mode);
        auto rig = Started();
        QVERIFY(rig);
        const QString tree = rig->outside + QStringLiteral("/tree");
        rig->Source(QStringLiteral("tree/a.txt"), "a bytes");
        rig->Source(QStringLiteral("tree/sub/b.txt"), "b bytes");
        rig->Source(QStringLiteral("tree/z.txt"), "z bytes");
        rig->fs.makeFolderFault = {rig->folder + QStringLiteral("/tree/sub"), ENOSPC, 0};
        QCOMPARE(rig->Run(mode, {tree}), OpResult::kFailed);
        rig->fs.makeFolderFault = {};
        QCOMPARE(rig->ui.Numbers(), QList<int>{20});
        QCOMPARE(rig->ui.Messages().constFirst().icon, Icon::Error);
        QCOMPARE(rig->busyCalls, QList<bool>({true, false}));
        QVERIFY(rig->Opens(rig->ContainerOf(rig->folder + QStringLiteral("/tree"), QStringLiteral("a.txt")),
                           QStringLiteral("a.txt"), "a bytes"));
        QCOMPARE(QFileInfo::exists(tree + QStringLiteral("/a.txt")), mode == EncryptInRequest::kCopy);
        QCOMPARE(EncryptRig::Bytes(tree + QStringLiteral("/sub/b.txt")), QByteArray("b bytes"));
        QCOMPARE(EncryptRig::Bytes(tree + QStringLiteral("/z.txt")), QByteArray("z bytes"));
        QCOMPARE(rig->Listed(rig->folder + QStringLiteral("/tree")).keys(), QStringList{QStringLiteral("a.txt")});
    }
};

QTEST_GUILESS_MAIN(TestEncryptIn)
#include "TestEncryptIn.moc"
