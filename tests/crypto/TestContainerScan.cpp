#include "CryptoFixture.h"
#include "crypto/ContainerScan.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;
using namespace korimbo::test;

// The scan of many containers on a pool of threads: the same verdicts as one thread, nothing shown.
class TestContainerScan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void workersAgreeWithOneThread() {
        EngineFixture f;
        const QString otherKey = QStringLiteral("/media/stick/Other");
        QCOMPARE(f.RegisterFolderKey(otherKey, QStringLiteral("Other#Pw55"), QStringLiteral("other")), 0);
        QStringList damaged;
        for (int i = 0; i < 30; ++i) {
            const QByteArray bytes = i % 3 ? TextBytes(2000 + 977 * i) : RandomBytes(3000 + 31 * i, quint32(i));
            const QString name = QStringLiteral("p%1.txt").arg(i);
            const QString container = f.MakeContainer(name, bytes, i % 11 == 5 ? otherKey : kFolderKey);
            QVERIFY(!container.isEmpty() && QFile::remove(f.Path(name)));
            if (i % 7 == 3 && i % 11 != 5) { // cut short or one bit flipped
                QByteArray damage = ReadAll(container);
                damage[damage.size() / 2] = static_cast<char>(damage[damage.size() / 2] ^ (i % 2 ? 0 : 1));
                QVERIFY(WriteAll(container, i % 2 ? damage.chopped(48) : damage));
                damaged << container;
            }
        }
        QVERIFY(WriteAll(f.Path(QStringLiteral("plain.txt")), "not a container"));
        QVERIFY(WriteAll(f.Path(QStringLiteral(".hidden.zorf")), "left out"));
        const QStringList paths = CContainerScan::FilesBelow(f.dir.path());
        QCOMPARE(paths.size(), 31);
        CContainerScan one(f.engine.ProbeKeysFor(kFolderKey), f.fs, f.ui);
        one.SetWorkers(1);
        CContainerScan many(f.engine.ProbeKeysFor(kFolderKey), f.fs, f.ui);
        many.SetWorkers(4);
        int lastDone = -1;
        many.progress = [&](int done, int total) {
            QVERIFY(done >= lastDone && total == 31);
            lastDone = done;
        };
        const CContainerScan::Result alone = one.Run(paths);
        const CContainerScan::Result pooled = many.Run(paths);
        QCOMPARE(lastDone, 31);
        QCOMPARE(int(alone.files.size()), 31);
        QCOMPARE(int(pooled.files.size()), 31);
        QStringList found;
        int other = 0;
        for (std::size_t i = 0; i < pooled.files.size(); ++i) {
            const ScannedFile& b = pooled.files[i];
            QCOMPARE(alone.files[i].path, b.path);
            QCOMPARE(alone.files[i].verdict.fault, b.verdict.fault);
            QCOMPARE(alone.files[i].verdict.storedName, b.verdict.storedName);
            if (b.verdict.fault == ContainerFault::kOtherPassword)
                ++other;
            else if (!b.verdict.Whole() && b.verdict.fault != ContainerFault::kNotContainer)
                found << b.path;
        }
        QCOMPARE(other, 3);
        damaged.sort();
        found.sort();
        QCOMPARE(found, damaged);
        QVERIFY(f.ui.Messages().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestContainerScan)
#include "TestContainerScan.moc"
