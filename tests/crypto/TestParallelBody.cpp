// Bodies compressed on worker threads: the joined stream is one stream every reader decodes, the
// same bytes with or without threads, checked behind the writer, and a failure part-way leaves nothing.
#include "CryptoFixture.h"
#include "PlainZlib.h"
#include "crypto/BlockDeflater.h"
#include "crypto/BodyVerifier.h"
#include "util/MessageNumbers.h"

#include <QMap>
#include <QStandardPaths>
#include <QTest>

using namespace korimbo;
using namespace korimbo::test;

namespace {

constexpr int kBlock = CBlockDeflater::kBlockSize;

// The whole input through the deflater in blocks, as the body writer hands them over.
QByteArray Compress(const QByteArray& input, int workers) {
    CBlockDeflater deflater(workers);
    if (deflater.Init() != 0)
        return QByteArray();
    QByteArray out;
    qsizetype at = 0;
    bool ended = false;
    for (;;) {
        while (!ended) {
            std::uint8_t* block = deflater.NextInput();
            if (!block)
                break;
            const int length = static_cast<int>(std::min<qsizetype>(kBlock, input.size() - at));
            std::memcpy(block, input.constData() + at, static_cast<std::size_t>(length));
            at += length;
            // A full block at the very end is followed by an empty last one, as a reader sees the end.
            ended = length < kBlock;
            deflater.Submit(length, ended);
        }
        if (!deflater.Pending())
            break;
        const std::uint8_t* data = nullptr;
        int length = 0;
        if (deflater.Collect(data, length) != 0)
            return QByteArray();
        out.append(reinterpret_cast<const char*>(data), length);
    }
    return out;
}

// Text and noise in stretches, so that blocks differ and the dictionary matters.
QByteArray Mixed(qsizetype size) {
    QByteArray bytes;
    for (quint32 part = 0; bytes.size() < size; ++part)
        bytes += part % 3 == 1 ? RandomBytes(90000, part) : TextBytes(300000);
    bytes.truncate(size);
    return bytes;
}

QByteArray SizedInput(const QString& kind, qsizetype size) {
    return kind == QStringLiteral("noise") ? RandomBytes(size, static_cast<quint32>(size)) : Mixed(size);
}

} // namespace

class TestParallelBody : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void Sizes_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qsizetype>("size");
        for (const QString& kind : {QStringLiteral("text"), QStringLiteral("noise")}) {
            for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(kBlock - 1), qsizetype(kBlock),
                                         qsizetype(kBlock + 1), qsizetype(3 * kBlock + 7)})
                QTest::addRow("%s, %lld bytes", qPrintable(kind), static_cast<long long>(size)) << kind << size;
        }
        QTest::newRow("text, nine blocks") << QStringLiteral("text") << qsizetype(9 * kBlock + 12345);
    }

    // The joined stream is one zlib stream: the right header, plain zlib inflates it to the input in
    // one go (the checksum included) and nothing follows its end; threads do not change a byte.
    void JoinedStreamIsOneStream() {
        QFETCH(QString, kind);
        QFETCH(qsizetype, size);
        const QByteArray input = SizedInput(kind, size);
        const QByteArray threaded = Compress(input, 2);
        QVERIFY(threaded.size() >= 8);
        QCOMPARE(threaded.left(2).toHex(), QByteArray("789c"));
        QVERIFY(Inflate(threaded) == input);
        QVERIFY(Inflate(threaded, 1) == input); // output one byte at a time across every block edge
        QCOMPARE(Compress(input, 0).toHex(), threaded.toHex());
        QByteArray damaged = threaded;
        damaged[damaged.size() - 1] = static_cast<char>(damaged.at(damaged.size() - 1) ^ 1);
        QVERIFY(Inflate(damaged).isNull()); // the combined checksum is checked, not skipped
    }
    void JoinedStreamIsOneStream_data() { Sizes_data(); }

    // Through the engine: the container decodes with our reader, and its body with plain zlib.
    void ContainerRoundTrip() {
        QFETCH(QString, kind);
        QFETCH(qsizetype, size);
        const QByteArray content = SizedInput(kind, size);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("big.bin"), content);
        QVERIFY(!container.isEmpty());
        QByteArray body = ReadAll(container).mid(ContainerHeader::kSize + 16);
        QCOMPARE(f.engine.DecipherBuffer(U8(body), body.size(), kFolderKey), 0);
        body.chop(f.PlainHeader(container).PadCount());
        QVERIFY(Inflate(body) == content);
        const QString restored = f.Path(QStringLiteral("restored.bin"));
        QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), 0);
        QVERIFY(ReadAll(restored) == content);
        QVERIFY(f.ui.Messages().isEmpty());
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }
    void ContainerRoundTrip_data() { Sizes_data(); }

    // A failure part-way through a many-block body, while workers and verifier run, leaves the old
    // container and no temporary file.
    void FaultPartWayLeavesNothing_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("result");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("disk full in the third block") << 0 << -8 << QList<int>{342, 335};
        QTest::newRow("source unreadable in the fourth block") << 1 << -7 << QList<int>{341, 335};
        QTest::newRow("read-back fails behind the writer") << 2 << -1 << QList<int>{msg::kBodyDamaged, 426, 335};
        QTest::newRow("stopped in the second block") << 3 << -9 << QList<int>{334};
    }
    void FaultPartWayLeavesNothing() {
        QFETCH(int, fault);
        QFETCH(int, result);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("doc.bin"), TextBytes(10000));
        QVERIFY(!container.isEmpty());
        const QByteArray before = ReadAll(container);
        const QByteArray content = Mixed(6 * kBlock);
        const QString source = f.Write(QStringLiteral("new.bin"), content);
        switch (fault) {
        case 0:
            f.fs.writeFault = {QStringLiteral(".part"), ENOSPC, 300000};
            break;
        case 1:
            // The tail sample's 16 bytes, then 13 whole pieces: the 14th read fails outright.
            f.fs.readFault = {QStringLiteral("new.bin"), EIO, 16 + 13 * 128000};
            break;
        case 2:
            f.fs.readFault = {QStringLiteral(".part"), EIO, 200000};
            break;
        default:
            f.ui.StopAfterPumps(6);
            break;
        }
        QCOMPARE(f.engine.EncryptFile(source, container, kFolderKey), result);
        QCOMPARE(f.ui.Numbers(), messages);
        QVERIFY(ReadAll(container) == before);
        QVERIFY(ReadAll(source) == content);
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }

    // A read-back handle that reads nothing past the size the file had when it was opened (fusefat's):
    // the check behind the writer ends early, and the same check through fresh handles after the write
    // judges. A body damaged on the way still fails it (its output differs from the source), and leaves
    // nothing.
    void ReadBackThatStopsAtItsOpeningSize_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("one piece, checked after the write") << qsizetype(5000) << false << QList<int>();
        QTest::newRow("many blocks, checked behind the writer") << qsizetype(6 * kBlock) << false << QList<int>();
        QTest::newRow("many blocks, body damaged")
            << qsizetype(6 * kBlock) << true << QList<int>{msg::kVerifyContent, 335};
    }
    void ReadBackThatStopsAtItsOpeningSize() {
        QFETCH(qsizetype, size);
        QFETCH(bool, damaged);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        const QByteArray content = Mixed(size);
        const QString source = f.Write(QStringLiteral("new.bin"), content);
        const QString container = f.Path(QStringLiteral("new.zorf"));
        f.fs.staleReadFault = {QStringLiteral(".part"), 0, 0};
        if (damaged)
            f.fs.corruptFault = {QStringLiteral(".part"), 0, 300000};
        QCOMPARE(f.engine.EncryptFile(source, container, kFolderKey), messages.isEmpty() ? 0 : -1);
        QCOMPARE(f.ui.Numbers(), messages);
        QCOMPARE(QFile::exists(container), messages.isEmpty());
        QVERIFY(f.PartFiles().isEmpty());
        const QString restored = f.Path(QStringLiteral("restored.bin"));
        QVERIFY(damaged ||
                (f.engine.DecryptFile(container, restored, kFolderKey) == 0 && ReadAll(restored) == content));
    }

    // The verifier compares every byte with the source: a source that differs anywhere, or goes on
    // after the body, fails the check, and so does a damaged body.
    void VerifierCatchesDifferences_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("message");
        QTest::newRow("one byte in the middle of the source") << 0 << 430;
        QTest::newRow("source longer than the body") << 1 << 429;
        QTest::newRow("source shorter than the body") << 2 << 429;
        QTest::newRow("body damaged") << 3 << -1; // inflate fails, or its output differs
        QTest::newRow("unchanged") << 4 << 0;
    }
    void VerifierCatchesDifferences() {
        QFETCH(int, change);
        QFETCH(int, message);
        EngineFixture f;
        const QByteArray content = Mixed(2 * kBlock + 999);
        const QString container = f.MakeContainer(QStringLiteral("v.bin"), content);
        QVERIFY(!container.isEmpty());
        QByteArray original = content;
        QByteArray file = ReadAll(container);
        if (change == 0)
            original[content.size() / 2] = static_cast<char>(original.at(content.size() / 2) ^ 0x40);
        else if (change == 1)
            original.append('x');
        else if (change == 2)
            original.chop(1);
        else if (change == 3)
            file[file.size() / 2] = static_cast<char>(file.at(file.size() / 2) ^ 0x40);
        const QString source = f.Path(QStringLiteral("original.bin"));
        const QString copy = f.Path(QStringLiteral("copy.zorf"));
        QVERIFY(WriteAll(source, original) && WriteAll(copy, file));

        int error = 0;
        const qint64 bodyOffset = ContainerHeader::kSize + 16;
        CBodyVerifier verifier(f.fs.Open(copy, OpenMode::Read, error), bodyOffset,
                               f.fs.Open(source, OpenMode::Read, error));
        QString key;
        QCOMPARE(f.engine.RegisterTempKey(kPassword, QString(), key), 0);
        const KeySlot& slot = f.engine.Slot(1);
        QCOMPARE(verifier.Cipher().SetDecryptKey(slot.key.data(), 32), 0);
        verifier.SetChain(slot.iv.data());
        verifier.Start();
        // The writer's side: the body appears piece by piece, then ends with the pad count.
        const qint64 body = file.size() - bodyOffset;
        for (qint64 at = 0; at + CBodyVerifier::kPieceSize < body; at += CBodyVerifier::kPieceSize)
            verifier.Published(at + CBodyVerifier::kPieceSize);
        verifier.Finish(body, f.PlainHeader(container).PadCount());
        QCOMPARE(verifier.Wait(), message == 0 ? CBodyVerifier::Verdict::kMatched : CBodyVerifier::Verdict::kFailed);
        if (message < 0)
            QVERIFY(QList<int>({int(msg::kBodyDamaged), 430}).contains(verifier.Result().message));
        else
            QCOMPARE(verifier.Result().message, message);
        if (message == 0)
            QCOMPARE(verifier.Result().output, content.size());
    }

    // Small files compressed ahead on a second thread, in the order of a folder walk: whatever order they
    // are then encrypted in, and whatever happened to one after its stream was made, each container holds
    // the file as it is at its turn; a stale stream that looks current is caught by the check, never stored.
    void CompressedAheadHoldsTheFileAtItsTurn_data() {
        QTest::addColumn<QString>("change"); // what happens to b.txt once its stream is made
        QTest::addColumn<bool>("reversed");
        QTest::addColumn<int>("message");
        QTest::newRow("in order") << QString() << false << 0;
        QTest::newRow("in the other order") << QString() << true << 0;
        QTest::newRow("saved over") << QStringLiteral("save") << false << 0;
        QTest::newRow("saved over, old time put back") << QStringLiteral("same time") << false
                                                         << int(msg::kVerifyContent);
    }
    void CompressedAheadHoldsTheFileAtItsTurn() {
        QFETCH(QString, change);
        QFETCH(bool, reversed);
        QFETCH(int, message);
        EngineFixture f;
        QVERIFY(QDir().mkpath(f.Path(QStringLiteral("in"))));
        QMap<QString, QByteArray> contents;
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            contents.insert(f.Write(QStringLiteral("in/") + QLatin1String(name), TextBytes(20000 + contents.size())),
                            TextBytes(20000 + contents.size()));
        const QString b = f.Path(QStringLiteral("in/b.txt"));
        f.engine.Ahead().Plan({f.Path(QStringLiteral("in"))});
        QTRY_VERIFY(f.engine.Ahead().Holds(b));
        if (!change.isEmpty()) {
            contents[b] = RandomBytes(contents[b].size(), 7);
            QVERIFY(WriteAll(b, contents[b]));
            QVERIFY(f.fs.SetModificationTime(b, kSourceTime + (change == QStringLiteral("save") ? 60 : 0)).Ok());
        }
        QStringList order = contents.keys();
        if (reversed)
            std::reverse(order.begin(), order.end());
        for (const QString& path : order) {
            const QString container = path + QStringLiteral(".zorf");
            const bool caught = message != 0 && path == b;
            QCOMPARE(f.engine.EncryptFile(path, container, kFolderKey) != 0, caught);
            QCOMPARE(f.ui.Numbers().contains(message), caught);
            QCOMPARE(QFileInfo::exists(container), !caught);
            f.ui.Clear();
            if (caught)
                continue;
            const QString restored = path + QStringLiteral(".out");
            QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), 0);
            QVERIFY(ReadAll(restored) == contents[path]);
        }
        f.engine.Ahead().Clear();
        QVERIFY(f.PartFiles().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestParallelBody)
#include "TestParallelBody.moc"
