#include "EditorLeftovers.h"
#include "FolderRig.h"
#include "ScriptedEncryptInPrompts.h"
#include "TreeSnapshot.h"
#include "util/MessageNumbers.h"
#include "folder/FolderOperations.h"
#include "platform/AccessCheck.h"
#include "platform/Trash.h"
#include "util/PathIdentity.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korimbo;

namespace {

struct OperationsRig : FolderRig {
    using FolderRig::FolderRig;
    ScriptedEncryptInPrompts prompts;
    CUndoHistory history;
    InsideClipboard clipboard;
    std::unique_ptr<FreedesktopTrash> trash;
    std::unique_ptr<CFolderOperations> ops;
    QStringList open; // containers "open in the workspace"

    bool StartIn(const QString& root, const QString& homeTrash) {
        if (!StartWith(root))
            return false;
        AppState& s = app.State();
        trash = std::make_unique<FreedesktopTrash>(homeTrash, volumes);
        ops = std::make_unique<CFolderOperations>(Services(), prompts, trash.get(), history);
        ops->SetOpenCheck([this](const QString& path) { return open.contains(path); });
        ops->workRoot = s.workFolder->angoTempFolder;
        return true;
    }
    // A second registered folder, logged in, whose password is not the first one's.
    QString Other(const QString& root) {
        const QString password = QStringLiteral("Other#Pw2");
        return Add(root, password, QStringLiteral("0"), QStringLiteral("OTHER")) == 0 && EnterKey(root, password)
                   ? root
                   : QString();
    }
    // Nothing decrypted may stay in a folder's creation area once an operation is over.
    bool CreationAreaEmpty(const QString& workId) {
        return !QDirIterator(app.State().workFolder->angoTempFolder + u'/' + workId + QStringLiteral("/Ce"),
                             QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories)
                    .hasNext();
    }
    // What a container holds, decrypted with `key`; empty when it does not open.
    QByteArray Plain(const QString& container, const QString& key) {
        QFile file(scratch.path() + QStringLiteral("/plain.out"));
        const bool opened =
            Engine().DecryptFile(container, file.fileName(), key) == kOk && file.open(QIODevice::ReadOnly);
        const QByteArray bytes = opened ? file.readAll() : QByteArray();
        file.remove();
        return bytes;
    }
    // Every container below `directory` by its path from there and stored name, with what it holds.
    QMap<QString, QByteArray> Contents(const QString& directory, const QString& key, const QString& prefix = {}) {
        QMap<QString, QByteArray> contents;
        const QHash<QString, QString> listed = Listed(directory, key);
        for (auto it = listed.cbegin(); it != listed.cend(); ++it)
            if (QFileInfo(it.value()).isDir())
                contents.insert(Contents(it.value(), key, prefix + it.key() + u'/'));
            else
                contents.insert(prefix + it.key(), Plain(it.value(), key));
        return contents;
    }
    // A read-only container of `plainName` in `directory`, as encrypt-in leaves it.
    QString Container(const QString& directory, const QString& plainName, const QByteArray& bytes = "contents") {
        const QString path = Encrypt(directory, plainName, bytes);
        if (!path.isEmpty())
            static_cast<void>(fs.SetReadOnly(path));
        return path;
    }
    // Display name -> disk path of the directory's entries.
    QHash<QString, QString> Listed(const QString& directory, QString key = QString()) {
        if (key.isEmpty())
            key = folder;
        QList<NameEntry> entries;
        QHash<QString, QString> byName;
        if (names->RefreshNameFile(directory, key) == 0 && names->LoadNameEntries(directory, key, true, entries) == 0)
            for (const NameEntry& e : entries)
                if (!e.diskName.startsWith(u'.')) // hidden, as the list hides them
                    byName.insert(e.displayName, directory + u'/' + e.diskName);
        return byName;
    }
    QString StoredName(const QString& container) {
        ContainerInfo info;
        return Engine().ReadContainerInfo(container, info, folder, false) == 0 ? info.name : QString();
    }
    QString Text(int number) { return app.State().catalogue->MsgA(number); }
    static bool ReadOnly(const QString& path) {
        return (QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
    }
};

} // namespace

// Cut, copy, paste, drops, rename, delete and undo inside an encrypted folder, on real containers and a
// real trash folder.
class TestFolderOperations : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;
    QString m_trash;

    // What a link says, word for word; empty for anything else.
    static QByteArray LinkText(const QString& path) {
        char buffer[4096];
        const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
        return n < 0 ? QByteArray() : QByteArray(buffer, qsizetype(n));
    }

    // Puts a `kind` of item at `path`: another container, a plain file, a folder, a link to `target`, a pipe.
    static bool MakeObstacle(OperationsRig& rig, const QString& kind, const QString& path, const QString& target) {
        const QByteArray native = QFile::encodeName(path);
        if (kind == QStringLiteral("container")) {
            const QString other = rig.Container(rig.folder, QStringLiteral("b.txt"));
            return !other.isEmpty() && QFile::rename(other, path);
        }
        if (kind == QStringLiteral("plain"))
            return OperationsRig::WriteRaw(path, "in the way");
        if (kind == QStringLiteral("folder"))
            return QDir().mkdir(path);
        if (kind == QStringLiteral("link"))
            return QFile::link(target, path);
        return ::mkfifo(native.constData(), 0600) == 0;
    }

    std::unique_ptr<OperationsRig> Started() {
        auto rig = std::make_unique<OperationsRig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->StartIn(m_folders.NewFolder(QStringLiteral("box")), m_trash) ? std::move(rig) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
        // The trash of this test: a private XDG data folder, found the way the program finds the real one.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_folders.Path(QStringLiteral("xdg-data"))));
        m_trash = FreedesktopTrash::HomeTrashOfEnvironment();
        QCOMPARE(m_trash, m_folders.Path(QStringLiteral("xdg-data/Trash")));
    }

    void CopyNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("file") << "a.txt" << false << 1 << QStringLiteral("a - コピー.txt");
        QTest::newRow("file 2") << "a.txt" << false << 2 << QStringLiteral("a - コピー (2).txt");
        QTest::newRow("last extension only") << "a.tar.gz" << false << 1 << QStringLiteral("a.tar - コピー.gz");
        QTest::newRow("no extension") << "notes" << false << 3 << QStringLiteral("notes - コピー (3)");
        QTest::newRow("folder keeps its dot") << "v1.2" << true << 1 << QStringLiteral("v1.2 - コピー");
        QTest::newRow("folder 2") << "d" << true << 2 << QStringLiteral("d - コピー (2)");
    }
    void CopyNames() {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(CItemTransfer::CopyName(name, folder, n), expected);
    }

    // Pasting a copy into the folder it came from twice: "a - コピー.txt", then "a - コピー (2).txt", each a
    // new container that opens with the folder's key; a folder gets " - コピー" with its containers copied.
    void CopyTwiceIntoItsOwnFolder() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/d")));
        rig->Container(rig->folder + QStringLiteral("/d"), QStringLiteral("in.txt"));
        QCOMPARE(rig->ops->Take(rig->clipboard, {a, rig->folder + QStringLiteral("/d")}, false, rig->folder),
                 OpResult::kDone);
        QCOMPARE(rig->ops->Paste(rig->clipboard, rig->folder), OpResult::kDone);
        QCOMPARE(rig->ops->Paste(rig->clipboard, rig->folder), OpResult::kDone);
        const auto listed = rig->Listed(rig->folder);
        QVERIFY(listed.contains(QStringLiteral("a - コピー.txt")));
        QVERIFY(listed.contains(QStringLiteral("a - コピー (2).txt")));
        QVERIFY(listed.contains(QStringLiteral("d - コピー")));
        QVERIFY(listed.contains(QStringLiteral("d - コピー (2)")));
        const QString copy = listed.value(QStringLiteral("a - コピー (2).txt"));
        QVERIFY(copy.endsWith(QStringLiteral(".zorf")));
        QCOMPARE(rig->StoredName(copy), QStringLiteral("a - コピー (2).txt"));
        QVERIFY(OperationsRig::ReadOnly(copy));
        QVERIFY(rig->Listed(rig->folder + QStringLiteral("/d - コピー")).contains(QStringLiteral("in.txt")));
        QCOMPARE(rig->clipboard.Count(), 2); // a copy stays on the clipboard
        QCOMPARE(rig->history.Count(), 2);
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'a - コピー (2).txt' を含む2個のコピー"));
        QVERIFY(!rig->ui.Has(105));
    }

    // A folder pasted into itself or into its own subfolder is refused and nothing is made.
    void FolderIntoItselfOrItsSubfolderIsRefused() {
        auto rig = Started();
        QVERIFY(rig);
        const QString d = rig->folder + QStringLiteral("/d");
        QVERIFY(QDir().mkpath(d + QStringLiteral("/sub")));
        QCOMPARE(rig->ops->Take(rig->clipboard, {d}, true, rig->folder), OpResult::kDone);
        QCOMPARE(rig->ops->Paste(rig->clipboard, d + QStringLiteral("/sub")), OpResult::kFailed);
        QVERIFY(rig->ui.Has(313));
        QVERIFY(rig->ui.Find(313)->text.endsWith(QStringLiteral("d' を移動")));
        QVERIFY(QFileInfo(d + QStringLiteral("/sub")).isDir());
        QVERIFY(!QFileInfo::exists(d + QStringLiteral("/sub/d")));
        QCOMPARE(rig->clipboard.items, QStringList{d}); // refused before anything moved: still there
        QCOMPARE(rig->history.Count(), 0);
        QCOMPARE(rig->ops->Paste(rig->clipboard, rig->folder), OpResult::kFailed); // the folder that already holds it
        QVERIFY(rig->ui.Has(314));

        rig->ui.Clear();
        QCOMPARE(rig->ops->Drop({d}, d, false), OpResult::kFailed);
        QVERIFY(rig->ui.Has(312));
        QCOMPARE(rig->ops->Drop({d}, d + QStringLiteral("/sub"), true), OpResult::kFailed);
        QVERIFY(rig->ui.Has(313));
    }

    // A second cut replaces the first; a paste after a cut moves the items and empties the clipboard.
    void SecondCutReplacesTheFirstAndPasteEmptiesIt() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        const QString b = rig->Container(rig->folder, QStringLiteral("b.txt"));
        const QString to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(to));
        QCOMPARE(rig->ops->Take(rig->clipboard, {a}, true, rig->folder), OpResult::kDone);
        QCOMPARE(rig->ops->Take(rig->clipboard, {b}, true, rig->folder), OpResult::kDone);
        QCOMPARE(rig->clipboard.items, QStringList{b});
        QCOMPARE(rig->ops->Paste(rig->clipboard, to), OpResult::kDone);
        QCOMPARE(rig->clipboard.Count(), 0);
        QVERIFY(QFileInfo::exists(a));
        QVERIFY(!QFileInfo::exists(b));
        const QString moved = rig->Listed(to).value(QStringLiteral("b.txt"));
        QVERIFY(!moved.isEmpty());
        QVERIFY(OperationsRig::ReadOnly(moved));
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'b.txt' の移動"));

        // Undo of the move puts it back where it was.
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QVERIFY(QFileInfo::exists(b));
        QVERIFY(!QFileInfo::exists(moved));
        QCOMPARE(rig->history.Count(), 0);
    }

    // A cut from a folder registered read-only is refused before the clipboard changes.
    void CutFromAReadOnlyFolderIsRefused() {
        auto rig = Started();
        QVERIFY(rig);
        const QString readOnly = m_folders.NewFolder(QStringLiteral("ro"));
        QCOMPARE(rig->Add(readOnly, FolderRig::kPassword, QStringLiteral("1"), QStringLiteral("RO")), 0);
        QVERIFY(rig->EnterKey(readOnly, FolderRig::kPassword));
        const QString a = rig->Container(readOnly, QStringLiteral("a.txt"));
        QCOMPARE(rig->ops->Take(rig->clipboard, {a}, true, readOnly), OpResult::kFailed);
        QVERIFY(rig->ui.Has(316));
        QCOMPARE(rig->clipboard.Count(), 0);
        QCOMPARE(rig->ops->Take(rig->clipboard, {a}, false, readOnly), OpResult::kDone); // a copy may be taken
    }

    // A copy into another folder asks before it replaces a container of the same name; undo of the copy asks
    // and deletes the copies for good.
    void CopyElsewhereAsksBeforeOverwritingAndUndoDeletesTheCopy() {
        auto rig = Started();
        QVERIFY(rig);
        const QString to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(to));
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"), "new");
        const QString old = rig->Container(to, QStringLiteral("a.txt"), "old");
        const QString b = rig->Container(rig->folder, QStringLiteral("b.txt"));
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kNo};
        QCOMPARE(rig->ops->Drop({a, b}, to, false), OpResult::kDone);
        QCOMPARE(rig->prompts.asked, QStringList{QStringLiteral("file:a.txt")});
        QVERIFY(QFileInfo::exists(old)); // "いいえ" skipped it
        const QString copy = rig->Listed(to).value(QStringLiteral("b.txt"));
        QVERIFY(!copy.isEmpty());
        QVERIFY(QFileInfo::exists(b));
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'b.txt' のコピー"));

        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(rig->ui.Find(179)->text, QStringLiteral("'b.txt' を") + rig->Text(179));
        QVERIFY(!QFileInfo::exists(copy));
        QVERIFY(QFileInfo::exists(b));
        QVERIFY(QFileInfo::exists(old));
    }

    // A full disk during a copy: the message of the write, nothing half-written left in the destination,
    // no record. A subfolder that cannot be made stops a folder's move with the source whole. A move to
    // another registered folder whose source cannot be deleted stops with A112.
    void CopyFaultsLeaveNothingHalfDone() {
        auto rig = Started();
        QVERIFY(rig);
        const QString to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(to));
        QByteArray noise(300000, 0);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + (i >> 3) * 104729) & 0xff); // compresses badly
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"), noise);
        QVERIFY(QFileInfo(a).size() > 2000);
        rig->fs.writeFault = {to, ENOSPC, 1000};
        QCOMPARE(rig->ops->Drop({a}, to, false), OpResult::kFailed);
        QVERIFY(rig->ui.Has(msg::kDestinationWrite));
        QCOMPARE(QDir(to).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(rig->history.Count(), 0);
        rig->fs.writeFault = {};

        const QString d = rig->folder + QStringLiteral("/d");
        QVERIFY(QDir().mkpath(d + QStringLiteral("/sub")));
        const QString inner = rig->Container(d + QStringLiteral("/sub"), QStringLiteral("in.txt"));
        rig->fs.makeFolderFault = {QStringLiteral("/d/sub"), EDQUOT, 0};
        rig->fs.renameFault = {d, EXDEV, 0}; // another volume: the move copies
        QCOMPARE(rig->ops->Drop({d}, to, true), OpResult::kFailed);
        QVERIFY(rig->ui.Has(msg::kDestinationOpen));
        QVERIFY(QFileInfo::exists(inner));
        QVERIFY(!QFileInfo::exists(to + QStringLiteral("/d")));
        rig->fs.makeFolderFault = rig->fs.renameFault = {};

        const QString other = m_folders.NewFolder(QStringLiteral("other"));
        QCOMPARE(rig->Add(other, FolderRig::kPassword, QStringLiteral("0"), QStringLiteral("OTHER")), 0);
        QVERIFY(rig->EnterKey(other, FolderRig::kPassword));
        rig->fs.removeFault = {a, EACCES, 0};
        QCOMPARE(rig->ops->Drop({a}, other, true), OpResult::kFailed);
        QVERIFY(rig->ui.Has(112));
        QVERIFY(QFileInfo::exists(a));
        QCOMPARE(QDir(other).entryList({QStringLiteral("*.zorf")}, QDir::Files).size(), 1);
        rig->fs.removeFault = {};
        QCOMPARE(rig->history.Count(), 0);
    }

    // Between folders of two passwords every container is made again under the destination's key with its
    // stored name, nothing decrypted stays in the work area, and undo takes it back.
    void TransferBetweenPasswords_data() {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("move");
        QTest::newRow("copy folder") << true << false;
        QTest::newRow("move folder") << true << true;
        QTest::newRow("move file") << false << true;
    }
    void TransferBetweenPasswords() {
        QFETCH(bool, folder);
        QFETCH(bool, move);
        auto rig = Started();
        QVERIFY(rig);
        const QString p = rig->folder, q = rig->Other(m_folders.NewFolder(QStringLiteral("other")));
        const QString docs = p + QStringLiteral("/docs");
        QVERIFY(!q.isEmpty() && QDir().mkpath(docs + QStringLiteral("/sub")));
        const QString report = rig->Container(docs, QStringLiteral("report.txt"), "report");
        rig->Container(docs + QStringLiteral("/sub"), QStringLiteral("inner.txt"), "inner");
        const QMap<QString, QByteArray> before = rig->Contents(p, p);
        QCOMPARE(rig->ops->Drop({folder ? docs : report}, q, move), OpResult::kDone);
        QCOMPARE(rig->Contents(q, q),
                 (folder ? before : QMap<QString, QByteArray>{{QStringLiteral("report.txt"), "report"}}));
        QVERIFY(rig->CreationAreaEmpty(QStringLiteral("OTHER")));
        if (!move)
            rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(rig->Contents(q, q), (QMap<QString, QByteArray>()));
        QCOMPARE(rig->Contents(p, p), before);
    }

    // A write that fails half-way into a folder of another password leaves the source whole, nothing of the
    // half copy, and no record.
    void FailedTransferBetweenPasswordsKeepsTheSource() {
        auto rig = Started();
        QVERIFY(rig);
        const QString p = rig->folder, q = rig->Other(m_folders.NewFolder(QStringLiteral("other")));
        const QString docs = p + QStringLiteral("/docs");
        QVERIFY(!q.isEmpty() && QDir().mkpath(docs + QStringLiteral("/zz")));
        const QString small = rig->Container(docs, QStringLiteral("small.txt"), "small");
        QByteArray noise(300000, 0);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4); // no deflating
        rig->Container(docs + QStringLiteral("/zz"), QStringLiteral("big.bin"), noise);            // copied last
        const QMap<QString, QByteArray> before = rig->Contents(p, p);
        rig->fs.writeFault = {q, ENOSPC, QFileInfo(small).size() + 4096};
        QCOMPARE(rig->ops->Drop({docs}, q, true), OpResult::kFailed);
        QVERIFY(rig->ui.Has(msg::kDestinationWrite));
        QCOMPARE(rig->Contents(p, p), before);
        QVERIFY(!QFileInfo::exists(q + QStringLiteral("/docs")));
        QCOMPARE(rig->history.Count(), 0);
    }

    // A container replaced by a copy or a move goes to the trash, or stays beside where there is none; undo
    // brings it back in its place.
    void UndoBringsBackWhatWasReplaced_data() {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("withTrash");
        QTest::newRow("copy, trash") << false << true;
        QTest::newRow("move, no trash") << true << false;
    }
    void UndoBringsBackWhatWasReplaced() {
        QFETCH(bool, move);
        QFETCH(bool, withTrash);
        auto rig = Started();
        QVERIFY(rig);
        CFolderOperations noTrash(rig->Services(), rig->prompts, nullptr, rig->history);
        CFolderOperations& ops = withTrash ? *rig->ops : noTrash;
        const QString to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(to));
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"), "new");
        const QString old = rig->Container(to, QStringLiteral("a.txt"), "old");
        rig->prompts.fileAnswers = {EncryptInPrompts::Overwrite::kYes};
        QCOMPARE(ops.Drop({a}, to, move), OpResult::kDone);
        if (!move)
            rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(ops.Undo(), OpResult::kDone);
        QCOMPARE(rig->Contents(to, rig->folder), (QMap<QString, QByteArray>{{QStringLiteral("a.txt"), "old"}}));
        QCOMPARE(rig->Listed(to).value(QStringLiteral("a.txt")), old);
        QCOMPARE(rig->Plain(a, rig->folder), QByteArray("new"));
    }

    // The old container that cannot be removed after a rename: A42, the new one goes, nothing is recorded.
    void RenameThatCannotRemoveTheOldContainerUndoesItself() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        rig->fs.removeFault = {a, EACCES, 0};
        QString renamed;
        QCOMPARE(rig->ops->Rename(a, QStringLiteral("a.txt"), QStringLiteral("b.txt"), renamed), OpResult::kFailed);
        QVERIFY(rig->ui.Has(42));
        QCOMPARE(QDir(rig->folder).entryList({QStringLiteral("*.zorf")}, QDir::Files),
                 QStringList{QFileInfo(a).fileName()});
        QCOMPARE(rig->history.Count(), 0);
    }

    // A cut container open in the workspace is not pasted elsewhere (A704); the clipboard keeps it.
    void PasteOfAnOpenCutContainerIsRefused() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        const QString to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(to));
        QCOMPARE(rig->ops->Take(rig->clipboard, {a}, true, rig->folder), OpResult::kDone);
        rig->open = {a};
        QCOMPARE(rig->ops->Paste(rig->clipboard, to), OpResult::kFailed);
        QVERIFY(rig->ui.Has(704));
        QVERIFY(QFileInfo::exists(a));
        QCOMPARE(rig->clipboard.items, QStringList{a});
    }

    // Rename: a name with ":" is refused; the stem typed alone while extensions are hidden keeps the
    // extension; the container gets a new disk name and the old one is gone; undo gives the old name back.
    void RenameRules() {
        auto rig = Started();
        QVERIFY(rig);
        rig->app.State().settings.titleMode = 0;
        const QString a = rig->Container(rig->folder, QStringLiteral("report.txt"));
        QString renamed;
        QCOMPARE(rig->ops->Rename(a, QStringLiteral("report"), QStringLiteral("re:port"), renamed), OpResult::kFailed);
        QVERIFY(rig->ui.Has(290));
        QVERIFY(QFileInfo::exists(a));
        QCOMPARE(rig->StoredName(a), QStringLiteral("report.txt"));
        QCOMPARE(rig->history.Count(), 0);

        QCOMPARE(rig->ops->Rename(a, QStringLiteral("report"), QStringLiteral("report"), renamed), OpResult::kDeclined);

        QCOMPARE(rig->ops->Rename(a, QStringLiteral("report"), QStringLiteral("summary"), renamed), OpResult::kDone);
        QVERIFY(renamed != a);
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(OperationsRig::ReadOnly(renamed));
        QCOMPARE(rig->StoredName(renamed), QStringLiteral("summary.txt"));
        QCOMPARE(rig->Listed(rig->folder).value(QStringLiteral("summary.txt")), renamed);
        QCOMPARE(rig->history.MenuText(), QStringLiteral("元に戻す - 名前の変更(&U)\tCtrl+Z"));
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'summary.txt' を 'report.txt' に変更"));

        // With extensions shown the typed name is taken as it is.
        rig->app.State().settings.titleMode = 1;
        QString plain;
        QCOMPARE(rig->ops->Rename(renamed, QStringLiteral("summary.txt"), QStringLiteral("summary"), plain),
                 OpResult::kDone);
        QCOMPARE(rig->StoredName(plain), QStringLiteral("summary"));

        // Another item of that name, whatever its case, refuses the rename.
        rig->Container(rig->folder, QStringLiteral("Other.txt"));
        QString refused;
        QCOMPARE(rig->ops->Rename(plain, QStringLiteral("summary"), QStringLiteral("other.TXT"), refused),
                 OpResult::kFailed);
        QVERIFY(rig->ui.Has(40));

        // Undo twice: the names come back in turn.
        rig->ui.Clear();
        const OpResult undone = rig->ops->Undo();
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QCOMPARE(undone, OpResult::kDone);
        QVERIFY(rig->Listed(rig->folder).contains(QStringLiteral("summary.txt")));
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QVERIFY(rig->Listed(rig->folder).contains(QStringLiteral("report.txt")));
        QCOMPARE(rig->history.Count(), 0);
    }

    // A folder is renamed on disk; a folder of that name already there refuses it.
    void RenameFolder() {
        auto rig = Started();
        QVERIFY(rig);
        const QString d = rig->folder + QStringLiteral("/d");
        QVERIFY(QDir().mkpath(d));
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/taken")));
        QString renamed;
        QCOMPARE(rig->ops->Rename(d, QStringLiteral("d"), QStringLiteral("taken"), renamed), OpResult::kFailed);
        QVERIFY(rig->ui.Has(35));
        QCOMPARE(rig->ops->Rename(d, QStringLiteral("d"), QStringLiteral("e"), renamed), OpResult::kDone);
        QCOMPARE(renamed, rig->folder + QStringLiteral("/e"));
        QVERIFY(QFileInfo(renamed).isDir());
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'e' を 'd' に変更"));
    }

    // Shift-delete is permanent: nothing in the trash, no undo record.
    void PermanentDeleteIsNotUndoable() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({a}, true), OpResult::kDone);
        QCOMPARE(rig->ui.Find(2)->text, rig->Text(2) + QStringLiteral("a.txt"));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(!QFileInfo::exists(m_trash + QStringLiteral("/files/") + QFileInfo(a).fileName()));
        QCOMPARE(rig->history.Count(), 0);
        QVERIFY(!rig->ops->CanUndo(false));
    }

    // Delete to the trash and undo: the container comes back from the trash folder under its disk name,
    // read-only; the trash keeps nothing of it.
    void UndoOfDeleteRestoresFromTheTrash() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"), "alpha");
        const QString disk = QFileInfo(a).fileName();
        const QDateTime time = QFileInfo(a).lastModified();
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({a}, false), OpResult::kDone);
        QCOMPARE(rig->ui.Find(1)->text, rig->Text(1) + QStringLiteral("a.txt"));
        QVERIFY(!QFileInfo::exists(a));
        const QString trashed = m_trash + QStringLiteral("/files/") + disk;
        QVERIFY(QFileInfo::exists(trashed));
        QFile info(m_trash + QStringLiteral("/info/") + disk + QStringLiteral(".trashinfo"));
        QVERIFY(info.open(QIODevice::ReadOnly));
        QVERIFY(info.readAll().contains("Path=" + QUrl::toPercentEncoding(a, "/")));
        info.close();
        QVERIFY(!rig->Listed(rig->folder).contains(QStringLiteral("a.txt")));
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'a.txt' の削除"));
        QVERIFY(rig->ops->CanUndo(false));

        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QVERIFY(QFileInfo::exists(a));
        QVERIFY(OperationsRig::ReadOnly(a));
        QCOMPARE(QFileInfo(a).lastModified(), time);
        QVERIFY(!QFileInfo::exists(trashed));
        QVERIFY(!info.exists());
        QCOMPARE(rig->Listed(rig->folder).value(QStringLiteral("a.txt")), a);
        QCOMPARE(rig->history.Count(), 0);
    }

    // An item removed from the trash meanwhile shows A168 and is skipped; the others come back.
    void ItemGoneFromTheTrashIsSkipped() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        const QString d = rig->folder + QStringLiteral("/d");
        QVERIFY(QDir().mkpath(d));
        rig->Container(d, QStringLiteral("in.txt"));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({a, d}, false), OpResult::kDone);
        QCOMPARE(rig->ui.Find(44)->text, rig->Text(44) + QStringLiteral("2"));
        QCOMPARE(rig->history.Description(), QStringLiteral("元に戻す - 'a.txt' を含む2個の削除"));
        // The user empties that item from the trash.
        const QString trashed = m_trash + QStringLiteral("/files/") + QFileInfo(a).fileName();
        QFile::setPermissions(trashed, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QFile::remove(trashed));

        rig->ui.Clear();
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{168});
        QCOMPARE(rig->ui.Find(168)->text, rig->Text(168) + QStringLiteral("a.txt"));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(QFileInfo(d).isDir());
        QVERIFY(rig->Listed(d).contains(QStringLiteral("in.txt")));
        QCOMPARE(rig->history.Count(), 0);
    }

    // Something now in the recorded place: the question names what it is; No leaves both where they are, Yes
    // removes only the thing itself (a link goes, what it points to stays) and brings the item back.
    void RestoreAsksWhenThePlaceIsTaken_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("question");
        QTest::addColumn<bool>("yes");
        const QList<std::pair<QString, int>> kinds{{QStringLiteral("container"), msg::kContainerInWay},
                                                   {QStringLiteral("plain"), msg::kPlainFileInWay},
                                                   {QStringLiteral("folder"), msg::kFolderInWay},
                                                   {QStringLiteral("link"), msg::kLinkInWay},
                                                   {QStringLiteral("pipe"), msg::kSpecialFileInWay}};
        for (const auto& [kind, question] : kinds) {
            QTest::addRow("%s, no", qPrintable(kind)) << kind << question << false;
            QTest::addRow("%s, yes", qPrintable(kind)) << kind << question << true;
        }
    }
    void RestoreAsksWhenThePlaceIsTaken() {
        QFETCH(QString, kind);
        QFETCH(int, question);
        QFETCH(bool, yes);
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        const QString trashed = m_trash + QStringLiteral("/files/") + QFileInfo(a).fileName();
        const QString target = m_folders.NewFolder(QStringLiteral("elsewhere")) + QStringLiteral("/target.txt");
        QVERIFY(OperationsRig::WriteRaw(target, "pointed at"));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({a}, false), OpResult::kDone);
        QVERIFY(MakeObstacle(*rig, kind, a, target));

        rig->ui.Clear();
        rig->ui.QueueAnswer(yes ? kAnswerYes : kAnswerNo);
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{question});
        QCOMPARE(QFileInfo::exists(trashed), !yes);
        QCOMPARE(rig->Listed(rig->folder).contains(QStringLiteral("a.txt")), yes);
        QVERIFY(ItemExists(a));
        QVERIFY(QFileInfo(target).isFile());
    }

    // A plain file another program holds open is not removed for the item: the user is told, nothing moves.
    void RestoreKeepsAPlainFileInUse() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({a}, false), OpResult::kDone);
        QVERIFY(OperationsRig::WriteRaw(a, "in use"));
        leftovers::Sleeper editor;
        const QFileInfo way(a);
        QVERIFY(leftovers::Write(way.absolutePath() + QStringLiteral("/.") + way.fileName() + QStringLiteral(".swp"),
                                 leftovers::VimSwap(editor.Pid())));
        rig->ui.Clear();
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{msg::kOpenPlainFileInWay});
        QFile file(a);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("in use"));
        QVERIFY(QFileInfo::exists(m_trash + QStringLiteral("/files/") + way.fileName()));
    }

    // An open file stops a delete (A47) and a folder holding one (A46), before anything goes.
    void OpenItemsStopTheDelete() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        const QString d = rig->folder + QStringLiteral("/d");
        QVERIFY(QDir().mkpath(d));
        const QString inner = rig->Container(d, QStringLiteral("in.txt"));
        rig->open = {a, inner};
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({a}, false), OpResult::kFailed);
        QVERIFY(rig->ui.Has(47));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({d}, false), OpResult::kFailed);
        QVERIFY(rig->ui.Has(46));
        QVERIFY(QFileInfo::exists(a));
        QVERIFY(QFileInfo::exists(inner));
        QCOMPARE(rig->history.Count(), 0);
        // Dragged, a folder holding an open file or one another program holds stays where it is (A55).
        const QString to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(to));
        QCOMPARE(rig->ops->Drop({d}, to, true), OpResult::kFailed);
        rig->open.clear();
        rig->fs.heldOpen = {inner, EBUSY, 0};
        rig->ui.Clear();
        QCOMPARE(rig->ops->Drop({d}, to, true), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{55});
        QVERIFY(QFileInfo::exists(inner));
        rig->fs.heldOpen = {};
        // And "No" to the question leaves everything.
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->ops->Delete({a}, false), OpResult::kDeclined);
        QVERIFY(QFileInfo::exists(a));
    }

    // Logged out, the folder's records cannot be undone.
    void LoggedOutFolderDisablesUndo() {
        auto rig = Started();
        QVERIFY(rig);
        const QString a = rig->Container(rig->folder, QStringLiteral("a.txt"));
        QString renamed;
        QCOMPARE(rig->ops->Rename(a, QStringLiteral("a.txt"), QStringLiteral("b.txt"), renamed), OpResult::kDone);
        QVERIFY(rig->ops->CanUndo(false));
        rig->Engine().ReleaseKey(rig->folder);
        QVERIFY(!rig->ops->CanUndo(false));
        QCOMPARE(rig->ops->Undo(), OpResult::kFailed);
        QCOMPARE(rig->history.Count(), 1); // kept for when the folder is logged in again
        QVERIFY(QFileInfo::exists(renamed));
    }

    // Eleven undoable operations: the oldest record goes, the last ten stay in order.
    void OnlyTheLastTenCanBeUndone() {
        auto rig = Started();
        QVERIFY(rig);
        QString path = rig->folder + QStringLiteral("/n0");
        QVERIFY(QDir().mkpath(path));
        for (int i = 1; i <= 11; ++i) {
            QString renamed;
            QCOMPARE(rig->ops->Rename(path, QFileInfo(path).fileName(), QStringLiteral("n%1").arg(i), renamed),
                     OpResult::kDone);
            path = renamed;
        }
        QCOMPARE(rig->history.Count(), CUndoHistory::kMaxRecords);
        for (int i = 11; i >= 2; --i) {
            QCOMPARE(rig->history.Description(),
                     QStringLiteral("元に戻す - 'n%1' を 'n%2' に変更").arg(i).arg(i - 1));
            QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        }
        QCOMPARE(rig->history.Count(), 0);
        QVERIFY(QFileInfo(rig->folder + QStringLiteral("/n1")).isDir()); // the first rename stays
        QVERIFY(!rig->ops->CanUndo(false));
    }

    // The history keeps records only when they hold an item; Clear empties it (every encrypt-in).
    void RecordsCountOnlyWithItems() {
        CUndoHistory history;
        QCOMPARE(history.MenuText(), QStringLiteral("元に戻す(&U)\tCtrl+Z"));
        QCOMPARE(history.Description(), QStringLiteral("元に戻します"));
        const int empty = history.Start(UndoRecord::kCopy);
        QVERIFY(!history.Commit(empty));
        QCOMPARE(history.Count(), 0);
        const int slot = history.Start(UndoRecord::kDelete);
        history.Add(slot, {QStringLiteral("/f/a"), QStringLiteral("a"), QStringLiteral("t"), QStringLiteral("a")});
        QVERIFY(history.Commit(slot));
        QCOMPARE(history.MenuText(), QStringLiteral("元に戻す - 削除(&U)\tCtrl+Z"));
        history.Clear();
        QCOMPARE(history.Count(), 0);
    }

    // A cut pasted into a link (in another registered folder) to its own folder, its subfolder, itself or its
    // parent is refused like the same paste by the real path.
    void PasteThroughALinkIsJudgedOnDisk_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("linkTo");
        QTest::addColumn<int>("number");
        QTest::newRow("file into a link to its folder") << "d/sub/in.txt"
                                                        << "/d/sub" << 315;
        QTest::newRow("folder into a link to its subfolder") << "d"
                                                             << "/d/sub" << 313;
        QTest::newRow("folder into a link to itself") << "d"
                                                      << "/d" << 312;
        QTest::newRow("folder into a link to its parent") << "d"
                                                          << "" << 314;
    }
    void PasteThroughALinkIsJudgedOnDisk() {
        QFETCH(QString, item);
        QFETCH(QString, linkTo);
        QFETCH(int, number);
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(QDir().mkpath(rig->folder + QStringLiteral("/d/sub")));
        rig->Container(rig->folder + QStringLiteral("/d/sub"), QStringLiteral("in.txt"));
        const QString other = rig->Other(m_folders.NewFolder(QStringLiteral("other")));
        QVERIFY(!other.isEmpty() && QFile::link(rig->folder + linkTo, other + QStringLiteral("/link")));
        const QString path = item.endsWith(QStringLiteral(".txt"))
                                 ? rig->Listed(rig->folder + QStringLiteral("/d/sub")).value(QStringLiteral("in.txt"))
                                 : rig->folder + u'/' + item;
        const QStringList before = TreeSnapshot(rig->folder);
        QCOMPARE(rig->ops->Take(rig->clipboard, {path}, true, QFileInfo(path).absolutePath()), OpResult::kDone);
        QCOMPARE(rig->ops->Paste(rig->clipboard, other + QStringLiteral("/link")), OpResult::kFailed);
        QVERIFY(rig->ui.Has(number));
        QCOMPARE(TreeSnapshot(rig->folder), before);
    }

    // An undo that moves a folder back by copying (another volume) refuses (A722) while a pipe below it
    // would be lost, keeping the record; without one, its links go along as links.
    void UndoByCopyingKeepsLinksAndRefusesPipes() {
        auto rig = Started();
        QVERIFY(rig);
        const QString d = rig->folder + QStringLiteral("/d"), to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(d) && QDir().mkpath(to));
        QVERIFY(::symlink("..", QFile::encodeName(d + QStringLiteral("/up")).constData()) == 0);
        QVERIFY(MakeFifo(d + QStringLiteral("/pipe")));
        QCOMPARE(rig->ops->Drop({d}, to, true), OpResult::kDone); // a rename: links and pipe go along
        rig->fs.renameFault = {QStringLiteral("/to/d"), EXDEV, 0};
        QCOMPARE(rig->ops->Undo(), OpResult::kFailed);
        QVERIFY(rig->ui.Has(722));
        QCOMPARE(rig->history.Count(), 1);
        QVERIFY(QFile::remove(to + QStringLiteral("/d/pipe")));
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(LinkText(d + QStringLiteral("/up")), QByteArray(".."));
    }

    // A folder copied onto a link of its name replaces the link after the folder question; it is never
    // merged into what the link points to.
    void FolderOverALinkReplacesTheLink() {
        auto rig = Started();
        QVERIFY(rig);
        const QString outside = m_folders.NewFolder(QStringLiteral("outside"));
        const QString d = rig->folder + QStringLiteral("/d"), to = rig->folder + QStringLiteral("/to");
        QVERIFY(QDir().mkpath(d) && QDir().mkpath(to));
        rig->Container(d, QStringLiteral("in.txt"));
        QVERIFY(QFile::link(outside, to + QStringLiteral("/d")));
        rig->prompts.folderAnswers = {EncryptInPrompts::Overwrite::kYes};
        QCOMPARE(rig->ops->Drop({d}, to, false), OpResult::kDone);
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(KindOf(to + QStringLiteral("/d")) == ItemKind::Folder);
    }
};

QTEST_GUILESS_MAIN(TestFolderOperations)
#include "TestFolderOperations.moc"
