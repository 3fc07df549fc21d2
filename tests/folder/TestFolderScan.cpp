#include "ForwardingFileSystem.h"
#include "FolderRig.h"
#include "TreeSnapshot.h"
#include "crypto/ContainerHeader.h"
#include "folder/FolderScan.h"
#include "folder/ScanResultModel.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"

#include <QAbstractItemModelTester>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>

using namespace korimbo;

namespace {

const QString kOtherKey = QStringLiteral("other-folder");
const QString kOtherPassword = QStringLiteral("Other#Pw2");

QByteArray Sample(int size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242U + static_cast<quint32>(seed);
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

bool Rewrite(const QString& path, const std::function<void(QByteArray&)>& change) {
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    change(bytes);
    return file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size();
}

bool Cut(const QString& path, int bytes) {
    return Rewrite(path, [bytes](QByteArray& data) { data.chop(bytes); });
}

// One bit flipped at `offset` (from the end when negative).
bool Flip(const QString& path, qint64 offset) {
    return Rewrite(path, [offset](QByteArray& data) {
        const qint64 at = offset < 0 ? data.size() + offset : offset;
        data[at] = static_cast<char>(data[at] ^ 0x10);
    });
}

// Opening every file but the first waits until the test lets it through, so a stop lands between two files.
class GateFileSystem final : public ForwardingFileSystem {
public:
    explicit GateFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}
    void Open() {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    int Opens() const { return m_opens.load(); }
    std::unique_ptr<File> Open(const QString& p, OpenMode m, int& e) override {
        if (m_opens.fetch_add(1) > 0) {
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
        }
        return m_inner.Open(p, m, e);
    }

private:
    std::atomic<int> m_opens{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

struct ScanRig : FolderRig {
    using FolderRig::FolderRig;
    bool AddOtherKey() { return EnterKey(kOtherKey, kOtherPassword); }
    CFolderScan Scanner(FileSystem* files = nullptr) {
        AppState& s = app.State();
        return CFolderScan(*s.engine, files ? *files : fs, ui, *s.catalogue, names.get());
    }
};

QHash<QString, ScanFinding> ByDiskName(const FolderScanResult& result) {
    QHash<QString, ScanFinding> found;
    for (const ScanFinding& finding : result.findings)
        found.insert(finding.diskName, finding);
    return found;
}

} // namespace

class TestFolderScan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Each kind of damage gets its own reason from the quiet check, and the check says nothing to the user.
    void quietCheckNamesTheDamage_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("fault");
        QTest::newRow("whole") << 0 << int(ContainerFault::kNone);
        QTest::newRow("cut by 100 bytes") << 1 << int(ContainerFault::kTruncated);
        QTest::newRow("cut by 16 bytes") << 2 << int(ContainerFault::kTruncated);
        QTest::newRow("cut inside the name block") << 3 << int(ContainerFault::kTruncated);
        QTest::newRow("bit flipped in the body") << 4 << int(ContainerFault::kBodyError);
        QTest::newRow("bit flipped in the signature") << 5 << int(ContainerFault::kHeaderDamaged);
        QTest::newRow("bit flipped in the check text") << 6 << int(ContainerFault::kHeaderDamaged);
        QTest::newRow("bit flipped in the plain size") << 7 << int(ContainerFault::kHeaderDamaged);
        QTest::newRow("another password") << 8 << int(ContainerFault::kOtherPassword);
        QTest::newRow("read error") << 9 << int(ContainerFault::kUnreadable);
    }
    void quietCheckNamesTheDamage() {
        QFETCH(int, kind);
        QFETCH(int, fault);
        TestFolders folders;
        auto rig = std::unique_ptr<ScanRig>(new ScanRig(folders.NewFolder(QStringLiteral("program"))));
        QVERIFY(rig->StartWith(folders.NewFolder(QStringLiteral("box"))) && rig->AddOtherKey());
        const QString key = kind == 8 ? kOtherKey : rig->folder;
        const QString container = rig->Encrypt(rig->folder, QStringLiteral("報告.txt"), Sample(60000, kind), key);
        QVERIFY(!container.isEmpty());
        const qint64 size = QFileInfo(container).size();
        switch (kind) {
        case 1:
            QVERIFY(Cut(container, 100));
            break;
        case 2:
            QVERIFY(Cut(container, 16));
            break;
        case 3:
            QVERIFY(Cut(container, int(size) - ContainerHeader::kSize - 8));
            break;
        case 4:
            QVERIFY(Flip(container, size / 2));
            break;
        case 5:
            QVERIFY(Flip(container, 5));
            break;
        case 6:
            QVERIFY(Flip(container, 300));
            break;
        case 7:
            QVERIFY(Flip(container, 130));
            break; // the outer block before the plain size: one bit of it
        case 9:
            rig->fs.readFault = {QFileInfo(container).fileName(), EIO, 2000};
            break;
        default:
            break;
        }
        const ContainerVerdict verdict = rig->Engine().CheckQuietly(container, rig->folder);
        QCOMPARE(int(verdict.fault), fault);
        QVERIFY(rig->ui.Messages().isEmpty());
        if (kind == 9)
            QCOMPARE(verdict.error, EIO);
        if (kind == 8)
            QCOMPARE(verdict.hint, QStringLiteral("hint"));
        if (kind == 0 || kind == 4 || kind == 7)
            QCOMPARE(verdict.storedName, QStringLiteral("報告.txt"));
        // The loud check agrees: whatever the quiet one finds, the engine's own verification refuses.
        if (kind != 0 && kind != 8) {
            QCOMPARE(rig->Engine().VerifyContainer(container, rig->folder), kFailed);
            QVERIFY(!rig->ui.Messages().isEmpty());
        }
    }

    // A folder tree of whole, cut, flipped, unreadable and other-password containers beside a plain file:
    // exactly the damaged ones are found, the other password's apart, with their stored names; nothing is
    // written and nothing is shown.
    void scanFindsExactlyTheDamagedContainers() {
        TestFolders folders;
        auto rig = std::unique_ptr<ScanRig>(new ScanRig(folders.NewFolder(QStringLiteral("program"))));
        QVERIFY(rig->StartWith(folders.NewFolder(QStringLiteral("box"))) && rig->AddOtherKey());
        const QString top = rig->folder;
        const QString sub = top + QStringLiteral("/年度/2024");
        QVERIFY(QDir().mkpath(sub));
        QStringList whole;
        for (int i = 0; i < 6; ++i)
            whole << rig->Encrypt(i % 2 ? sub : top, QStringLiteral("whole%1.txt").arg(i), Sample(3000 * i, i));
        whole << rig->Encrypt(sub, QStringLiteral("empty.txt"), QByteArray());
        const QString cut = rig->Encrypt(sub, QStringLiteral("cut.doc"), Sample(50000, 11));
        const QString body = rig->Encrypt(top, QStringLiteral("body.xls"), Sample(50000, 12));
        const QString header = rig->Encrypt(sub, QStringLiteral("header.pdf"), Sample(5000, 13));
        const QString check = rig->Encrypt(top, QStringLiteral("check.pdf"), Sample(5000, 14));
        const QString unreadable = rig->Encrypt(top, QStringLiteral("unreadable.txt"), Sample(5000, 15));
        const QString other = rig->Encrypt(sub, QStringLiteral("other.txt"), Sample(5000, 16), kOtherKey);
        for (const QString& path : whole + QStringList{cut, body, header, check, unreadable, other})
            QVERIFY(!path.isEmpty());
        QVERIFY(FolderRig::WriteRaw(sub + QStringLiteral("/notes.txt"), "a plain file of the user's"));
        QCOMPARE(rig->names->RefreshNameFile(top, top), 0);
        QCOMPARE(rig->names->RefreshNameFile(sub, top), 0);
        QVERIFY(Cut(cut, 100));
        QVERIFY(Flip(body, QFileInfo(body).size() / 2));
        QVERIFY(Flip(header, 3));
        QVERIFY(Flip(check, 300));
        rig->fs.openFault = {QFileInfo(unreadable).fileName(), EACCES};
        const QStringList before = TreeSnapshot(top, true);
        const QStringList workBefore = TreeSnapshot(rig->app.State().workFolder->angoTempFolder, true);

        CFolderScan scan = rig->Scanner();
        scan.SetWorkers(2);
        FolderScanResult result;
        QCOMPARE(scan.Run(top, top, result), OpResult::kDone);

        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(TreeSnapshot(top, true), before);
        QCOMPARE(TreeSnapshot(rig->app.State().workFolder->angoTempFolder, true), workBefore);
        QCOMPARE(result.total, whole.size() + 7);
        QCOMPARE(result.checked, result.total);
        QCOMPARE(result.containers, whole.size() + 6);
        QVERIFY(!result.stopped);
        QCOMPARE(result.findings.size(), 6);
        QCOMPARE(result.Damaged(), 5);
        QCOMPARE(result.findings.last().kind, ScanFinding::kOtherPassword);
        const QHash<QString, ScanFinding> found = ByDiskName(result);
        const auto expect = [&](const QString& path, ScanFinding::Kind kind, ContainerFault fault,
                                const QString& stored) {
            const ScanFinding finding = found.value(QFileInfo(path).fileName());
            QCOMPARE(finding.diskPath, path);
            QCOMPARE(finding.folder, QFileInfo(path).path());
            QCOMPARE(int(finding.kind), int(kind));
            QCOMPARE(int(finding.fault), int(fault));
            QCOMPARE(finding.storedName, stored);
        };
        expect(cut, ScanFinding::kDamaged, ContainerFault::kTruncated, QStringLiteral("cut.doc"));
        expect(body, ScanFinding::kDamaged, ContainerFault::kBodyError, QStringLiteral("body.xls"));
        // The header no longer tells the name; the name file still does.
        expect(header, ScanFinding::kDamaged, ContainerFault::kHeaderDamaged, QStringLiteral("header.pdf"));
        expect(check, ScanFinding::kDamaged, ContainerFault::kHeaderDamaged, QStringLiteral("check.pdf"));
        expect(unreadable, ScanFinding::kUnreadable, ContainerFault::kUnreadable, QStringLiteral("unreadable.txt"));
        expect(other, ScanFinding::kOtherPassword, ContainerFault::kOtherPassword, QString());

        MessageSource& messages = *rig->app.State().catalogue;
        QCOMPARE(found.value(QFileInfo(unreadable).fileName()).Reason(messages),
                 messages.MsgA(msg::kScanUnreadable) + ErrnoText(EACCES));
        QCOMPARE(found.value(QFileInfo(cut).fileName()).Reason(messages), messages.MsgA(msg::kScanTruncated));
        QVERIFY(found.value(QFileInfo(other).fileName()).Reason(messages).contains(QStringLiteral("hint")));
        QVERIFY(rig->ui.Status().contains(QStringLiteral("%1 / %1").arg(result.total)));
    }

    // Without a name file the stored names come from the headers that still tell them.
    void storedNamesComeFromTheHeaderWithoutANameFile() {
        TestFolders folders;
        auto rig = std::unique_ptr<ScanRig>(new ScanRig(folders.NewFolder(QStringLiteral("program"))));
        QVERIFY(rig->StartWith(folders.NewFolder(QStringLiteral("box"))));
        const QString body = rig->Encrypt(rig->folder, QStringLiteral("本文.txt"), Sample(40000, 3));
        QVERIFY(Flip(body, QFileInfo(body).size() / 2));
        QVERIFY(!QFileInfo::exists(rig->MirrorOf(rig->folder)));
        FolderScanResult result;
        QCOMPARE(rig->Scanner().Run(rig->folder, rig->folder, result), OpResult::kDone);
        QCOMPARE(result.findings.size(), 1);
        QCOMPARE(result.findings.first().storedName, QStringLiteral("本文.txt"));
        QVERIFY(!QFileInfo::exists(rig->MirrorOf(rig->folder)));
        QVERIFY(rig->ui.Messages().isEmpty());
    }

    // The stop button ends the scan between two files: the files done are reported, the rest are not.
    void stopEndsTheScanMidway() {
        TestFolders folders;
        auto rig = std::unique_ptr<ScanRig>(new ScanRig(folders.NewFolder(QStringLiteral("program"))));
        QVERIFY(rig->StartWith(folders.NewFolder(QStringLiteral("box"))));
        for (int i = 0; i < 8; ++i)
            QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("f%1.txt").arg(i), Sample(1000, i)).isEmpty());
        GateFileSystem gate(rig->fs);
        rig->ui.OnPump([&](int) {
            if (gate.Opens() >= 2) {
                rig->ui.SetStop(true);
                gate.Open();
            }
        });
        CFolderScan scan = rig->Scanner(&gate);
        scan.SetWorkers(1);
        FolderScanResult result;
        QCOMPARE(scan.Run(rig->folder, rig->folder, result), OpResult::kDone);
        gate.Open();
        QVERIFY(result.stopped);
        QCOMPARE(result.total, 8);
        QCOMPARE(result.checked, 2);
        QCOMPARE(gate.Opens(), 2);
        QVERIFY(result.findings.isEmpty());
    }

    // A folder key that is not there: refused with its message, nothing scanned.
    void scanWithoutTheKeyIsRefused() {
        TestFolders folders;
        auto rig = std::unique_ptr<ScanRig>(new ScanRig(folders.NewFolder(QStringLiteral("program"))));
        QVERIFY(rig->StartWith(folders.NewFolder(QStringLiteral("box"))));
        FolderScanResult result;
        QCOMPARE(rig->Scanner().Run(rig->folder, QStringLiteral("/no/such/folder"), result), OpResult::kFailed);
        QVERIFY(rig->ui.Has(msg::kKeyNotFound));
        QCOMPARE(result.total, 0);
    }

    // The rows of the result window: one per finding, the kinds apart, every cell filled, the model sound.
    void resultModelShowsEveryFinding() {
        TestFolders folders;
        auto rig = std::unique_ptr<ScanRig>(new ScanRig(folders.NewFolder(QStringLiteral("program"))));
        QVERIFY(rig->StartWith(folders.NewFolder(QStringLiteral("box"))));
        MessageSource& messages = *rig->app.State().catalogue;
        CScanResultModel model(messages);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        ScanFinding damaged;
        damaged.kind = ScanFinding::kDamaged;
        damaged.fault = ContainerFault::kBodyError;
        damaged.diskPath = QStringLiteral("/box/a/X.zorf");
        damaged.folder = QStringLiteral("/box/a");
        damaged.diskName = QStringLiteral("X.zorf");
        damaged.storedName = QStringLiteral("見積.xls");
        ScanFinding other = damaged;
        other.kind = ScanFinding::kOtherPassword;
        other.fault = ContainerFault::kOtherPassword;
        other.storedName.clear();
        other.hint = QStringLiteral("犬の名前");
        model.SetFindings({damaged, other});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), int(CScanResultModel::kColumnCount));
        QCOMPARE(model.index(0, CScanResultModel::kKindColumn).data().toString(), QStringLiteral("破損"));
        QCOMPARE(model.index(0, CScanResultModel::kNameColumn).data().toString(), QStringLiteral("見積.xls"));
        QCOMPARE(model.index(0, CScanResultModel::kFolderColumn).data().toString(), QStringLiteral("/box/a"));
        QCOMPARE(model.index(0, CScanResultModel::kDiskNameColumn).data().toString(), QStringLiteral("X.zorf"));
        QCOMPARE(model.index(0, CScanResultModel::kReasonColumn).data().toString(), messages.MsgA(msg::kScanBodyError));
        QCOMPARE(model.index(1, CScanResultModel::kKindColumn).data().toString(), QStringLiteral("別のパスワード"));
        QVERIFY(model.index(1, CScanResultModel::kReasonColumn).data().toString().contains(QStringLiteral("犬の名前")));
        QCOMPARE(model.index(1, 0).data(Qt::UserRole).toString(), QStringLiteral("/box/a/X.zorf"));
        QCOMPARE(model.headerData(CScanResultModel::kReasonColumn, Qt::Horizontal).toString(), QStringLiteral("理由"));
        model.SetFindings({});
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestFolderScan)
#include "TestFolderScan.moc"
