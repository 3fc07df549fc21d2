#include "FolderRig.h"
#include "folder/NameSearch.h"
#include "folder/NameSearchModel.h"
#include "util/MessageNumbers.h"
#include "util/NameFold.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;

namespace {

QStringList StoredPaths(const CNameSearch::Found& found) {
    QStringList paths;
    for (const NameHit& hit : found.hits)
        paths.append(hit.storedPath);
    return paths;
}

} // namespace

// The search by plain name: how names are folded for comparison, the index of a folder built from its
// name files and headers, and the rows of the search window.
class TestNameSearch : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    // A folder with a container at its root, a folder "資料" with a container and a plain file, and
    // "資料/深い" with a container. The root has a name file; "資料" and "資料/深い" have none.
    std::unique_ptr<FolderRig> FolderWithSubfolders() {
        auto rig = FolderRig::Started(m_folders);
        if (!rig)
            return nullptr;
        const QString sub = rig->folder + QStringLiteral("/資料");
        const QString deeper = sub + QStringLiteral("/深い");
        const bool made = QDir().mkpath(deeper) &&
                          !rig->Encrypt(rig->folder, QStringLiteral("Report-2024.txt"), "a").isEmpty() &&
                          !rig->Encrypt(sub, QStringLiteral("ガイド.pdf"), "b").isEmpty() &&
                          FolderRig::WriteRaw(sub + QStringLiteral("/memo.txt"), "plain") &&
                          !rig->Encrypt(deeper, QStringLiteral("ﾃﾞｰﾀ一覧.xlsx"), "c").isEmpty() &&
                          rig->names->RefreshNameFile(rig->folder, rig->folder) == 0;
        return made ? std::move(rig) : nullptr;
    }

    static std::unique_ptr<CNameSearch> SearchOver(FolderRig& rig) {
        AppState& s = rig.app.State();
        return std::make_unique<CNameSearch>(*rig.names, *s.engine, rig.ui, *s.catalogue);
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
        QTest::newRow("full-width Latin") << QStringLiteral("ABC.txt") << QStringLiteral("ａｂｃ") << true;
        QTest::newRow("full-width name, half-width typed")
            << QStringLiteral("ＡＢＣ計画") << QStringLiteral("abc") << true;
        QTest::newRow("case") << QStringLiteral("REPORT.TXT") << QStringLiteral("Report") << true;
        QTest::newRow("full-width digits") << QStringLiteral("議事録123") << QStringLiteral("１２３") << true;
        QTest::newRow("half-width kana with voiced mark")
            << QStringLiteral("ガイド") << QStringLiteral("ｶﾞｲﾄﾞ") << true;
        QTest::newRow("hiragana finds katakana") << QStringLiteral("ガイド") << QStringLiteral("がいど") << true;
        QTest::newRow("katakana finds hiragana")
            << QStringLiteral("ひらがな.doc") << QStringLiteral("ヒラガナ") << true;
        QTest::newRow("half-width name, hiragana typed") << QStringLiteral("ｶﾞｲﾄﾞ.pdf") << QStringLiteral("が") << true;
        QTest::newRow("half-width semi-voiced") << QStringLiteral("パン") << QStringLiteral("ﾊﾟﾝ") << true;
        QTest::newRow("vu") << QStringLiteral("ヴァイオリン") << QStringLiteral("ゔぁ") << true;
        QTest::newRow("long vowel mark kept") << QStringLiteral("データ") << QStringLiteral("ﾃﾞｰﾀ") << true;
        QTest::newRow("long vowel mark not dropped") << QStringLiteral("データ") << QStringLiteral("デタ") << false;
        QTest::newRow("voiced mark matters") << QStringLiteral("ガイド") << QStringLiteral("かいと") << false;
        QTest::newRow("small kana matter") << QStringLiteral("きゃく") << QStringLiteral("きや") << false;
        QTest::newRow("half-width small kana") << QStringLiteral("キャンプ") << QStringLiteral("ｷｬﾝ") << true;
        QTest::newRow("iteration mark") << QStringLiteral("いすゞ") << QStringLiteral("イスヾ") << true;
        QTest::newRow("a miss") << QStringLiteral("report.txt") << QStringLiteral("xyz") << false;
        // A byte of a name that is not UTF-8 rides as U+DC80..U+DCFF and must not hide the rest of it.
        QTest::newRow("name that is not UTF-8")
            << (QStringLiteral("ﾚﾎﾟｰﾄ") + QChar(0xDC81) + QStringLiteral(".txt")) << QStringLiteral("れぽーと") << true;
        QTest::newRow("kanji as they are") << QStringLiteral("会議資料") << QStringLiteral("資料") << true;
    }
    void FoldMatches() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, found);
        QCOMPARE(FoldedContains(FoldedName(name), FoldedName(typed)), found);
    }

    void FoldedForms_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folded");
        QTest::newRow("ASCII") << QStringLiteral("ReadMe.TXT") << QStringLiteral("readme.txt");
        QTest::newRow("full-width") << QStringLiteral("ＡＢＣ") << QStringLiteral("abc");
        QTest::newRow("half-width voiced") << QStringLiteral("ｶﾞ") << QStringLiteral("が");
        QTest::newRow("full-width katakana") << QStringLiteral("ガ") << QStringLiteral("が");
        QTest::newRow("hiragana") << QStringLiteral("が") << QStringLiteral("が");
        QTest::newRow("long vowel and small kana") << QStringLiteral("ｼｮｰﾄ") << QStringLiteral("しょーと");
    }
    void FoldedForms() {
        QFETCH(QString, name);
        QFETCH(QString, folded);
        QCOMPARE(FoldedName(name), folded);
    }

    // Every item below the folder is found by its plain name with its stored path: containers by the
    // name in their headers, plain files and folders by their names on disk. The root's name file is used
    // (no header read again); the subfolders without one have their headers read, and get no name file.
    void IndexCoversTheSubfolders() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        const int headersBefore = rig->names->HeaderReads();
        auto search = SearchOver(*rig);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(search->DirectoriesWithoutNameFile(), 2);
        QCOMPARE(rig->names->HeaderReads(), headersBefore + 3); // the guide, the memo and the data list
        QVERIFY(QFileInfo::exists(rig->MirrorOf(rig->folder)));
        QVERIFY(!QFileInfo::exists(rig->MirrorOf(rig->folder + QStringLiteral("/資料"))));
        QCOMPARE(search->NameCount(), 6);
        QVERIFY(search->Holds(rig->folder));

        QCOMPARE(StoredPaths(search->Find(QStringLiteral("report"), 100)),
                 QStringList{QStringLiteral("Report-2024.txt")});
        const CNameSearch::Found guide = search->Find(QStringLiteral("ｶﾞｲﾄﾞ"), 100);
        QCOMPARE(StoredPaths(guide), QStringList{QStringLiteral("資料/ガイド.pdf")});
        QCOMPARE(guide.hits.first().Directory(), rig->folder + QStringLiteral("/資料"));
        QVERIFY(guide.hits.first().path.endsWith(QStringLiteral(".zorf")));
        QVERIFY(!guide.hits.first().isFolder);
        QCOMPARE(StoredPaths(search->Find(QStringLiteral("データ"), 100)),
                 QStringList{QStringLiteral("資料/深い/ﾃﾞｰﾀ一覧.xlsx")});
        QCOMPARE(StoredPaths(search->Find(QStringLiteral("MEMO"), 100)), QStringList{QStringLiteral("資料/memo.txt")});
        const CNameSearch::Found folders = search->Find(QStringLiteral("深い"), 100);
        QCOMPARE(StoredPaths(folders), QStringList{QStringLiteral("資料/深い")});
        QVERIFY(folders.hits.first().isFolder);
        QCOMPARE(folders.hits.first().path, rig->folder + QStringLiteral("/資料/深い"));
        QVERIFY(search->Find(QStringLiteral("zzz"), 100).hits.isEmpty());
        QVERIFY(search->Find(QString(), 100).hits.isEmpty());

        // The total counts beyond the limit.
        const CNameSearch::Found all = search->Find(QStringLiteral("."), 2);
        QCOMPARE(all.hits.size(), 2);
        QCOMPARE(all.total, 4);
    }

    // A directory with a name file that lags behind the disk is brought up to date first: a container
    // added since is found.
    void NameFileIsRefreshedBeforeItIsRead() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("後から.txt"), "late").isEmpty());
        auto search = SearchOver(*rig);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(StoredPaths(search->Find(QStringLiteral("後から"), 10)), QStringList{QStringLiteral("後から.txt")});
    }

    // A folder logged out shows nothing, whether or not its index was forgotten yet, and is not indexed
    // again; a folder that is not registered has nothing either.
    void LoggedOutFolderShowsNothing() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        auto search = SearchOver(*rig);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(search->Find(QStringLiteral("report"), 10).total, 1);
        rig->Engine().ReleaseKey(rig->folder);
        QVERIFY(!search->Holds(rig->folder));
        QCOMPARE(search->Find(QStringLiteral("report"), 10).total, 0);
        QCOMPARE(search->Find(QStringLiteral("report"), 10, rig->folder).total, 0);
        search->Forget(rig->folder);
        QVERIFY(search->Folders().isEmpty());
        QCOMPARE(search->Build(rig->folder), OpResult::kDeclined);
        QCOMPARE(search->NameCount(), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    // A stop during the build keeps nothing, and the status text is cleared.
    void StopKeepsNothing() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        auto search = SearchOver(*rig);
        rig->ui.StopAfterPumps(2);
        QCOMPARE(search->Build(rig->folder), OpResult::kDeclined);
        QCOMPARE(search->NameCount(), 0);
        QVERIFY(rig->ui.Status().isEmpty());
        rig->ui.SetStop(false);
        rig->ui.StopAfterPumps(-1);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(search->NameCount(), 6);
    }

    // Only `onlyFolder` is searched when it is given; two folders are searched in turn otherwise.
    void SearchOfOneFolderOrAll() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        const QString second = m_folders.NewFolder(QStringLiteral("box2"));
        QCOMPARE(rig->Add(second, FolderRig::kPassword, QStringLiteral("0"), QStringLiteral("WID2")), 0);
        QVERIFY(rig->EnterKey(second, FolderRig::kPassword));
        QVERIFY(!rig->Encrypt(second, QStringLiteral("report-b.txt"), "x", second).isEmpty());
        auto search = SearchOver(*rig);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        QCOMPARE(search->Build(second), OpResult::kDone);
        QCOMPARE(search->Find(QStringLiteral("report"), 10).total, 2);
        QCOMPARE(search->Find(QStringLiteral("report"), 10, second).total, 1);
        QCOMPARE(search->Find(QStringLiteral("report"), 10, second).hits.first().folder, second);
        // Built again, a folder has one index, not two.
        QCOMPARE(search->Build(second), OpResult::kDone);
        QCOMPARE(search->Folders().size(), 2);
        QCOMPARE(search->Find(QStringLiteral("report"), 10).total, 2);
    }

    void ModelRowsFollowTheSearch() {
        auto rig = FolderWithSubfolders();
        QVERIFY(rig);
        auto search = SearchOver(*rig);
        QCOMPARE(search->Build(rig->folder), OpResult::kDone);
        CNameSearchModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetFound(search->Find(QStringLiteral("."), 100));
        QVERIFY(model.rowCount() >= 3);
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.headerData(CNameSearchModel::kName, Qt::Horizontal).toString(), QStringLiteral("名前"));
        QCOMPARE(model.headerData(CNameSearchModel::kPlace, Qt::Horizontal).toString(), QStringLiteral("場所"));
        model.SetFound(search->Find(QStringLiteral("がいど"), 100));
        QCOMPARE(model.rowCount(), 1);
        const QModelIndex name = model.index(0, CNameSearchModel::kName);
        QCOMPARE(name.data().toString(), QStringLiteral("ガイド.pdf"));
        QCOMPARE(model.index(0, CNameSearchModel::kPlace).data().toString(), rig->folder + QStringLiteral("/資料"));
        QCOMPARE(name.data(Qt::ToolTipRole).toString(), rig->folder + QStringLiteral("/資料/ガイド.pdf"));
        QVERIFY(name.data(CNameSearchModel::kPathRole).toString().endsWith(QStringLiteral(".zorf")));
        QCOMPARE(name.data(CNameSearchModel::kFolderRole).toBool(), false);
        QVERIFY(!model.index(0, 0).flags().testFlag(Qt::ItemIsEditable));
        model.ForgetFolder(QStringLiteral("/elsewhere"));
        QCOMPARE(model.rowCount(), 1);
        model.ForgetFolder(rig->folder);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.Total(), 0);
        model.SetFound(search->Find(QStringLiteral("深い"), 100));
        QCOMPARE(model.index(0, 0).data(CNameSearchModel::kFolderRole).toBool(), true);
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestNameSearch)
#include "TestNameSearch.moc"
