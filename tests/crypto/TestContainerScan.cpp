#include "ForwardingFileSystem.h"
#include "CryptoFixture.h"
#include "crypto/ContainerScan.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <condition_variable>
#include <mutex>

using namespace korimbo;
using namespace korimbo::test;

namespace {

const QString kOtherKey = QStringLiteral("/media/stick/Other");

bool Damage(const QString& path, int kind) {
    QByteArray bytes = ReadAll(path);
    if (kind == 1)
        bytes.chop(48);
    else
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    return WriteAll(path, bytes);
}

// Every open waits until the test lets it through.
class HeldFileSystem final : public ForwardingFileSystem {
public:
    explicit HeldFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}
    void Release() {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    std::unique_ptr<File> Open(const QString& p, OpenMode m, int& e) override {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_released; });
        return m_inner.Open(p, m, e);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
};

} // namespace

// The scan of many containers on a pool of threads: the same verdicts as one thread, nothing shown.
class TestContainerScan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void workersAgreeWithOneThread() {
        EngineFixture f;
        QCOMPARE(f.RegisterFolderKey(kOtherKey, QStringLiteral("Other#Pw55"), QStringLiteral("other")), 0);
        QStringList damaged;
        for (int i = 0; i < 48; ++i) {
            const QByteArray bytes = i % 3 ? TextBytes(2000 + 977 * i) : RandomBytes(3000 + 31 * i, quint32(i));
            const QString container =
                f.MakeContainer(QStringLiteral("p%1.txt").arg(i), bytes, i % 11 == 5 ? kOtherKey : kFolderKey);
            QVERIFY(!container.isEmpty());
            QVERIFY(QFile::remove(f.Path(QStringLiteral("p%1.txt").arg(i))));
            if (i % 7 == 3 && i % 11 != 5) {
                QVERIFY(Damage(container, i % 2));
                damaged << container;
            }
        }
        QVERIFY(WriteAll(f.Path(QStringLiteral("plain.txt")), "not a container"));
        QVERIFY(WriteAll(f.Path(QStringLiteral(".hidden.zorf")), "left out"));

        const QStringList paths = CContainerScan::FilesBelow(f.dir.path());
        QCOMPARE(paths.size(), 49);
        QVERIFY(!paths.contains(f.Path(QStringLiteral(".hidden.zorf"))));
        const std::shared_ptr<const ProbeKeys> keys = f.engine.ProbeKeysFor(kFolderKey);
        QVERIFY(keys);
        CContainerScan one(keys, f.fs, f.ui);
        one.SetWorkers(1);
        CContainerScan many(keys, f.fs, f.ui);
        many.SetWorkers(4);
        int lastDone = -1;
        many.progress = [&](int done, int total) {
            QCOMPARE(total, 49);
            QVERIFY(done >= lastDone);
            lastDone = done;
        };
        const CContainerScan::Result alone = one.Run(paths);
        const CContainerScan::Result pooled = many.Run(paths);
        QCOMPARE(lastDone, 49);
        QCOMPARE(int(pooled.files.size()), 49);
        QCOMPARE(alone.files.size(), pooled.files.size());
        int other = 0;
        QStringList found;
        for (std::size_t i = 0; i < pooled.files.size(); ++i) {
            const ScannedFile& a = alone.files[i];
            const ScannedFile& b = pooled.files[i];
            QCOMPARE(a.path, b.path);
            QCOMPARE(int(a.verdict.fault), int(b.verdict.fault));
            QCOMPARE(a.verdict.storedName, b.verdict.storedName);
            if (b.verdict.fault == ContainerFault::kOtherPassword)
                ++other;
            else if (!b.verdict.Whole() && b.verdict.fault != ContainerFault::kNotContainer)
                found << b.path;
        }
        QCOMPARE(other, 4);
        damaged.sort();
        found.sort();
        QCOMPARE(found, damaged);
        QVERIFY(f.ui.Messages().isEmpty());
    }

    // While the workers are held, the calling thread waits between pumps instead of spinning, with or
    // without a progress hook.
    void callingThreadWaitsBetweenPumps() {
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("w.txt"), TextBytes(5000));
        QVERIFY(!container.isEmpty());
        HeldFileSystem held(f.fs);
        CContainerScan scan(f.engine.ProbeKeysFor(kFolderKey), held, f.ui);
        QElapsedTimer clock;
        qint64 atThirdPump = -1;
        f.ui.OnPump([&](int pumps) {
            if (pumps == 3) {
                atThirdPump = clock.elapsed();
                held.Release();
            }
        });
        clock.start();
        const CContainerScan::Result result = scan.Run({container});
        QCOMPARE(int(result.files.size()), 1);
        QVERIFY(result.files.front().verdict.Whole());
        // Three pumps with no file done in between: at least two full waits of the pump interval.
        QVERIFY2(atThirdPump >= 70, qPrintable(QString::number(atThirdPump)));
    }

    // Keys copied for the workers need both the built-in key and the folder's.
    void keysForAnUnknownSlotAreNone() {
        EngineFixture f;
        QVERIFY(!f.engine.ProbeKeysFor(QStringLiteral("/no/such")));
        QVERIFY(f.engine.ProbeKeysFor(kFolderKey));
    }
};

QTEST_GUILESS_MAIN(TestContainerScan)
#include "TestContainerScan.moc"
