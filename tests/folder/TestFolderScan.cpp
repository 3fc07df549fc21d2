#include "FolderRig.h"
#include "ForwardingFileSystem.h"
#include "TreeSnapshot.h"
#include "crypto/ContainerHeader.h"
#include "folder/FolderScan.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <semaphore>

using namespace korimbo;

namespace {

const QString kOtherKey = QStringLiteral("other-folder");

QByteArray Sample(int size, int seed) {
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator(quint32(seed)).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

// Cuts `cut` bytes off the end (keeps -cut bytes when negative), then flips one bit at `flip` (none at 0,
// the middle at -1).
bool Damage(const QString& path, int cut, qint64 flip) {
    if (cut == 0 && flip == 0)
        return true;
    QFile file(path);
    QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    bytes.chop(cut < 0 ? bytes.size() + cut : cut);
    const qint64 at = flip < 0 ? bytes.size() / 2 : flip;
    if (flip != 0)
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return !bytes.isEmpty() && FolderRig::WriteRaw(path, bytes);
}

// Opening every file but the first waits until the test lets it through, so a stop lands between two files.
class GateFileSystem final : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::unique_ptr<File> Open(const QString& p, OpenMode m, int& e) override {
        if (opens.fetch_add(1) > 0 && gate.try_acquire_for(std::chrono::seconds(10)))
            gate.release();
        return m_inner.Open(p, m, e);
    }
    std::atomic<int> opens{0};
    std::binary_semaphore gate{0};
};

CFolderScan Scanner(FolderRig& rig, FileSystem& files) {
    AppState& s = rig.app.State();
    return CFolderScan(*s.engine, files, rig.ui, *s.catalogue, rig.names.get());
}

} // namespace

class TestFolderScan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Each kind of damage gets its own reason from the quiet check, which says nothing to the user.
    void quietCheckNamesTheDamage_data() {
        QTest::addColumn<int>("cut");
        QTest::addColumn<qint64>("flip");
        QTest::addColumn<ContainerFault>("fault");
        QTest::newRow("whole") << 0 << qint64(0) << ContainerFault::kNone;
        QTest::newRow("cut inside the name block")
            << -(ContainerHeader::kSize + 8) << qint64(0) << ContainerFault::kTruncated;
        QTest::newRow("bit in the body") << 0 << qint64(-1) << ContainerFault::kBodyError;
        QTest::newRow("bit in the signature") << 0 << qint64(5) << ContainerFault::kHeaderDamaged;
        QTest::newRow("read error") << 0 << qint64(0) << ContainerFault::kUnreadable;
        QTest::newRow("another password") << 0 << qint64(0) << ContainerFault::kOtherPassword;
        QTest::newRow("plain file") << 0 << qint64(0) << ContainerFault::kNotContainer;
    }
    void quietCheckNamesTheDamage() {
        QFETCH(int, cut);
        QFETCH(qint64, flip);
        QFETCH(ContainerFault, fault);
        TestFolders folders;
        const auto rig = FolderRig::Started(folders);
        QVERIFY(rig && rig->EnterKey(kOtherKey, QStringLiteral("Other#Pw2")));
        const QString key = fault == ContainerFault::kOtherPassword ? kOtherKey : rig->folder;
        QString container = rig->Encrypt(rig->folder, QStringLiteral("報告.txt"), Sample(60000, 7), key);
        QVERIFY(!container.isEmpty());
        QVERIFY(Damage(container, cut, flip));
        if (fault == ContainerFault::kNotContainer) { // a plain file by a plain name
            container = rig->folder + QStringLiteral("/報告.txt");
            QVERIFY(FolderRig::WriteRaw(container, Sample(5000, 1)));
        }
        if (fault == ContainerFault::kUnreadable)
            rig->fs.readFault = {QFileInfo(container).fileName(), EIO, 2000};
        const ContainerVerdict verdict = rig->Engine().CheckQuietly(container, rig->folder);
        QCOMPARE(verdict.fault, fault);
        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(verdict.error, fault == ContainerFault::kUnreadable ? EIO : 0);
        QCOMPARE(verdict.hint, fault == ContainerFault::kOtherPassword ? QStringLiteral("hint") : QString());
        if (fault == ContainerFault::kNone || fault == ContainerFault::kBodyError)
            QCOMPARE(verdict.storedName, QStringLiteral("報告.txt"));
    }

    // A tree of whole, damaged, unreadable and other-password containers and a plain file: exactly the damaged
    // are found, other password's last, named by the name file or the header (sub); nothing written or shown.
    void scanFindsExactlyTheDamagedContainers() {
        TestFolders folders;
        const auto rig = FolderRig::Started(folders);
        QVERIFY(rig && rig->EnterKey(kOtherKey, QStringLiteral("Other#Pw2")));
        const QString top = rig->folder;
        const QString sub = top + QStringLiteral("/年度/2024");
        QVERIFY(QDir().mkpath(sub));
        for (int i = 0; i < 6; ++i) // the first one empty
            QVERIFY(!rig->Encrypt(i % 2 ? sub : top, QStringLiteral("w%1.txt").arg(i), Sample(3000 * i, i)).isEmpty());
        using K = ScanFinding;
        using F = ContainerFault;
        const QList<std::tuple<QString, int, qint64, K::Kind, F>> damage{
            {QStringLiteral("cut.doc"), 100, 0, K::kDamaged, F::kTruncated},
            {QStringLiteral("本文.xls"), 0, -1, K::kDamaged, F::kBodyError},
            {QStringLiteral("header.pdf"), 0, 3, K::kDamaged, F::kHeaderDamaged},
            {QStringLiteral("check.pdf"), 0, 300, K::kDamaged, F::kHeaderDamaged},
            {QStringLiteral("unreadable.txt"), 0, 0, K::kUnreadable, F::kUnreadable},
            {QStringLiteral("o.txt"), 0, 0, K::kOtherPassword, F::kOtherPassword}};
        QStringList paths;
        for (const auto& [name, cut, flip, kind, fault] : damage) {
            const bool below = fault == F::kBodyError || fault == F::kOtherPassword;
            paths << rig->Encrypt(below ? sub : top, name, Sample(50000, 3),
                                  fault == F::kOtherPassword ? kOtherKey : QString());
        }
        QVERIFY(FolderRig::WriteRaw(sub + QStringLiteral("/notes.txt"), "a plain file of the user's"));
        QCOMPARE(rig->names->RefreshNameFile(top, top), 0);
        for (int i = 0; i < paths.size(); ++i)
            QVERIFY(!paths[i].isEmpty() && Damage(paths[i], std::get<1>(damage[i]), std::get<2>(damage[i])));
        rig->fs.openFault = {QFileInfo(paths[4]).fileName(), EACCES};
        const QString work = rig->app.State().workFolder->angoTempFolder;
        const QStringList before = TreeSnapshot(top, true) + TreeSnapshot(work, true);

        CFolderScan scan = Scanner(*rig, rig->fs);
        scan.SetWorkers(2);
        FolderScanResult result;
        QCOMPARE(scan.Run(top, top, result), OpResult::kDone);

        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(TreeSnapshot(top, true) + TreeSnapshot(work, true), before);
        QCOMPARE(result.total, 13);
        QCOMPARE(result.containers, 12);
        QCOMPARE(result.findings.size(), damage.size());
        QCOMPARE(result.findings.last().diskPath, paths.last());
        for (const ScanFinding& found : result.findings) {
            QVERIFY(paths.contains(found.diskPath));
            const auto& [name, cut, flip, kind, fault] = damage.at(paths.indexOf(found.diskPath));
            QCOMPARE(found.kind, kind);
            QCOMPARE(found.fault, fault);
            QCOMPARE(found.storedName, kind == K::kOtherPassword ? QString() : name);
        }
        QVERIFY(rig->ui.Status().contains(QStringLiteral("13 / 13")));
    }

    // The stop button ends the scan between two files: the files done are reported, the rest are not.
    void stopEndsTheScanMidway() {
        TestFolders folders;
        const auto rig = FolderRig::Started(folders);
        QVERIFY(rig);
        for (int i = 0; i < 8; ++i)
            QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("f%1.txt").arg(i), Sample(1000, i)).isEmpty());
        GateFileSystem gate(rig->fs);
        bool opened = false;
        rig->ui.OnPump([&](int) {
            if (gate.opens >= 2 && !std::exchange(opened, true)) {
                rig->ui.SetStop(true);
                gate.gate.release();
            }
        });
        CFolderScan scan = Scanner(*rig, gate);
        scan.SetWorkers(1);
        FolderScanResult result;
        QCOMPARE(scan.Run(rig->folder, rig->folder, result), OpResult::kDone);
        QVERIFY(result.stopped);
        QCOMPARE(result.checked, 2);
        QCOMPARE(gate.opens, 2);
    }
};

QTEST_GUILESS_MAIN(TestFolderScan)
#include "TestFolderScan.moc"
