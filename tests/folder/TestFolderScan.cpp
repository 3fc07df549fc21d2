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
#include <condition_variable>
#include <mutex>

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
        // Every open after the first waits for the gate (ten seconds at most). A condition, not this
        // libstdc++'s timed semaphore wait, which can give up at once.
        if (opens.fetch_add(1) > 0) {
            std::unique_lock lock(m_mutex);
            m_opened.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
        }
        return m_inner.Open(p, m, e);
    }
    void OpenGate() {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_opened.notify_all();
    }
    std::atomic<int> opens{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
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

    // One tree of whole, damaged, unreadable and other-password containers and a plain file. The quiet check
    // names each kind of damage; the scan finds exactly the damaged, the other password's last, named by the name
    // file or, in the subfolder that has none, the header. Nothing is written or shown.
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
            {QStringLiteral("name.doc"), -(ContainerHeader::kSize + 8), 0, K::kDamaged, F::kTruncated},
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
        rig->fs.readFault = {QFileInfo(paths[5]).fileName(), EIO, 2000};

        for (int i = 0; i < paths.size(); ++i)
            QCOMPARE(rig->Engine().CheckQuietly(paths[i], top).fault, std::get<4>(damage[i]));
        QCOMPARE(rig->Engine().CheckQuietly(sub + QStringLiteral("/notes.txt"), top).fault, F::kNotContainer);
        QCOMPARE(rig->Engine().CheckQuietly(paths[2], top).storedName, QStringLiteral("本文.xls"));
        QCOMPARE(rig->Engine().CheckQuietly(paths[5], top).error, EIO);
        QCOMPARE(rig->Engine().CheckQuietly(paths[6], top).hint, QStringLiteral("hint"));
        const QString work = rig->app.State().workFolder->angoTempFolder;
        const QStringList before = TreeSnapshot(top, true) + TreeSnapshot(work, true);
        CFolderScan scan = Scanner(*rig, rig->fs);
        scan.SetWorkers(2);
        FolderScanResult result;
        QCOMPARE(scan.Run(top, top, result), OpResult::kDone);

        QVERIFY(rig->ui.Messages().isEmpty());
        QCOMPARE(TreeSnapshot(top, true) + TreeSnapshot(work, true), before);
        QCOMPARE(result.total, 14);
        QCOMPARE(result.containers, 13);
        QCOMPARE(result.findings.size(), damage.size());
        QCOMPARE(result.findings.last().diskPath, paths.last());
        for (const ScanFinding& found : result.findings) {
            QVERIFY(paths.contains(found.diskPath));
            const auto& [name, cut, flip, kind, fault] = damage.at(paths.indexOf(found.diskPath));
            QCOMPARE(found.kind, kind);
            QCOMPARE(found.fault, fault);
            QCOMPARE(found.storedName, kind == K::kOtherPassword ? QString() : name);
        }
        QVERIFY(rig->ui.Status().contains(QStringLiteral("14 / 14")));
    }

    // The stop button ends the scan between two files: the files done are reported, the rest are not.
    void stopEndsTheScanMidway() {
        TestFolders folders;
        const auto rig = FolderRig::Started(folders);
        QVERIFY(rig);
        for (int i = 0; i < 8; ++i)
            QVERIFY(!rig->Encrypt(rig->folder, QStringLiteral("f%1.txt").arg(i), Sample(1000, i)).isEmpty());
        GateFileSystem gate(rig->fs);
        rig->ui.OnPump([&](int) {
            if (gate.opens >= 2)
                rig->ui.SetStop(true);
        });
        // The gate opens at the first status text after the stop: by then the scan has told its workers to
        // stop, so the one held at the gate takes no further file.
        rig->ui.OnStatus([&](const QString&) {
            if (rig->ui.StopRequested())
                gate.OpenGate();
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
