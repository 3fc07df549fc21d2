#include "FolderRig.h"
#include "folder/ContentsModel.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/PumpPacer.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

#include <atomic>

using namespace korimbo;

namespace {

using Column = CContentsModel::Column;

template <typename... Names>
QStringList Latin(const Names&... names) {
    return QStringList{QString::fromLatin1(names)...};
}

// The eleven column texts of a row, the full path made on the way.
QStringList Texts(const ContentsItem& item) {
    QStringList texts;
    for (int column = 0; column < CContentsModel::kColumnCount; ++column)
        texts.append(item.Text(column));
    return texts;
}

struct ModelRig : FolderRig {
    using FolderRig::FolderRig;
    std::unique_ptr<CContentsModel> model;

    bool StartModel(const QString& root) {
        if (!StartWith(root))
            return false;
        AppState& s = app.State();
        model = std::make_unique<CContentsModel>(*names, *s.engine, s.settings, ui, *s.catalogue);
        model->typeNameOf = [](const QString& extension) {
            return extension == QStringLiteral(".txt") ? QStringLiteral("テキスト ドキュメント") : QString();
        };
        model->freeSpaceOf = [](const QString&) { return qint64(2048); };
        return true;
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->Item(row).texts[column]);
        return texts;
    }
};

} // namespace

class TestContentsModel : public QObject {
    Q_OBJECT

private:
    TestFolders m_folders;

    std::unique_ptr<ModelRig> Started() {
        auto rig = std::make_unique<ModelRig>(m_folders.NewFolder(QStringLiteral("program")));
        return rig->StartModel(m_folders.NewFolder(QStringLiteral("box"))) ? std::move(rig) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_folders.Valid());
    }

    // The eleven columns of a folder, a container and a plain file; type texts with and without a
    // desktop type; hidden entries skipped; the tip, the status texts and the roles.
    void RowsCarryTheColumnsOfTheirKind() {
        auto rig = Started();
        QVERIFY(rig);
        CContentsModel& model = *rig->model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QString dir = rig->folder;
        QCOMPARE(model.StatusText(0), QStringLiteral("\u3000"));
        QVERIFY(QDir(dir).mkdir(QStringLiteral("sub")));
        const QString report = rig->Encrypt(dir, QStringLiteral("report.txt"), QByteArray(1500, 'r'));
        const QString data = rig->Encrypt(dir, QStringLiteral("data.bin"), "d");
        const QString readme = rig->Encrypt(dir, QStringLiteral("README"), "");
        QVERIFY(!report.isEmpty() && !data.isEmpty() && !readme.isEmpty());
        QVERIFY(FolderRig::WriteRaw(dir + QStringLiteral("/notes.txt"), "plain"));
        QVERIFY(FolderRig::WriteRaw(dir + QStringLiteral("/.hidden"), "h"));

        QCOMPARE(model.ListFolder(dir, rig->folder), OpResult::kDone);
        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 11);
        const ContentsItem& folder = model.Item(model.RowOf(dir + QStringLiteral("/sub")));
        const QString folderTime = CNameFile::DiskTimeText(QFileInfo(dir + QStringLiteral("/sub")));
        const QString shownTime = QDateTime::fromString(folderTime, QStringLiteral("yyyyMMddhhmmss"))
                                      .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        QCOMPARE(Texts(folder),
                 (QStringList{QStringLiteral("sub"), QString(), QStringLiteral("ファイル フォルダー"), shownTime,
                              QString(), folderTime, QString(), QStringLiteral("sub"), dir + QStringLiteral("/sub"),
                              QString(), QStringLiteral("1")}));
        QVERIFY(folder.IsFolder() && !folder.IsPlainFile() && folder.typeName.isEmpty());

        QList<NameEntry> entries;
        QCOMPARE(rig->names->LoadNameEntries(dir, rig->folder, false, entries), 0);
        const NameEntry stored = IndexByDiskName(entries).value(QFileInfo(report).fileName());
        const ContentsItem& container = model.Item(model.RowOf(report));
        QCOMPARE(Texts(container),
                 (QStringList{QStringLiteral("report"), QStringLiteral("        2 KB"),
                              QStringLiteral("テキスト ドキュメント"), stored.modifiedAt, stored.encryptedAt,
                              CNameFile::DiskTimeText(QFileInfo(report)), QString(), QStringLiteral("report.txt"),
                              report, QStringLiteral("0"), QStringLiteral("0")}));
        QCOMPARE(container.typeName, QStringLiteral("report.txt"));
        QCOMPARE(model.Item(model.RowOf(data)).texts[Column::kName], QStringLiteral("data.bin"));
        QCOMPARE(model.Item(model.RowOf(data)).texts[Column::kType], QStringLiteral("BIN ファイル"));
        QCOMPARE(model.Item(model.RowOf(readme)).texts[Column::kType], QStringLiteral("ファイル"));

        const QString notes = dir + QStringLiteral("/notes.txt");
        const ContentsItem& plain = model.Item(model.RowOf(notes));
        QCOMPARE(Texts(plain),
                 (QStringList{QStringLiteral("notes.txt"), QString(), QString(), QString(), QString(),
                              CNameFile::DiskTimeText(QFileInfo(notes)), QString(), QStringLiteral("notes.txt"), notes,
                              QStringLiteral("1"), QStringLiteral("0")}));
        QVERIFY(plain.IsPlainFile() && plain.typeName == QStringLiteral("notes.txt"));
        QCOMPARE(model.RowOf(dir + QStringLiteral("/.hidden")), -1);

        QCOMPARE(model.ItemTip(model.RowOf(report)),
                 QStringLiteral("report.txt\r\n種類： テキスト ドキュメント\r\n更新日時： ") + stored.modifiedAt +
                     QStringLiteral("\r\n元のサイズ： ") + QStringLiteral("        2 KB"));
        QCOMPARE(model.ItemTip(model.RowOf(notes)), QStringLiteral("notes.txt"));
        QTRY_COMPARE(model.StatusText(0), QStringLiteral("5 個のオブジェクト\u3000（空きディスク領域： ") +
                                              SizeText(2048) + QStringLiteral("）"));
        QCOMPARE(model.StatusText(2), QStringLiteral("2 個のオブジェクトを選択"));
        model.freeSpaceOf = [](const QString&) { return qint64(-1); };
        model.RequestFreeSpace();
        QTRY_COMPARE(model.StatusText(0), QStringLiteral("5 個のオブジェクト"));

        const QModelIndex size = model.index(model.RowOf(report), Column::kSize);
        QCOMPARE(size.data().toString(), QStringLiteral("        2 KB"));
        QCOMPARE(size.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(size.data(Qt::ToolTipRole).toString(), model.ItemTip(size.row()));
        QCOMPARE(size.data(CContentsModel::kFullPathRole).toString(), report);
        QCOMPARE(size.data(CContentsModel::kFolderRole).toBool(), false);
        QCOMPARE(model.headerData(Column::kOriginalName, Qt::Horizontal).toString(), QStringLiteral("元ﾌｧｲﾙ名"));

        // With TitleMode 1 the extension stays.
        rig->app.State().settings.titleMode = 1;
        QCOMPARE(model.ListFolder(dir, rig->folder), OpResult::kDone);
        QCOMPARE(model.Item(model.RowOf(report)).texts[Column::kName], QStringLiteral("report.txt"));
        model.Clear();
        QCOMPARE(model.StatusText(0), QStringLiteral("\u3000"));
    }

    // Names holding a line end or the field markers come back exactly, as a plain file and as a container,
    // and plant no entry of their own.
    void NamesWithLineEndsAndMarkersComeBackExactly_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("disk-name marker") << QStringLiteral("a:*1*:b");
        QTest::newRow("escape") << QStringLiteral("100%25 done.txt");
        QTest::newRow("planted line") << QStringLiteral("x\r\n:*0*:..:*1*:20240101000000:*2*:y:*3*:2:*4*:0:*5*:0:*6*:0");
    }
    void NamesWithLineEndsAndMarkersComeBackExactly() {
        QFETCH(QString, name);
        auto rig = Started();
        QVERIFY(rig);
        rig->app.State().settings.titleMode = 1;
        QVERIFY(!rig->Encrypt(rig->folder, name, "inside").isEmpty());
        QVERIFY(FolderRig::WriteRaw(rig->folder + u'/' + name, "plain"));
        for (int listing = 0; listing < 2; ++listing) { // the second from the name file the first wrote
            QCOMPARE(rig->model->ListFolder(rig->folder, rig->folder), OpResult::kDone);
            QCOMPARE(rig->Column(Column::kOriginalName), QStringList({name, name}));
            QList<NameEntry> entries;
            QCOMPARE(rig->names->LoadNameEntries(rig->folder, rig->folder, true, entries), 0);
            QCOMPARE(entries.size(), 2);
        }
    }

    // The free space is read after a listing on a thread of its own, never by the status text: a volume
    // that does not answer leaves the text without it instead of stopping the window.
    void FreeSpaceIsReadOffTheWindowThread() {
        auto rig = Started();
        QVERIFY(rig);
        QSemaphore answer;
        std::atomic<int> calls{0};
        rig->model->freeSpaceOf = [&](const QString&) { // a hung server, until answered
            ++calls;
            return answer.tryAcquire(1, 10000) ? qint64(4096) : qint64(-1);
        };
        QCOMPARE(rig->model->ListFolder(rig->folder, rig->folder), OpResult::kDone);
        QCOMPARE(rig->model->StatusText(0), QStringLiteral("0 個のオブジェクト"));
        answer.release();
        QTRY_COMPARE(rig->model->StatusText(0), QStringLiteral("0 個のオブジェクト\u3000（空きディスク領域： ") +
                                                    SizeText(4096) + QStringLiteral("）"));
        QCOMPARE(calls.load(), 1);
    }

    // Sizes sort by number through their right alignment; folders lead ascending and trail descending;
    // a click on another column resets the first one's direction.
    void SortingFollowsTheColumnTexts() {
        auto rig = Started();
        QVERIFY(rig);
        CContentsModel& model = *rig->model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QString dir = rig->folder;
        QVERIFY(QDir(dir).mkdir(QStringLiteral("zfolder")));
        QVERIFY(!rig->Encrypt(dir, QStringLiteral("b.txt"), QByteArray(3000000, 'b')).isEmpty());
        QVERIFY(!rig->Encrypt(dir, QStringLiteral("a.txt"), QByteArray(20000, 'a')).isEmpty());
        QVERIFY(!rig->Encrypt(dir, QStringLiteral("c.txt"), QByteArray(900, 'c')).isEmpty());
        QCOMPARE(model.ListFolder(dir, rig->folder), OpResult::kDone);
        QCOMPARE(model.SortColumn(), 0);
        QVERIFY(model.SortAscending());
        QCOMPARE(rig->Column(Column::kName), Latin("zfolder", "a", "b", "c"));

        QPersistentModelIndex kept(model.index(3, 0));
        model.SortByColumn(Column::kSize);
        QVERIFY(model.SortAscending());
        QCOMPARE(rig->Column(Column::kName), Latin("zfolder", "c", "a", "b"));
        QCOMPARE(kept.data().toString(), QStringLiteral("c"));
        model.SortByColumn(Column::kSize);
        QVERIFY(!model.SortAscending());
        QCOMPARE(rig->Column(Column::kName), Latin("b", "a", "c", "zfolder"));
        model.SortByColumn(Column::kName);
        QVERIFY(model.SortAscending());
        model.SortByColumn(Column::kSize);
        QVERIFY(model.SortAscending());
        QCOMPARE(rig->Column(Column::kName), Latin("zfolder", "c", "a", "b"));
    }

    // After one file is added, changed or removed, an update touches only that row and reads only that
    // header; nothing changed, nothing happens. New rows land in sort order.
    void UpdateTouchesOnlyTheChangedRows() {
        auto rig = Started();
        QVERIFY(rig);
        CContentsModel& model = *rig->model;
        const QString dir = rig->folder;
        QStringList containers;
        for (const char* name : {"b.txt", "d.txt", "f.txt"})
            containers.append(rig->Encrypt(dir, QString::fromLatin1(name), name));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.ListFolder(dir, rig->folder), OpResult::kDone);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        const int reads = rig->names->HeaderReads();

        QCOMPARE(model.UpdateList(), OpResult::kDone);
        QCOMPARE(inserted.count() + removed.count() + changed.count(), 0);

        const QString added = rig->Encrypt(dir, QStringLiteral("c.txt"), "new");
        QCOMPARE(model.UpdateList(), OpResult::kDone);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 1);
        QCOMPARE(rig->names->HeaderReads(), reads + 1);
        QCOMPARE(rig->Column(Column::kName), Latin("b", "c", "d", "f"));

        QVERIFY(FolderRig::Touch(containers.at(1), 120));
        QCOMPARE(model.UpdateList(), OpResult::kDone);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 2);
        QCOMPARE(rig->names->HeaderReads(), reads + 2);
        QCOMPARE(model.Item(2).texts[Column::kDiskTime], CNameFile::DiskTimeText(QFileInfo(containers.at(1))));

        QVERIFY(QFile::remove(containers.at(0)));
        QCOMPARE(model.UpdateList(), OpResult::kDone);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 0);
        QCOMPARE(rig->names->HeaderReads(), reads + 2);
        QCOMPARE(rig->Column(Column::kName), Latin("c", "d", "f"));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(reset.count(), 0);
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    // A listing of many entries pumps the window as it goes (with no interval, at every entry of every
    // pass), shows how far it got and shows the new rows only once they are all made and sorted: a pump may
    // repaint the list, so it must never find it half built. The same for an update after one change.
    void LongListingsPumpAndShowProgress_data() {
        QTest::addColumn<QString>("pass");
        QTest::newRow("cold: every header read") << QStringLiteral("cold");
        QTest::newRow("warm: from the name file") << QStringLiteral("warm");
        QTest::newRow("update after one change") << QStringLiteral("update");
    }
    void LongListingsPumpAndShowProgress() {
        QFETCH(QString, pass);
        constexpr int kMany = 2000;
        auto rig = Started();
        QVERIFY(rig);
        CContentsModel& model = *rig->model;
        const QString dir = rig->folder;
        const QString first = rig->Encrypt(dir, QStringLiteral("figures.txt"), "quarterly");
        QFile sealed(first);
        QVERIFY(sealed.open(QIODevice::ReadOnly));
        const QByteArray bytes = sealed.readAll();
        for (int i = 1; i < kMany; ++i) // a copy opens with the same key
            QVERIFY(FolderRig::WriteRaw(
                dir + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".zorf"),
                bytes));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        if (pass != QStringLiteral("cold"))
            QCOMPARE(model.ListFolder(dir, rig->folder), OpResult::kDone);
        if (pass == QStringLiteral("update"))
            QVERIFY(FolderRig::Touch(first, 120));

        const QString reading = rig->app.State().catalogue->MsgA(msg::kSearchReading);
        int progress = 0;
        bool halfBuilt = false;
        rig->ui.OnPump([&](int) {
            progress += rig->ui.Status().startsWith(reading) ? 1 : 0;
            halfBuilt |= model.rowCount() != 0 && model.rowCount() != kMany;
        });
        const int pumpsBefore = rig->ui.Pumps();
        PumpPacer::SetInterval(0);
        const OpResult result = pass == QStringLiteral("update") ? model.UpdateList() : model.ListFolder(dir, dir);
        PumpPacer::SetInterval(PumpPacer::kIntervalMs);
        rig->ui.OnPump({});
        QCOMPARE(result, OpResult::kDone);
        QCOMPARE(model.rowCount(), kMany);
        QVERIFY2(rig->ui.Pumps() - pumpsBefore >= kMany, qPrintable(QString::number(rig->ui.Pumps() - pumpsBefore)));
        QVERIFY(progress > 0);
        QVERIFY(!halfBuilt);
        QVERIFY(rig->ui.Status().isEmpty());
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    // A row whose sort text changed moves to its place on its own, selection and all; the other rows are
    // not sorted again (no layout change), however many there are.
    void OneChangedRowMovesWithoutASort() {
        auto rig = Started();
        QVERIFY(rig);
        CContentsModel& model = *rig->model;
        const QString dir = rig->folder;
        const QString a = rig->Encrypt(dir, QStringLiteral("a.txt"), "a");
        for (const char* name : {"c.txt", "e.txt"})
            QVERIFY(!rig->Encrypt(dir, QString::fromLatin1(name), name).isEmpty());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.ListFolder(dir, rig->folder), OpResult::kDone);
        QCOMPARE(rig->Column(Column::kName), Latin("a", "c", "e"));
        const QPersistentModelIndex kept(model.index(0, Column::kName));

        // "a.txt" is now "f.txt" under the same disk name.
        const QString replacement = rig->Encrypt(dir, QStringLiteral("f.txt"), "f");
        QVERIFY(QFile::remove(a) && QFile::rename(replacement, a));
        QVERIFY(FolderRig::Touch(a, 120));
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        QCOMPARE(model.UpdateList(), OpResult::kDone);
        QCOMPARE(rig->Column(Column::kName), Latin("c", "e", "f"));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(layout.count(), 0);
        QCOMPARE(kept.row(), 2);
        QCOMPARE(kept.data().toString(), QStringLiteral("f"));
        QCOMPARE(model.index(2, Column::kFullPath).data().toString(), a);
        QCOMPARE(model.RowOf(a), 2);
    }

    // A directory in no registered folder is listed from the headers themselves, after A300.
    void DirectoryOutsideTheFoldersIsListedFromTheHeaders() {
        auto rig = Started();
        QVERIFY(rig);
        const QString outside = m_folders.NewFolder(QStringLiteral("outside"));
        const QString container = rig->Encrypt(outside, QStringLiteral("x.txt"), "x");
        QVERIFY(!container.isEmpty());
        QCOMPARE(rig->model->ListFolder(outside, rig->folder), OpResult::kDone);
        QCOMPARE(rig->ui.Numbers(), QList<int>{300});
        QCOMPARE(rig->model->rowCount(), 1);
        QCOMPARE(rig->model->Item(0).texts[Column::kOriginalName], QStringLiteral("x.txt"));
        QVERIFY(!QFileInfo::exists(rig->MirrorOf(rig->folder)));
    }
};

QTEST_GUILESS_MAIN(TestContentsModel)
#include "TestContentsModel.moc"
