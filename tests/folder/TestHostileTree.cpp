#include "CopiesRig.h"
#include "HostileTree.h"
#include "ScriptedTakeOutPrompts.h"
#include "folder/ContentsModel.h"
#include "folder/EncryptIn.h"
#include "folder/FolderOperations.h"
#include "folder/ItemProperties.h"
#include "platform/Trash.h"
#include "util/TreeWalk.h"
#include "workspace/TakeOut.h"

#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace korimbo;

namespace {

// Every operation of the program over one hostile tree, as the window runs them.
struct HostileRig : CopiesRig {
    using CopiesRig::CopiesRig;
    HostileTree tree;
    CUndoHistory history;
    std::unique_ptr<FreedesktopTrash> trash;
    std::unique_ptr<CEncryptIn> encrypt;
    std::unique_ptr<CFolderOperations> ops;
    std::unique_ptr<CContentsModel> model;
    std::unique_ptr<CItemProperties> properties;
    ScriptedTakeOutPrompts dialogs;
    std::unique_ptr<CTakeOut> takeOut;

    bool Begin(const QString& root, const QString& homeTrash) {
        if (!StartIn(root))
            return false;
        AppState& s = app.State();
        trash = std::make_unique<FreedesktopTrash>(homeTrash, volumes);
        encrypt = std::make_unique<CEncryptIn>(Services(), prompts);
        ops = std::make_unique<CFolderOperations>(Services(), prompts, trash.get(), history);
        ops->workRoot = s.workFolder->angoTempFolder;
        model = std::make_unique<CContentsModel>(*names, *s.engine, s.settings, ui, *s.catalogue);
        properties = std::make_unique<CItemProperties>(*s.engine, *names, associations, ui);
        takeOut = std::make_unique<CTakeOut>(*copies, Services(), dialogs);
        return true;
    }
    // What `directory` holds below it, by path, as the user sees it: a container's plain bytes under its
    // stored name, a plain file's bytes under its shown name.
    QMap<QString, QByteArray> Holds(const QString& directory, const QString& prefix = {}) {
        QMap<QString, QByteArray> held;
        QList<NameEntry> entries;
        if (names->RefreshNameFile(directory, folder) != 0 ||
            names->LoadNameEntries(directory, folder, true, entries) != 0)
            return held;
        for (const NameEntry& entry : std::as_const(entries)) {
            const QString path = directory + u'/' + entry.diskName;
            const ItemKind kind = KindOf(path); // a link to a folder is listed as one, and never walked
            if (kind == ItemKind::Folder)
                held.insert(Holds(path, prefix + entry.displayName + u'/'));
            else if (kind == ItemKind::File && entry.kind == NameEntry::kContainer)
                held.insert(ShownName(prefix + entry.displayName), Plain(path));
            else if (kind == ItemKind::File)
                held.insert(ShownName(prefix + entry.displayName), HostileTree::Bytes(path));
        }
        return held;
    }
    QByteArray Plain(const QString& container) {
        const QString out = scratch.path() + QStringLiteral("/plain.out");
        QFile::remove(out);
        return Engine().DecryptFile(container, out, folder) == 0 ? Bytes(out) : QByteArray("(does not open)");
    }
    // The tree's readable files under the names the user sees (odd bytes as "%XX").
    QMap<QString, QByteArray> Expected() const {
        QMap<QString, QByteArray> expected;
        for (auto it = tree.files.cbegin(); it != tree.files.cend(); ++it)
            expected.insert(ShownName(it.key()), it.value());
        return expected;
    }
    // Each of the tree's links, its pipe and its closed folder that did not arrive in `copy` as what it
    // was is named in some message. A closed folder arrives only as itself, closed: a readable one in its
    // place holds nothing of it.
    QStringList Unreported(const QString& copy) const {
        QString texts;
        for (const ScriptedInteraction::Record& record : ui.Messages())
            texts += record.text;
        QStringList missing;
        for (auto it = tree.special.cbegin(); it != tree.special.cend(); ++it) {
            const QString arrived = copy + u'/' + it.key();
            const bool whole =
                KindOf(arrived) == it.value() && (it.value() != ItemKind::Folder || !QFileInfo(arrived).isReadable());
            if (!whole && !texts.contains(ShownName(it.key())))
                missing.append(it.key());
        }
        return missing;
    }
    // The files below a plain folder with their bytes.
    static QMap<QString, QByteArray> FilesBelow(const QString& folder) {
        QMap<QString, QByteArray> files;
        (void)WalkTree(folder, [&](const TreeEntry& entry) {
            if (entry.kind == ItemKind::File)
                files.insert(ShownName(entry.path.mid(folder.size() + 1)), HostileTree::Bytes(entry.path));
            return Visit::Continue;
        });
        return files;
    }
};

} // namespace

class TestHostileTree : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // A file whose name is not UTF-8, one at a time: renamed and back by undo, to the trash and back by
    // undo, and taken out as it is, its bytes and its name's bytes kept throughout.
    void OddNameItemByItem() {
        auto rig = std::make_unique<HostileRig>(m_folders.NewFolder(QStringLiteral("program")));
        QVERIFY(rig->Begin(m_folders.NewFolder(QStringLiteral("box")), m_folders.NewFolder(QStringLiteral("trash"))));
        const QByteArray raw = QFile::encodeName(rig->folder) + "/\x83\x65\x83\x58\x83\x67.txt";
        const QString odd = PathFromNative(raw);
        QFile file(rig->folder + QStringLiteral("/scratch"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("sjis") == 4);
        file.close();
        QVERIFY(::rename(QFile::encodeName(file.fileName()).constData(), raw.constData()) == 0);
        const auto bytesAt = [](const QByteArray& path) { return RawBytes(PathFromNative(path)); };
        QString renamed;
        QCOMPARE(rig->ops->Rename(odd, ShownName(QFileInfo(odd).fileName()), QStringLiteral("plain.txt"), renamed),
                 OpResult::kDone);
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(bytesAt(raw), QByteArray("sjis"));
        rig->ui.QueueAnswer(kAnswerYes);
        QCOMPARE(rig->ops->Delete({odd}, false), OpResult::kDone);
        QVERIFY(bytesAt(raw).isEmpty());
        QCOMPARE(rig->ops->Undo(), OpResult::kDone);
        QCOMPARE(bytesAt(raw), QByteArray("sjis"));
        const QString out = m_folders.NewFolder(QStringLiteral("taken"));
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
            const bool copied = request.items.size() == 1 &&
                                takeOut.CopyOut({request.items.first().staged}, out, false) == OpResult::kDone;
            return copied ? TakeOutPrompts::WindowResult::kCopied : TakeOutPrompts::WindowResult::kCancelled;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kAsTheyAre, {odd}), OpResult::kDone);
        QCOMPARE(bytesAt(QFile::encodeName(out) + raw.mid(raw.lastIndexOf('/'))), QByteArray("sjis"));
        QCOMPARE(bytesAt(raw), QByteArray("sjis"));
    }

    // Each operation over the tree leaves the sentinel and the tree's parent as they were, never opens the
    // pipe, names every item it left behind, and every file it took reads back as its bytes.
    void OperationsLeaveTheWorldAlone_data() {
        QTest::addColumn<QString>("operation");
        for (const char* operation : {"encrypt-in copy", "encrypt-in move", "list", "take out", "copy inside",
                                      "move inside", "undo move", "delete", "properties"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }
    void OperationsLeaveTheWorldAlone() {
        QFETCH(QString, operation);
        auto rig = std::make_unique<HostileRig>(m_folders.NewFolder(QStringLiteral("program")));
        QVERIFY(rig->Begin(m_folders.NewFolder(QStringLiteral("box")), m_folders.NewFolder(QStringLiteral("trash"))));
        const QString world = m_folders.NewFolder(QStringLiteral("world"));
        const bool fromOutside = operation.startsWith(QStringLiteral("encrypt-in"));
        const QString inBox = rig->folder + QStringLiteral("/in");
        const QString elsewhere = rig->folder + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(elsewhere));
        HostileTree& tree = rig->tree;
        const auto reopen = qScopeGuard([&tree] { tree.Open(); });
        QVERIFY(tree.Build(fromOutside ? world : inBox, world));
        if (!fromOutside)
            tree.files.insert(QStringLiteral("deep/sealed.txt"), "sealed");
        QVERIFY(fromOutside ||
                !rig->Encrypt(tree.root + QStringLiteral("/deep"), QStringLiteral("sealed.txt"), "sealed").isEmpty());
        const QStringList outside = tree.Outside();
        const QStringList inside = tree.Inside();

        std::promise<void> finished;
        std::future<bool> guard = GuardFifo(tree.pipe, finished.get_future().share());
        QMap<QString, QByteArray> taken; // what the operation made of the tree's files
        QString copy;                    // where it put them; what it left behind there it named
        if (fromOutside) {
            EncryptInRequest request;
            request.mode =
                operation.endsWith(QStringLiteral("move")) ? EncryptInRequest::kMove : EncryptInRequest::kCopy;
            request.sources = {tree.root};
            request.destination = rig->folder;
            QCOMPARE(rig->encrypt->Run(request), OpResult::kDone);
            taken = rig->Holds(copy = rig->folder + QStringLiteral("/hostile"));
        } else if (operation == QStringLiteral("list")) {
            QCOMPARE(rig->model->ListFolder(tree.root, rig->folder), OpResult::kDone);
            const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
            QCOMPARE(rig->model->rowCount(), int(QDir(tree.root).entryList(all).size()));
            for (auto it = tree.files.cbegin(); it != tree.files.cend(); ++it)
                QVERIFY2(it.key().contains(u'/') || rig->model->RowOf(tree.root + u'/' + it.key()) >= 0,
                         qPrintable(ShownName(it.key())));
        } else if (operation == QStringLiteral("take out")) {
            const QString out = m_folders.NewFolder(QStringLiteral("taken"));
            rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
                QStringList staged;
                for (const TakeOutItem& item : request.items)
                    staged.append(item.staged);
                return takeOut.CopyOut(staged, out, false) == OpResult::kDone
                           ? TakeOutPrompts::WindowResult::kCopied
                           : TakeOutPrompts::WindowResult::kCancelled;
            };
            const OpResult rc = rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.root});
            QCOMPARE(rc, OpResult::kDone);
            taken = HostileRig::FilesBelow(copy = out + QStringLiteral("/hostile"));
        } else if (operation == QStringLiteral("properties")) {
            PropertiesSummary summary;
            QCOMPARE(rig->properties->Summary({tree.root}, summary), OpResult::kDone);
            // Links and the pipe count as files and are never walked; a broken link is hidden, as everywhere.
            const auto counted = std::count_if(tree.special.keyBegin(), tree.special.keyEnd(), [](const QString& item) {
                return item != QStringLiteral("closed") && item != QStringLiteral("dangling");
            });
            QCOMPARE(summary.files, int(tree.files.size() + counted));
        } else if (operation == QStringLiteral("delete")) {
            rig->ui.QueueAnswer(kAnswerYes);
            const OpResult rc = rig->ops->Delete({tree.root}, true);
            QVERIFY(rc == OpResult::kDone && KindOf(tree.root) == ItemKind::Missing);
        } else {
            const bool move = operation != QStringLiteral("copy inside");
            QCOMPARE(rig->ops->Drop({tree.root}, elsewhere, move), OpResult::kDone);
            taken = rig->Holds(copy = elsewhere + QStringLiteral("/hostile"));
            if (operation == QStringLiteral("undo move")) {
                QCOMPARE(rig->ops->Undo(), OpResult::kDone);
                QCOMPARE(tree.Inside(), inside);
                taken = rig->Holds(copy = tree.root);
            }
        }
        finished.set_value();
        QVERIFY2(!guard.get(), "the pipe was opened");
        QCOMPARE(tree.Outside(), outside);
        if (!copy.isEmpty()) {
            QCOMPARE(rig->Unreported(copy), QStringList());
            QCOMPARE(taken, rig->Expected());
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileTree)
#include "TestHostileTree.moc"
