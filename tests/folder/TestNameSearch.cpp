#include "FolderRig.h"
#include "folder/NameSearch.h"
#include "util/NameFold.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

// The search by plain name: how names are folded, and a folder's index built from name files and headers.
class TestNameSearch : public QObject {
    Q_OBJECT

    TestFolders m_folders;

    // Containers at the root (with a name file), in "資料" (with a plain file) and in "資料/深い".
    std::unique_ptr<FolderRig> FolderWithSubfolders() {
        auto rig = FolderRig::Started(m_folders);
        if (!rig)
            return nullptr;
        const QString sub = rig->folder + QStringLiteral("/資料");
        const QString deep = sub + QStringLiteral("/深い");
        const bool made = QDir().mkpath(deep) &&
                          !rig->Encrypt(rig->folder, QStringLiteral("Report-2024.txt"), "a").isEmpty() &&
                          !rig->Encrypt(sub, QStringLiteral("ガイド.pdf"), "b").isEmpty() &&
                          FolderRig::WriteRaw(sub + QStringLiteral("/memo.txt"), "plain") &&
                          !rig->Encrypt(deep, QStringLiteral("ﾃﾞｰﾀ一覧.xlsx"), "c").isEmpty() &&
                          rig->names->RefreshNameFile(rig->folder, rig->folder) == 0;
        return made ? std::move(rig) : nullptr;
    }
    static std::unique_ptr<CNameSearch> SearchOver(FolderRig& rig) {
        AppState& s = rig.app.State();
        return std::make_unique<CNameSearch>(*rig.names, *s.engine, rig.ui, *s.catalogue);
    }
    static QStringList Found(const CNameSearch& search, const QString& query) {
        QStringList paths;
        for (const NameHit& hit : search.Find(query, 100).hits)
            paths.append(hit.storedPath);
        return paths;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    void FoldMatches_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("found");
        QTest::newRow("width both ways") << QStringLiteral("ABC１２３") << QStringLiteral("ａｂｃ123") << true;
        QTest::newRow("case") << QStringLiteral("REPORT.TXT") << QStringLiteral("Report") << true;
        QTest::newRow("half-width voiced") << QStringLiteral("ガイド") << QStringLiteral("ｶﾞｲﾄﾞ") << true;
        QTest::newRow("semi-voiced, small") << QStringLiteral("キャンパス") << QStringLiteral("ｷｬﾝﾊﾟ") << true;
        QTest::newRow("kana alike") << QStringLiteral("ガイドひら") << QStringLiteral("がいどヒラ") << true;
        QTest::newRow("vu and iteration mark") << QStringLiteral("ヴいすゞ") << QStringLiteral("ゔイスヾ") << true;
        QTest::newRow("long vowel mark kept") << QStringLiteral("データ") << QStringLiteral("デタ") << false;
        QTest::newRow("voiced mark matters") << QStringLiteral("ガイド") << QStringLiteral("かいと") << false;
        QTest::newRow("small kana matter") << QStringLiteral("きゃく") << QStringLiteral("きや") << false;
        QTest::newRow("a miss") << QStringLiteral("report.txt") << QStringLiteral("xyz") << false;
        // A byte of a name that is not UTF-8 rides as U+DC80..U+DCFF and must not hide the rest of it.
        QTest::newRow("name that is not UTF-8")
            << (QStringLiteral("ﾚﾎﾟｰﾄ") + QChar(0xDC81) + QStringLiteral(".txt")) << QStringLiteral("れぽーと") << true;
    }
    void FoldMatches() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, found);
        QCOMPARE(FoldedContains(FoldedName(name), FoldedName(typed)), found);
    }

    // Every item below is found with its stored path. The root's name file is used, and refreshed when it lags
    // behind the disk; the subfolders without one have their headers read and are given none.
    void IndexCoversTheSubfolders() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        const int headersBefore = rig->names->HeaderReads();
        auto search = SearchOver(*rig);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(rig->names->HeaderReads(), headersBefore + 3); // the guide, the memo and the data list
        QCOMPARE(search->DirectoriesWithoutNameFile(), 2);
        QVERIFY(!QFileInfo::exists(rig->MirrorOf(rig->folder + QStringLiteral("/資料"))));
        QCOMPARE(Found(*search, QStringLiteral("ｶﾞｲﾄﾞ")), QStringList{QStringLiteral("資料/ガイド.pdf")});
        QCOMPARE(Found(*search, QStringLiteral("データ")), QStringList{QStringLiteral("資料/深い/ﾃﾞｰﾀ一覧.xlsx")});
        QCOMPARE(Found(*search, QStringLiteral("MEMO")), QStringList{QStringLiteral("資料/memo.txt")});
        QVERIFY(search->Find(QStringLiteral("深い"), 100).hits.first().isFolder);
        const CNameSearch::Found two = search->Find(QStringLiteral("."), 2);
        QCOMPARE(two.total, 4); // counted beyond the limit
        QCOMPARE(two.hits.size(), 2);

        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("後から.txt"), "late").isEmpty());
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(Found(*search, QStringLiteral("後から")), QStringList{QStringLiteral("後から.txt")});
    }

    // A stop during the build keeps nothing; a logged-out folder shows nothing and is not indexed again.
    void LoggedOutOrStoppedShowsNothing() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        auto search = SearchOver(*rig);
        rig->ui.StopAfterPumps(2);
        QCOMPARE(search->Build(rig->folder), OpResult::kDeclined);
        QCOMPARE(search->NameCount(), 0);
        rig->ui.SetStop(false);
        rig->ui.StopAfterPumps(-1);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(search->Find(QStringLiteral("report"), 10).total, 1);
        rig->Engine().ReleaseKey(rig->folder);
        QCOMPARE(search->Find(QStringLiteral("report"), 10).total, 0);
        search->Forget(rig->folder);
        QCOMPARE(search->Build(rig->folder), OpResult::kDeclined);
        QCOMPARE(search->NameCount(), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNameSearch)
#include "TestNameSearch.moc"
