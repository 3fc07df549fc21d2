#include "FakePlatform.h"
#include "FolderRig.h"
#include "folder/ItemProperties.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

// The values of the properties dialogs, computed without a window.
class TestItemProperties : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    struct PropRig : FolderRig {
        using FolderRig::FolderRig;
        FakeAssociations associations;
        std::unique_ptr<CItemProperties> properties;
        bool Begin(const QString& root) {
            if (!StartWith(root))
                return false;
            associations.typeNames.insert(QStringLiteral(".txt"), QStringLiteral("テキスト ドキュメント"));
            properties = std::make_unique<CItemProperties>(Engine(), *names, associations, ui);
            return true;
        }
    };

    std::unique_ptr<PropRig> Started() {
        auto rig = std::make_unique<PropRig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->Begin(m_folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }

    static qint64 SizeOf(const QString& path) { return QFileInfo(path).size(); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    void SizesShowTheirBytes() {
        QCOMPARE(CItemProperties::SizeWithBytes(1234), QStringLiteral("1.21KB （1,234 バイト）"));
        QCOMPARE(CItemProperties::SizeWithBytes(0), QStringLiteral("0バイト （0 バイト）"));
        QCOMPARE(CItemProperties::CountText(3, 1), QStringLiteral("ファイル数：3、フォルダー数：1"));
    }

    // A container shows what its header holds and where it lies, a plain file what the disk tells.
    void FileShowsItsHeader() {
        auto rig = Started();
        QVERIFY(rig);
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("報告.txt"), QByteArray(1234, 'r'));
        QVERIFY(!container.isEmpty());
        ContainerInfo header;
        QCOMPARE(rig->Engine().ReadContainerInfo(container, header, rig->folder, false), 0);

        ItemProperties p;
        QCOMPARE(rig->properties->Single(container, p), OpResult::kDone);
        QCOMPARE(int(p.kind), int(ItemProperties::kContainer));
        QCOMPARE(p.name, QStringLiteral("報告.txt"));
        QCOMPARE(p.typeText, QStringLiteral("テキスト ドキュメント"));
        QCOMPARE(p.program, rig->associations.program); // the fake's display name is the path
        QCOMPARE(p.location, rig->folder);
        QCOMPARE(p.containerSize, CItemProperties::SizeWithBytes(SizeOf(container)));
        QCOMPARE(p.plainSize, QStringLiteral("1.21KB （1,234 バイト）"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                    .match(p.encryptedAt)
                    .hasMatch());
        QCOMPARE(p.encryptedAt, header.encryptedAtText);
        QCOMPARE(p.modifiedAt, header.modifiedText);
        QCOMPARE(p.containerName, QFileInfo(container).fileName());
        QCOMPARE(p.hint, QStringLiteral("hint"));
        QCOMPARE(p.creator, QFileInfo(container).owner());
        QVERIFY(p.contents.isEmpty());

        // Without a program for the type, and a plain file beside the containers.
        rig->associations.program.clear();
        const QString plain = rig->folder + QStringLiteral("/readme.md");
        QVERIFY(FolderRig::WriteRaw(plain, "plain!"));
        QCOMPARE(rig->properties->Single(plain, p), OpResult::kDone);
        QCOMPARE(int(p.kind), int(ItemProperties::kPlainFile));
        QCOMPARE(p.name, QStringLiteral("readme.md"));
        QCOMPARE(p.typeText, QStringLiteral("MD ファイル"));
        QCOMPARE(p.program, QStringLiteral("不明なアプリケーション"));
        QCOMPARE(p.plainSize, QStringLiteral("6バイト （6 バイト）"));
        QVERIFY(p.containerSize.isEmpty() && p.containerName.isEmpty() && p.encryptedAt.isEmpty());
        QCOMPARE(rig->properties->Single(rig->folder + QStringLiteral("/gone.txt"), p), OpResult::kFailed);
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }

    // A folder counts and sums everything below it; the summary adds the items up and is titled with the
    // first one's stored name.
    void FolderAndSummaryCountEverythingBelow() {
        auto rig = Started();
        QVERIFY(rig);
        const QString sub = rig->folder + QStringLiteral("/sub");
        QVERIFY(QDir().mkpath(sub + QStringLiteral("/deeper")));
        const QString a = rig->Encrypt(sub, QStringLiteral("a.txt"), QByteArray(100, 'a'));
        const QString b = rig->Encrypt(sub, QStringLiteral("b.bin"), QByteArray(2000, 'b'));
        QVERIFY(FolderRig::WriteRaw(sub + QStringLiteral("/deeper/loose.dat"), QByteArray(50, 'l')));
        const QString top = rig->Encrypt(rig->folder, QStringLiteral("報告.txt"), QByteArray(1234, 'r'));
        QVERIFY(!a.isEmpty() && !b.isEmpty() && !top.isEmpty());

        ItemProperties p;
        QCOMPARE(rig->properties->Single(sub, p), OpResult::kDone);
        QCOMPARE(int(p.kind), int(ItemProperties::kFolder));
        QCOMPARE(p.name, QStringLiteral("sub"));
        QCOMPARE(p.typeText, QStringLiteral("ファイル フォルダー"));
        QCOMPARE(p.location, rig->folder);
        QCOMPARE(p.contents, QStringLiteral("ファイル数：3、フォルダー数：1"));
        QCOMPARE(p.plainSize, CItemProperties::SizeWithBytes(2150));
        QCOMPARE(p.containerSize, CItemProperties::SizeWithBytes(SizeOf(a) + SizeOf(b)));
        QCOMPARE(p.modifiedAt, QFileInfo(sub).lastModified().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")));
        QVERIFY(p.program.isEmpty() && p.containerName.isEmpty());

        PropertiesSummary s;
        QCOMPARE(rig->properties->Summary({top, sub}, s), OpResult::kDone);
        QCOMPARE(s.title, QStringLiteral("報告.txtのプロパティ"));
        QCOMPARE(s.files, 4);
        QCOMPARE(s.folders, 2);
        QCOMPARE(s.counts, QStringLiteral("ファイル数：4、フォルダー数：2"));
        QCOMPARE(s.plainSize, CItemProperties::SizeWithBytes(1234 + 2150));
        QCOMPARE(s.containerSize, CItemProperties::SizeWithBytes(SizeOf(top) + SizeOf(a) + SizeOf(b)));

        // Without the folder's key only the disk speaks: no original sizes.
        rig->Engine().ReleaseKey(rig->folder);
        QCOMPARE(rig->properties->Summary({sub}, s), OpResult::kDone);
        QCOMPARE(s.title, QStringLiteral("subのプロパティ"));
        QCOMPARE(s.counts, QStringLiteral("ファイル数：3、フォルダー数：2"));
        QVERIFY(s.plainSize.isEmpty());
        QCOMPARE(rig->ui.Numbers(), QList<int>());
    }
};

QTEST_GUILESS_MAIN(TestItemProperties)
#include "TestItemProperties.moc"
