#include "FakePlatform.h"
#include "FolderRig.h"
#include "ScriptedEncryptInPrompts.h"
#include "folder/EncryptIn.h"
#include "folder/NewItems.h"
#include "platform/AccessCheck.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

using namespace korimbo;

namespace {

const QString kText = QStringLiteral("テキスト ドキュメント");

struct NewRig : FolderRig {
    using FolderRig::FolderRig;
    ScriptedEncryptInPrompts prompts;
    FakeAssociations associations;
    std::unique_ptr<CEncryptIn> encrypt;
    std::unique_ptr<CNewItems> items;
    QString templates;

    bool StartIn(const QString& root, const QString& templateFolder) {
        if (!StartWith(root))
            return false;
        templates = templateFolder;
        AppState& s = app.State();
        encrypt = std::make_unique<CEncryptIn>(Services(), prompts);
        items = std::make_unique<CNewItems>(*s.registry, *names, associations, *s.workFolder, fs, ui, *s.catalogue,
                                            *encrypt);
        associations.typeNames.insert(QStringLiteral(".txt"), kText);
        associations.shellNew.insert(QStringLiteral(".txt"), {QStringLiteral("NullFile"), QString()});
        associations.shellNew.insert(QStringLiteral(".md"),
                                     {QStringLiteral("FileName"), templates + QStringLiteral("/Note.md")});
        associations.shellNew.insert(QStringLiteral(".dat"), {QStringLiteral("Data"), QStringLiteral("ABC日本")});
        return WriteRaw(templates + QStringLiteral("/Note.md"), QByteArray("# Title\n").repeated(20000));
    }
    QString CreationArea() { return app.State().workFolder->angoTempFolder + u'/' + kWorkId + QStringLiteral("/Ce"); }
    // The container's stored name and plain bytes, through the folder's key.
    bool Opens(const QString& container, QString& name, QByteArray& bytes) {
        ContainerInfo info;
        const QString out = scratch.path() + QStringLiteral("/out.bin");
        QFile::remove(out);
        if (Engine().ReadContainerInfo(container, info, folder, false) != 0 ||
            Engine().DecryptFile(container, out, folder) != 0)
            return false;
        name = info.name;
        QFile file(out);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
        return true;
    }
};

bool IsGuidName(const QString& name) {
    static const QRegularExpression guid(QStringLiteral("^[0-9A-F]{16}-[0-9A-F]{16}\\.zorf$"));
    return guid.match(name).hasMatch();
}

bool ReadOnly(const QString& path) {
    return (QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
}

} // namespace

class TestNewItems : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<NewRig> Started() {
        auto rig = std::make_unique<NewRig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->StartIn(m_folders.NewFolder(QStringLiteral("box")),
                            m_folders.NewFolder(QStringLiteral("templates")))
                   ? std::move(rig)
                   : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // The first free name of each rule; the counter goes on past the numbers already taken, whatever
    // their case.
    void CollisionNamesCountUpFromTwo() {
        QSet<QString> taken;
        const CNewItems::NameTaken isTaken = [&taken](const QString& name) { return taken.contains(name.toLower()); };
        QCOMPARE(CNewItems::NewFolderName(isTaken), QStringLiteral("新しいフォルダー"));
        taken.insert(QStringLiteral("新しいフォルダー"));
        QCOMPARE(CNewItems::NewFolderName(isTaken), QStringLiteral("新しいフォルダー (2)"));
        taken.insert(QStringLiteral("新しいフォルダー (2)"));
        taken.insert(QStringLiteral("新しいフォルダー (3)"));
        QCOMPARE(CNewItems::NewFolderName(isTaken), QStringLiteral("新しいフォルダー (4)"));

        QCOMPARE(CNewItems::NewFileName(kText, QStringLiteral(".txt"), isTaken),
                 QStringLiteral("新規 テキスト ドキュメント.txt"));
        taken.insert(QStringLiteral("新規 テキスト ドキュメント.txt"));
        QCOMPARE(CNewItems::NewFileName(kText, QStringLiteral(".txt"), isTaken),
                 QStringLiteral("新規 テキスト ドキュメント (2).txt"));
        // The same stem with another extension is no collision.
        QCOMPARE(CNewItems::NewFileName(kText, QStringLiteral(".md"), isTaken),
                 QStringLiteral("新規 テキスト ドキュメント.md"));

        FakeAssociations associations;
        associations.typeNames.insert(QStringLiteral(".txt"), kText);
        QCOMPARE(CNewItems::TypeText(associations, QStringLiteral(".txt")), kText);
        QCOMPARE(CNewItems::TypeText(associations, QStringLiteral(".kx1")), QStringLiteral("KX1 ファイル"));
    }

    // Names already held by a folder, a plain file and a container's stored name are all skipped.
    void NewFoldersTakeTheFirstFreeName() {
        auto rig = Started();
        QVERIFY(rig);
        QVERIFY(QDir().mkdir(rig->folder + QStringLiteral("/新しいフォルダー")));
        QVERIFY(FolderRig::WriteRaw(rig->folder + QStringLiteral("/新しいフォルダー (2)"), "plain"));
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("新しいフォルダー (3)"), "c").isEmpty());

        QString created;
        QCOMPARE(rig->items->NewFolder(rig->folder, created), OpResult::kDone);
        QCOMPARE(created, rig->folder + QStringLiteral("/新しいフォルダー (4)"));
        QVERIFY(QFileInfo(created).isDir());
        QCOMPARE(rig->items->NewFolder(rig->folder + u'/', created), OpResult::kDone);
        QCOMPARE(created, rig->folder + QStringLiteral("/新しいフォルダー (5)"));
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        // The name file knows the new folders at once.
        QList<NameEntry> entries;
        QCOMPARE(rig->names->LoadNameEntries(rig->folder, rig->folder, true, entries), 0);
        QStringList folders;
        for (const NameEntry& entry : std::as_const(entries))
            if (entry.kind == NameEntry::kFolder)
                folders << entry.displayName;
        folders.sort();
        QCOMPARE(folders, (QStringList{QStringLiteral("新しいフォルダー"), QStringLiteral("新しいフォルダー (4)"),
                                       QStringLiteral("新しいフォルダー (5)")}));
    }

    // Each kind of new file arrives as a read-only container under a GUID disk name that decrypts to the
    // right bytes under the collision name; nothing stays in the creation area.
    void NewFilesOfEachKindBecomeContainers() {
        auto rig = Started();
        QVERIFY(rig);
        struct Case {
            QString extension;
            QString name;
            QByteArray bytes;
        } cases[] = {
            {QStringLiteral(".txt"), QStringLiteral("新規 テキスト ドキュメント.txt"), QByteArray()},
            {QStringLiteral("txt"), QStringLiteral("新規 テキスト ドキュメント (2).txt"), QByteArray()},
            {QStringLiteral(".md"), QStringLiteral("新規 MD ファイル.md"), QByteArray("# Title\n").repeated(20000)},
            {QStringLiteral(".dat"), QStringLiteral("新規 DAT ファイル.dat"), QStringLiteral("ABC日本").toUtf8()},
        };
        QSet<QString> containers;
        for (const Case& c : cases) {
            QString container;
            QCOMPARE(rig->items->NewFile(rig->folder, c.extension, container), OpResult::kDone);
            QCOMPARE(QFileInfo(container).absolutePath(), rig->folder);
            QVERIFY2(IsGuidName(QFileInfo(container).fileName()), qPrintable(container));
            QVERIFY(ReadOnly(container));
            QString name;
            QByteArray bytes;
            QVERIFY(rig->Opens(container, name, bytes));
            QCOMPARE(name, c.name);
            QCOMPARE(bytes, c.bytes);
            containers.insert(container);
        }
        QCOMPARE(containers.size(), 4);
        QCOMPARE(QDir(rig->folder).entryList(QDir::Files).size(), 4);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
        QCOMPARE(QDir(rig->CreationArea()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        // The template is copied, not moved.
        QVERIFY(QFileInfo::exists(rig->templates + QStringLiteral("/Note.md")));
    }

    // A98 for a type without a description, A99 for a template that is gone; neither leaves anything.
    void FailuresNameTheirReason() {
        auto rig = Started();
        QVERIFY(rig);
        QString container;
        QCOMPARE(rig->items->NewFile(rig->folder, QStringLiteral(".png"), container), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{98});
        QVERIFY(rig->ui.Find(98)->text.contains(QStringLiteral("No such file or directory")));

        rig->ui.Clear();
        QVERIFY(QFile::remove(rig->templates + QStringLiteral("/Note.md")));
        QCOMPARE(rig->items->NewFile(rig->folder, QStringLiteral(".md"), container), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{99});
        QVERIFY(rig->ui.Find(99)->text.contains(rig->templates + QStringLiteral("/Note.md")));
        QVERIFY(container.isEmpty());
        QCOMPARE(QDir(rig->folder).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(rig->CreationArea()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        // A shown folder that went away meanwhile.
        rig->ui.Clear();
        QString created;
        QCOMPARE(rig->items->NewFolder(rig->folder + QStringLiteral("/gone"), created), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>{33});
        QVERIFY(created.isEmpty());
    }

    // A folder registered read-only refuses both with A316 and nothing is made; a directory without write
    // permission gives A33 with the reason.
    void ReadOnlyFoldersRefuse() {
        auto rig = Started();
        QVERIFY(rig);
        const QString locked = m_folders.NewFolder(QStringLiteral("readonly"));
        QCOMPARE(rig->Add(locked, NewRig::kPassword, QStringLiteral("1"), QStringLiteral("WID2")), 0);
        QVERIFY(rig->EnterKey(locked, NewRig::kPassword));
        QString made;
        QCOMPARE(rig->items->NewFolder(locked, made), OpResult::kFailed);
        QCOMPARE(rig->items->NewFile(locked, QStringLiteral(".txt"), made), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), (QList<int>{316, 316}));
        QCOMPARE(rig->ui.Find(316)->icon, Icon::Warning);
        QCOMPARE(QDir(locked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

        if (geteuid() == 0)
            QSKIP("root writes past permission bits");
        rig->ui.Clear();
        const QString sub = rig->folder + QStringLiteral("/sub");
        QVERIFY(QDir().mkdir(sub));
        QVERIFY(QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(rig->items->NewFolder(sub, made), OpResult::kFailed);
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(rig->ui.Numbers(), QList<int>{33});
        QVERIFY(rig->ui.Find(33)->text.contains(QStringLiteral("Permission denied")));
        QVERIFY(rig->ui.Find(33)->text.endsWith(QStringLiteral("新しいフォルダー")));
    }
};

QTEST_GUILESS_MAIN(TestNewItems)
#include "TestNewItems.moc"
