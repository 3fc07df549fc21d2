#include "CryptoFixture.h"
#include "crypto/ContainerScan.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

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

    // Keys copied for the workers need both the built-in key and the folder's.
    void keysForAnUnknownSlotAreNone() {
        EngineFixture f;
        QVERIFY(!f.engine.ProbeKeysFor(QStringLiteral("/no/such")));
        QVERIFY(f.engine.ProbeKeysFor(kFolderKey));
    }
};

QTEST_GUILESS_MAIN(TestContainerScan)
#include "TestContainerScan.moc"
