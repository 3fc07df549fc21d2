// The fast inflate and zlib's read every container alike: the same bytes out of a whole one, the same
// failure (result and messages) out of a damaged one.
#include "CryptoFixture.h"

#include "crypto/Inflater.h"

#include <QStandardPaths>
#include <QTest>

using namespace korimbo;
using namespace korimbo::test;

namespace {

enum class Damage { None, Flip, CutShort, Appended };

struct Outcome {
    int result = 0;
    QList<int> numbers;
    QByteArray bytes;
};

Outcome Decrypt(EngineFixture& f, const QString& container, CInflater::Kind kind) {
    CInflater::SetDefaultKind(kind);
    const QString out = f.Path(QStringLiteral("out-%1.bin").arg(kind == CInflater::Kind::Zlib ? 1 : 2));
    Outcome outcome;
    outcome.result = f.engine.DecryptFile(container, out, kFolderKey);
    outcome.numbers = f.ui.Numbers();
    outcome.bytes = ReadAll(out);
    f.ui.Clear();
    QFile::remove(out);
    CInflater::SetDefaultKind(CInflater::Kind::Fastest);
    return outcome;
}

} // namespace

class TestInflaters : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        if (!CInflater::FastAvailable())
            qInfo("this build inflates with zlib only: both sides below are zlib");
    }

    void SameBytesAndSameFailures_data() {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<qint64>("at"); // where a bit flips; negative: from the end
        constexpr int kPiece = CCryptEngine::kPieceSize;
        QTest::newRow("empty") << QByteArray() << Damage::None << qint64{0};
        QTest::newRow("one byte") << QByteArray("x") << Damage::None << qint64{0};
        QTest::newRow("text of 3 pieces and 1") << TextBytes(3 * kPiece + 1) << Damage::None << qint64{0};
        // Random bytes barely shrink: their streams end on either side of a piece of input.
        for (int size = kPiece - 48; size <= kPiece + 16; size += 32)
            QTest::addRow("random %d", size) << RandomBytes(size, quint32(size)) << Damage::None << qint64{0};
        const QByteArray big = RandomBytes(3 * kPiece, 7);
        QTest::newRow("flip in the first body byte") << big << Damage::Flip << qint64{384 + 16};
        QTest::newRow("flip in a middle piece") << big << Damage::Flip << qint64{384 + 16 + 200000};
        QTest::newRow("flip in the checksum") << TextBytes(5000) << Damage::Flip << qint64{-17};
        QTest::newRow("cut short") << big << Damage::CutShort << qint64{0};
        QTest::newRow("a block appended") << TextBytes(5000) << Damage::Appended << qint64{0};
    }
    void SameBytesAndSameFailures() {
        QFETCH(QByteArray, plain);
        QFETCH(Damage, damage);
        QFETCH(qint64, at);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("doc.bin"), plain);
        QVERIFY(!container.isEmpty());
        AllowWriting(container);
        QByteArray bytes = ReadAll(container);
        if (damage == Damage::Flip)
            bytes[at < 0 ? bytes.size() + at : at] = static_cast<char>(bytes.at(at < 0 ? bytes.size() + at : at) ^ 0x10);
        else if (damage == Damage::CutShort)
            bytes.chop(16);
        else if (damage == Damage::Appended)
            bytes.append(QByteArray(16, '\x5a'));
        QVERIFY(WriteAll(container, bytes));

        const Outcome reference = Decrypt(f, container, CInflater::Kind::Zlib);
        const Outcome fast = Decrypt(f, container, CInflater::Kind::Fastest);
        QCOMPARE(fast.result, reference.result);
        QCOMPARE(fast.numbers, reference.numbers);
        QCOMPARE(fast.bytes, reference.bytes);
        if (damage == Damage::None) {
            QCOMPARE(reference.result, 0);
            QCOMPARE(reference.bytes, plain);
        } else {
            QVERIFY(reference.result != 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestInflaters)
#include "TestInflaters.moc"
