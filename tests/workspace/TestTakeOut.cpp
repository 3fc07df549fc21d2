#include "CopiesRig.h"
#include "ScriptedTakeOutPrompts.h"
#include "util/MessageNumbers.h"
#include "workspace/DragOutData.h"
#include "workspace/TakeOut.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <cerrno>

using namespace korimbo;

namespace {

// A logged-in folder with working copies, and the take-out over it with its dialogs scripted.
struct TakeOutRig : CopiesRig {
    using CopiesRig::CopiesRig;
    ScriptedTakeOutPrompts dialogs;
    std::unique_ptr<CTakeOut> takeOut;
    QTemporaryDir outside;

    bool Begin(const QString& root) {
        if (!StartIn(root))
            return false;
        takeOut = std::make_unique<CTakeOut>(*copies, Services(), dialogs);
        return outside.isValid();
    }
    QString Area(const QString& area) {
        return app.State().workFolder->angoTempFolder + u'/' + kWorkId + u'/' + area;
    }
    // Every file below `folder`, relative to it, sorted.
    static QStringList FilesBelow(const QString& folder) {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next().mid(folder.size() + 1));
        files.sort();
        return files;
    }
    static bool Empty(const QString& folder) { return FilesBelow(folder).isEmpty() && QDir(folder).isEmpty(); }
    // Reads a container with a password of its own (not the folder's).
    bool OpensWith(const QString& container, const QString& password, QByteArray& bytes) {
        if (!EnterKey(QStringLiteral("probe"), password))
            return false;
        const QString out = scratch.path() + QStringLiteral("/probe.bin");
        QFile::remove(out);
        const bool ok = Engine().DecryptFile(container, out, QStringLiteral("probe")) == 0;
        Engine().ReleaseKey(QStringLiteral("probe"));
        bytes = Bytes(out);
        QFile::remove(out);
        return ok;
    }
};

} // namespace

class TestTakeOut : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<TakeOutRig> Started() {
        auto rig = std::make_unique<TakeOutRig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->Begin(m_folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }
    // The folder's tree: a.txt at the top, docs/b.txt and docs/inner/c.txt below.
    struct Tree {
        QString a, docs, b, c;
    };
    static Tree MakeTree(TakeOutRig& rig) {
        Tree tree;
        tree.docs = rig.folder + QStringLiteral("/docs");
        QDir().mkpath(tree.docs + QStringLiteral("/inner"));
        QDir().mkpath(tree.docs + QStringLiteral("/empty"));
        tree.a = rig.Encrypt(rig.folder, QStringLiteral("a.txt"), "alpha");
        tree.b = rig.Encrypt(tree.docs, QStringLiteral("b.txt"), "bravo");
        tree.c = rig.Encrypt(tree.docs + QStringLiteral("/inner"), QStringLiteral("c.txt"), "charlie");
        return tree;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // Kinds 1 and 4: decrypted copies of a file and of a whole folder (its structure, empty folders too)
    // wait in the take-out area while the window shows them; afterwards the area is empty. Kind 4 is the
    // mail window: drag only, with its title and hint.
    void DecryptedKindsStageCopiesAndLeaveNothing() {
        for (const TakeOutKind kind : {TakeOutKind::kDecrypted, TakeOutKind::kMail}) {
            auto rig = Started();
            QVERIFY(rig);
            const Tree tree = MakeTree(*rig);
            const QString to = rig->Area(QStringLiteral("To"));
            QStringList seen;
            rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
                for (const TakeOutItem& item : request.items)
                    seen.append(item.staged.mid(to.size()) + (item.folder ? u'/' : u' '));
                seen.append(TakeOutRig::FilesBelow(to));
                seen.append(QString::fromUtf8(TakeOutRig::Bytes(to + QStringLiteral("/docs/inner/c.txt"))));
                seen.append(QFileInfo(to + QStringLiteral("/docs/empty")).isDir() ? QStringLiteral("empty kept")
                                                                                  : QString());
                return TakeOutPrompts::WindowResult::kDragged;
            };
            QCOMPARE(rig->takeOut->Run(kind, {tree.a, tree.docs}), OpResult::kDone);
            QCOMPARE(seen, QStringList({QStringLiteral("/a.txt "), QStringLiteral("/docs/"), QStringLiteral("a.txt"),
                                        QStringLiteral("docs/b.txt"), QStringLiteral("docs/inner/c.txt"),
                                        QStringLiteral("charlie"), QStringLiteral("empty kept")}));
            const TakeOutWindowRequest& shown = rig->dialogs.windows.first();
            if (kind == TakeOutKind::kMail) {
                QVERIFY(shown.dragOnly);
                QCOMPARE(shown.title, rig->app.State().catalogue->m_GetMsgA(473));
                QCOMPARE(shown.hint, rig->app.State().catalogue->m_GetMsgA(474));
            } else {
                QVERIFY(!shown.dragOnly);
                QCOMPARE(shown.title, rig->app.State().catalogue->m_GetMsgA(470));
            }
            QVERIFY(TakeOutRig::Empty(to));
            QCOMPARE(rig->ui.Numbers(), QList<int>());
            QVERIFY(rig->Opens(tree.a, QStringLiteral("a.txt"), "alpha")); // the folder is as it was
        }
    }

    // A failure half-way (the disk fills while the second container is decrypted) stops the command after its message; the
    // copy already made is gone and no window opened.
    void DecryptedFailureHalfWayLeavesNothing() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        rig->fs.writeFault = {QStringLiteral("/To/docs/"), ENOSPC, 0};
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a, tree.docs}), OpResult::kFailed);
        QVERIFY(!rig->ui.Numbers().isEmpty());
        QVERIFY(rig->dialogs.windows.isEmpty());
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));
    }

    // The take-out area cannot be made (gone since the login, and the work folder's disk refuses it now):
    // the user is told, no window opens, no plaintext is left anywhere and the folder is as it was.
    void TakeOutAreaThatCannotBeMadeIsReported() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        const QString to = rig->Area(QStringLiteral("To"));
        QVERIFY(QDir(to).removeRecursively());
        rig->fs.makeFolderFault = {QStringLiteral("/To"), EACCES, 0};
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a, tree.docs}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kExportCopyFailed}));
        QCOMPARE(rig->ui.Find(msg::kExportCopyFailed)->icon, Icon::Error);
        QVERIFY(rig->dialogs.windows.isEmpty());
        QVERIFY(!QFileInfo::exists(to));
        QVERIFY(rig->Opens(tree.a, QStringLiteral("a.txt"), "alpha"));
        QVERIFY(rig->Opens(tree.c, QStringLiteral("c.txt"), "charlie"));
    }

    // Kind 2: the naming box decides the exported names and is written back; the copies are the containers
    // byte for byte; OutReadOnlyFlg decides their mode; a folder keeps its structure; nothing stays after.
    void EncryptedKindNamesAndModes() {
        struct Case {
            int nameMode;    // the setting before
            bool tick;       // the box as the user leaves it
            int readOnlyFlg;
        };
        for (const Case& c : {Case{1, true, 1}, Case{0, false, 0}}) {
            auto rig = Started();
            QVERIFY(rig);
            const Tree tree = MakeTree(*rig);
            SettingsRecord& settings = rig->app.State().settings;
            settings.angoOutNameMode = c.nameMode;
            settings.outReadOnlyFlg = c.readOnlyFlg;
            const QString re = rig->Area(QStringLiteral("Re"));
            bool shownTicked = !c.tick;
            rig->dialogs.encrypted = [&](bool& nameAfterPlain) {
                shownTicked = nameAfterPlain;
                nameAfterPlain = c.tick;
                return true;
            };
            QStringList files;
            int modeA = -1;
            QByteArray bytesC;
            rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
                files = TakeOutRig::FilesBelow(re);
                modeA = CopiesRig::Mode(request.items.first().staged);
                const QString c2 = re + QStringLiteral("/docs/inner/") +
                                   (c.tick ? QStringLiteral("c.txt.zorf") : QFileInfo(tree.c).fileName());
                bytesC = CopiesRig::Bytes(c2);
                return TakeOutPrompts::WindowResult::kCopied;
            };
            QCOMPARE(rig->takeOut->Run(TakeOutKind::kEncrypted, {tree.a, tree.docs}), OpResult::kDone);
            QCOMPARE(shownTicked, c.nameMode == 0);
            QCOMPARE(settings.angoOutNameMode, c.tick ? 0 : 1);
            QStringList expected;
            if (c.tick)
                expected = {QStringLiteral("a.txt.zorf"), QStringLiteral("docs/b.txt.zorf"),
                            QStringLiteral("docs/inner/c.txt.zorf")};
            else
                expected = {QFileInfo(tree.a).fileName(), QStringLiteral("docs/") + QFileInfo(tree.b).fileName(),
                            QStringLiteral("docs/inner/") + QFileInfo(tree.c).fileName()};
            expected.sort();
            QCOMPARE(files, expected);
            QCOMPARE(bytesC, CopiesRig::Bytes(tree.c));
            QCOMPARE(modeA & 0222, c.readOnlyFlg == 1 ? 0 : 0200);
            QVERIFY(TakeOutRig::Empty(re));
            QCOMPARE(rig->ui.Numbers(), QList<int>());
        }
    }

    // Kind 2 stops at a copy that fails half-way (a full disk): A95, and the export folder is empty again.
    // Cancel of its dialog stages nothing.
    void EncryptedFailureHalfWayAndCancel() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        rig->app.State().settings.angoOutNameMode = 0;
        rig->dialogs.encrypted = [](bool&) { return true; };
        // The copy is written beside its target under a temporary name: the fault is on the folder.
        rig->fs.writeFault = {QStringLiteral("/Re/docs/inner/"), ENOSPC, 100};
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kEncrypted, {tree.a, tree.docs}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kExportCopyFailed}));
        QVERIFY(rig->dialogs.windows.isEmpty());
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("Re"))));

        rig->ui.Clear();
        rig->fs.writeFault = {};
        rig->dialogs.encrypted = [](bool&) { return false; };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kEncrypted, {tree.a}), OpResult::kFailed);
        QVERIFY(rig->dialogs.windows.isEmpty());
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("Re"))));
    }

    // Kinds 3 and 5: the exported containers open with the new password only, carry its hint, and the
    // one-off key is gone afterwards; no plaintext is left in the take-out area even while the window is
    // up; a registered change password can be chosen instead.
    void NewPasswordKindsDecryptWithTheNewPasswordOnly() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        rig->app.State().settings.angoOutNameMode = 0;
        const QString fresh = QStringLiteral("New#Pass1234");
        rig->dialogs.newPassword = ScriptedTakeOutPrompts::Typed(fresh, QStringLiteral("the new one"), true);
        QStringList plainLeft;
        QString staged;
        QByteArray withNew;
        QByteArray withOld;
        bool opensNew = false;
        bool opensOld = true;
        QString hint;
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
            plainLeft = TakeOutRig::FilesBelow(rig->Area(QStringLiteral("To")));
            staged = request.items.at(1).staged + QStringLiteral("/inner/c.txt.zorf");
            opensNew = rig->OpensWith(staged, fresh, withNew);
            ContainerInfo info;
            const std::optional<ContainerCheck> check = rig->Engine().CheckContainer(staged, info, rig->folder, false);
            opensOld = check && check->Usable();
            ContainerInfo own;
            rig->EnterKey(QStringLiteral("probe"), fresh);
            static_cast<void>(rig->Engine().ReadContainerInfo(staged, own, QStringLiteral("probe"), false));
            rig->Engine().ReleaseKey(QStringLiteral("probe"));
            hint = own.hint.trimmed();
            return TakeOutPrompts::WindowResult::kDragged;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kNewPassword, {tree.a, tree.docs}), OpResult::kDone);
        QCOMPARE(plainLeft, QStringList());
        QVERIFY(opensNew);
        QCOMPARE(withNew, QByteArray("charlie"));
        QVERIFY(!opensOld);
        QCOMPARE(hint, QStringLiteral("the new one"));
        QVERIFY(!rig->Engine().HasKey(CCryptEngine::kTempKeyName));
        QVERIFY(!QFileInfo::exists(staged));
        QCOMPARE(rig->dialogs.windows.first().title, rig->app.State().catalogue->m_GetMsgA(472));

        // Kind 5 with a registered change password.
        rig->takeOut->changePasswords = [] {
            return QList<ChangePasswordText>{{QStringLiteral("team"), QStringLiteral("Team#Word987"), QStringLiteral("t")}};
        };
        rig->dialogs.newPassword = [](const QList<ChangePasswordText>& registered, bool&,
                                      TakeOutPrompts::NewPassword& chosen, const TakeOutPrompts::PasswordCheck&) {
            chosen.registered = true;
            chosen.name = registered.first().name;
            chosen.password = registered.first().password;
            chosen.hint = registered.first().hint;
            return true;
        };
        QByteArray bytes;
        bool opens = false;
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
            opens = rig->OpensWith(request.items.first().staged, QStringLiteral("Team#Word987"), bytes);
            return request.dragOnly ? TakeOutPrompts::WindowResult::kDragged : TakeOutPrompts::WindowResult::kCancelled;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kMailNewPassword, {tree.a}), OpResult::kDone);
        QVERIFY(opens);
        QCOMPARE(bytes, QByteArray("alpha"));
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("Re"))));
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }

    // A typed password of 7 or 33 characters is refused with A484 (range "8～32") and A485 and the dialog
    // stays; 8 and 32 pass; a hint equal to the password or too long is refused.
    void TypedPasswordLengthIsChecked() {
        auto rig = Started();
        QVERIFY(rig);
        for (const QString& refused : {QStringLiteral("Ab#4567"), QString(33, u'x')}) {
            rig->ui.Clear();
            QVERIFY(!rig->takeOut->CheckNewPassword(refused, QString()));
            QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kPasswordLength}));
            QVERIFY(rig->ui.Messages().first().text.contains(QStringLiteral("8～32")));
            QVERIFY(rig->ui.Messages().first().text.endsWith(rig->app.State().catalogue->m_GetMsgA(485)));
        }
        rig->ui.Clear();
        QVERIFY(rig->takeOut->CheckNewPassword(QStringLiteral("Ab#45678"), QString()));
        QVERIFY(rig->takeOut->CheckNewPassword(QString(32, u'y'), QStringLiteral("hint")));
        QVERIFY(!rig->takeOut->CheckNewPassword(QStringLiteral("Ab#45678"), QStringLiteral("Ab#45678")));
        QVERIFY(!rig->takeOut->CheckNewPassword(QStringLiteral("Ab#45678"), QString(49, u'h')));
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kHintIsPassword, msg::kHintTooLong}));

        // In the command: the refused password keeps the dialog; the user then cancels; nothing is staged.
        const Tree tree = MakeTree(*rig);
        rig->ui.Clear();
        int tries = 0;
        rig->dialogs.newPassword = [&](const QList<ChangePasswordText>&, bool&, TakeOutPrompts::NewPassword&,
                                       const TakeOutPrompts::PasswordCheck& check) {
            tries += check(QStringLiteral("Ab#4567"), QString()) ? 0 : 1;
            return false;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kNewPassword, {tree.a}), OpResult::kFailed);
        QCOMPARE(tries, 1);
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));
    }

    // Kind 3 stopped half-way (the second export cannot be written): the export folder and the take-out
    // area are empty and the one-off key is released.
    void NewPasswordFailureHalfWayLeavesNothing() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        rig->dialogs.newPassword = ScriptedTakeOutPrompts::Typed(QStringLiteral("New#Pass1234"), QString(), true);
        rig->fs.writeFault = {QStringLiteral("/Re/docs/inner/"), ENOSPC, 0};
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kNewPassword, {tree.a, tree.docs}), OpResult::kFailed);
        QVERIFY(!rig->ui.Numbers().isEmpty());
        QVERIFY(rig->dialogs.windows.isEmpty());
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("Re"))));
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));
        QVERIFY(!rig->Engine().HasKey(CCryptEngine::kTempKeyName));
    }

    // The window's move into the shown folder is refused with the fixed text and the staged items stay;
    // a copy outside arrives decrypted, asks before it replaces a file, and keeps the structure; a move
    // outside takes the items from the take-out area.
    void CopyAndMoveFromTheWindow() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        const QString target = rig->outside.path();
        QVERIFY(CopiesRig::WriteRaw(target + QStringLiteral("/a.txt"), "old outside"));
        OpResult refused = OpResult::kFailed; // until the window calls
        bool stagedAfterRefusal = false;
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
            QStringList paths;
            for (const TakeOutItem& item : request.items)
                paths.append(item.staged);
            refused = takeOut.CopyOut(paths, tree.docs + QStringLiteral("/inner"), true);
            stagedAfterRefusal = QFileInfo::exists(paths.first());
            rig->ui.QueueAnswer(kAnswerNo); // keep the old a.txt
            return takeOut.CopyOut(paths, target, false) == OpResult::kDone ? TakeOutPrompts::WindowResult::kCopied
                                                                            : TakeOutPrompts::WindowResult::kCancelled;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a, tree.docs}), OpResult::kDone);
        QCOMPARE(refused, OpResult::kDeclined);
        QVERIFY(stagedAfterRefusal);
        QCOMPARE(rig->ui.Messages().first().text, CTakeOut::MoveRefusedText());
        QCOMPARE(rig->ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(rig->ui.Numbers(), QList<int>({0, msg::kReplaceQuestion}));
        QCOMPARE(CopiesRig::Bytes(target + QStringLiteral("/a.txt")), QByteArray("old outside"));
        QCOMPARE(CopiesRig::Bytes(target + QStringLiteral("/docs/inner/c.txt")), QByteArray("charlie"));
        QVERIFY(QFileInfo(target + QStringLiteral("/docs/empty")).isDir());
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));

        // Moved: the copy answers Yes to the replacement this time.
        rig->ui.Clear();
        const QString second = target + QStringLiteral("/second");
        QVERIFY(QDir().mkpath(second));
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
            return takeOut.CopyOut({request.items.first().staged}, second, true) == OpResult::kDone
                       ? TakeOutPrompts::WindowResult::kMoved
                       : TakeOutPrompts::WindowResult::kCancelled;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a}), OpResult::kDone);
        QCOMPARE(CopiesRig::Bytes(second + QStringLiteral("/a.txt")), QByteArray("alpha"));
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));
        QCOMPARE(rig->ui.Numbers(), QList<int>());

        // A staged item that another program removed meanwhile: A478, and the window stays for Cancel.
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
            QFile::remove(request.items.first().staged);
            return takeOut.CopyOut({request.items.first().staged}, second, false) == OpResult::kFailed
                       ? TakeOutPrompts::WindowResult::kCancelled
                       : TakeOutPrompts::WindowResult::kCopied;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kStagedMissing}));
    }

    // Kind 6: plain files of the folder are offered where they lie, writable while the window is up and
    // read-only again afterwards; nothing is deleted.
    void PlainFilesAsTheyAre() {
        auto rig = Started();
        QVERIFY(rig);
        const QString plain = rig->folder + QStringLiteral("/note.txt");
        QVERIFY(CopiesRig::WriteRaw(plain, "plain"));
        QVERIFY(QFile::setPermissions(plain, QFile::ReadOwner));
        int modeDuring = -1;
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
            modeDuring = CopiesRig::Mode(request.items.first().staged);
            return request.title == QStringLiteral("取り出し") ? TakeOutPrompts::WindowResult::kDragged
                                                               : TakeOutPrompts::WindowResult::kCancelled;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kAsTheyAre, {plain}), OpResult::kDone);
        QCOMPARE(modeDuring & 0200, 0200);
        QCOMPARE(CopiesRig::Mode(plain) & 0222, 0);
        QCOMPARE(CopiesRig::Bytes(plain), QByteArray("plain"));
    }

    // A folder taken out as it is may hold a named pipe: the copy passes it by instead of opening it (which
    // would wait for a writer for ever) and copies the rest.
    void CopyOutPassesAPipeBy() {
        auto rig = Started();
        QVERIFY(rig);
        const QString loose = rig->folder + QStringLiteral("/loose");
        QVERIFY(QDir().mkpath(loose));
        QVERIFY(CopiesRig::WriteRaw(loose + QStringLiteral("/keep.txt"), "kept"));
        QCOMPARE(::mkfifo(QFile::encodeName(loose + QStringLiteral("/pipe")).constData(), 0600), 0);
        OpResult copied = OpResult::kFailed; // until the window calls
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
            copied = takeOut.CopyOut({request.items.first().staged}, rig->outside.path(), false);
            return TakeOutPrompts::WindowResult::kCopied;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kAsTheyAre, {loose}), OpResult::kDone);
        QCOMPARE(copied, OpResult::kDone);
        QCOMPARE(CopiesRig::Bytes(rig->outside.path() + QStringLiteral("/loose/keep.txt")), QByteArray("kept"));
        QVERIFY(!QFileInfo::exists(rig->outside.path() + QStringLiteral("/loose/pipe")));
        QVERIFY(!rig->ui.Has(msg::kCopyOutFailed));
    }

    // A copy that cannot be written stops at that file, named in its message, and leaves nothing in the
    // target folder: a volume that cuts a file off (EFBIG, FAT's 4 GiB where its type could not be told
    // beforehand) says A781; bytes that cannot be put on the disk (by the file's or the volume's sync) say
    // A-copy-failed.
    void CopyOutThatCannotBeWrittenLeavesNothing_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("message");
        QTest::newRow("cut off by the volume") << QStringLiteral("write") << int(msg::kTooLargeForVolume);
        QTest::newRow("not put on the disk") << QStringLiteral("sync") << int(msg::kCopyOutFailed);
        QTest::newRow("volume not written back") << QStringLiteral("volume") << int(msg::kCopyOutFailed);
    }
    void CopyOutThatCannotBeWrittenLeavesNothing() {
        QFETCH(QString, fault);
        QFETCH(int, message);
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        const QString target = rig->outside.path();
        if (fault == QStringLiteral("write"))
            rig->fs.writeFault = {target, EFBIG, 0};
        else if (fault == QStringLiteral("sync"))
            rig->fs.syncFault = {target, EIO, 0};
        rig->fs.markVolumes = fault == QStringLiteral("volume");
        rig->fs.volumeSyncFault = {target, EIO, 0};
        OpResult copied = OpResult::kDone; // until the window calls
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut& takeOut) {
            QStringList staged;
            for (const TakeOutItem& item : request.items)
                staged.append(item.staged);
            copied = takeOut.CopyOut(staged, target, false);
            return TakeOutPrompts::WindowResult::kCancelled;
        };
        static_cast<void>(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a, tree.docs}));
        QCOMPARE(copied, OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({message}));
        QVERIFY(rig->ui.Messages().first().text.contains(target + QStringLiteral("/a.txt")));
        QVERIFY(TakeOutRig::Empty(target));
    }

    // The selection checks: a missing item (A120); a copy held open by a program (A84); an open copy that
    // can be released asks first (No stops, Yes writes it back and goes on); no room for the copies (A122).
    void SelectionChecks() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        QCOMPARE(rig->takeOut->CheckSelection({rig->folder + QStringLiteral("/gone.zorf")}, true, true),
                 OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kSelectedItemMissing}));

        rig->ui.Clear();
        QString copy; // decrypted only: no program is watched for it
        QCOMPARE(rig->copies->OpenOne(tree.c, false, QString(), QStringLiteral("Ac"), &copy), OpResult::kDone);
        rig->probe.openElsewhere.insert(copy);
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.docs}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kOpenNotReleased}));

        rig->ui.Clear();
        rig->probe.openElsewhere.clear();
        rig->ui.QueueAnswer(kAnswerNo);
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.docs}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kReleaseCopiesQuestion}));
        QVERIFY(QFileInfo::exists(copy));

        rig->ui.Clear();
        QVERIFY(CopiesRig::Edit(copy, "charlie, edited"));
        rig->ui.QueueAnswer(kAnswerYes);
        QByteArray taken;
        rig->dialogs.window = [&](const TakeOutWindowRequest& request, CTakeOut&) {
            taken = CopiesRig::Bytes(request.items.first().staged + QStringLiteral("/inner/c.txt"));
            return TakeOutPrompts::WindowResult::kDragged;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.docs}), OpResult::kDone);
        QCOMPARE(taken, QByteArray("charlie, edited"));
        QVERIFY(!QFileInfo::exists(copy));

        rig->ui.Clear();
        rig->fs.freeBytes = 3;
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.docs}), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>({msg::kNoRoomForCopies}));
        // Still encrypted needs no room for plaintext.
        rig->ui.Clear();
        QCOMPARE(rig->takeOut->CheckSelection({tree.docs}, true, false), OpResult::kDone);
    }

    // The drag: with DandDDecryFlg 0 the containers themselves; with 1 nothing exists until a target first
    // asks for the file list, then decrypted copies, made once for the whole drag and wiped after it.
    void DragHandsOverContainersOrLateDecryptedCopies() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        const QByteArray before = CopiesRig::Bytes(tree.a);
        QStringList paths;
        QCOMPARE(rig->takeOut->PrepareDragFiles({tree.a, tree.docs}, false, paths), OpResult::kDone);
        QCOMPARE(paths, QStringList({tree.a, tree.docs}));
        QCOMPARE(CopiesRig::Bytes(paths.first()), before);
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));

        int prepared = 0;
        CDragOutData data([&](QStringList& files) {
            ++prepared;
            return rig->takeOut->PrepareDragFiles({tree.a, tree.docs}, true, files);
        });
        QVERIFY(data.hasFormat(QStringLiteral("text/uri-list")));
        QVERIFY(data.hasUrls());
        QCOMPARE(prepared, 0);
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));

        const QList<QUrl> urls = data.urls();
        QCOMPARE(prepared, 1);
        QCOMPARE(urls.size(), 2);
        QCOMPARE(CopiesRig::Bytes(urls.first().toLocalFile()), QByteArray("alpha"));
        QVERIFY(urls.first().toLocalFile().startsWith(rig->Area(QStringLiteral("To"))));
        QCOMPARE(CopiesRig::Bytes(urls.at(1).toLocalFile() + QStringLiteral("/inner/c.txt")), QByteArray("charlie"));
        QVERIFY(data.data(QStringLiteral("text/uri-list")).startsWith("file://"));
        QCOMPARE(data.urls(), urls);
        QCOMPARE(prepared, 1);

        QCOMPARE(rig->takeOut->FinishDrag(tree.docs), OpResult::kDone);
        QVERIFY(TakeOutRig::Empty(rig->Area(QStringLiteral("To"))));
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }

    // A take-out area that is a link to a folder of the user's is removed as a link, never emptied.
    void AreaThatIsALinkIsReplacedNotEmptied() {
        auto rig = Started();
        QVERIFY(rig);
        const Tree tree = MakeTree(*rig);
        const QString precious = m_folders.NewFolder(QStringLiteral("precious"));
        QVERIFY(FolderRig::WriteRaw(precious + QStringLiteral("/mine.txt"), "mine"));
        const QString to = rig->Area(QStringLiteral("To"));
        QVERIFY(QDir().mkpath(QFileInfo(to).absolutePath()) && QDir(to).removeRecursively() &&
                QFile::link(precious, to));
        rig->dialogs.window = [](const TakeOutWindowRequest&, CTakeOut&) {
            return TakeOutPrompts::WindowResult::kDragged;
        };
        QCOMPARE(rig->takeOut->Run(TakeOutKind::kDecrypted, {tree.a}), OpResult::kDone);
        QCOMPARE(QDir(precious).entryList(QDir::Files), QStringList{QStringLiteral("mine.txt")});
    }
};

QTEST_GUILESS_MAIN(TestTakeOut)
#include "TestTakeOut.moc"
