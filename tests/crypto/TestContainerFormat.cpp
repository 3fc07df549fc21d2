// The container layout as written, read back through the engine and taken apart by hand.
#include "CryptoFixture.h"
#include "PlainZlib.h"
#include "crypto/BlockDeflater.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <zlib.h>

using namespace korimbo;
using namespace korimbo::test;

namespace {

// The zlib stream the body must hold: default level, one stream, no flushes.
QByteArray Deflate(const QByteArray& in) {
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK)
        return QByteArray();
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(in.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return rc == Z_STREAM_END ? out : QByteArray();
}

// Random bytes whose stream is exactly `length` bytes: deflate stores them, so the stream grows by one
// byte per input byte apart from block headers; step towards the target.
QByteArray InputWithStreamLength(qsizetype length) {
    const QByteArray pool = RandomBytes(length, 42);
    qsizetype n = length - 200;
    while (n <= length) {
        const qsizetype got = Deflate(pool.left(n)).size();
        if (got == length)
            return pool.left(n);
        n += std::max<qsizetype>(1, length - got);
    }
    return QByteArray();
}

// The body's zlib stream, deciphered by hand and without its pad.
QByteArray BodyStream(EngineFixture& f, const QString& container, int nameBlockLength) {
    QByteArray body = ReadAll(container).mid(ContainerHeader::kSize + nameBlockLength);
    if (f.engine.DecipherBuffer(U8(body), body.size(), kFolderKey) != 0)
        return QByteArray();
    body.chop(f.PlainHeader(container).PadCount());
    return body;
}

qsizetype Round16(qsizetype n) {
    return (n + 15) / 16 * 16;
}

QString LocalText(qint64 secs) {
    return QDateTime::fromSecsSinceEpoch(secs).toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString NowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

// Alternating stretches of noise and text, several pieces long in both forms.
QByteArray MixedBytes(qsizetype size) {
    QByteArray bytes;
    for (quint32 part = 0; bytes.size() < size; ++part)
        bytes += part % 2 ? TextBytes(200000) : RandomBytes(150000, part);
    bytes.truncate(size);
    return bytes;
}

} // namespace

class TestContainerFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void EmptyFileMakesSmallestContainer() {
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("a.txt"), QByteArray());
        QVERIFY(!container.isEmpty());
        QCOMPARE(QFileInfo(container).size(), 384 + 16 + 16);
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(container, info, kFolderKey, true), 0);
        QCOMPARE(info.padCount, 8);
        QCOMPARE(info.header.PadCount(), 8);
        QCOMPARE(info.plainSize, 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(info.header.Tail()), 16), QByteArray(16, '\0'));
    }

    void TailSample_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("tail");
        const QByteArray text = TextBytes(5000);
        QTest::newRow("empty") << QByteArray() << QByteArray(16, '\0');
        QTest::newRow("1 byte") << QByteArray("x") << QByteArray("x").leftJustified(16, '\0');
        QTest::newRow("15 bytes") << text.left(15) << text.left(15) + QByteArray(1, '\0');
        QTest::newRow("16 bytes") << text.left(16) << text.left(16);
        QTest::newRow("17 bytes") << text.left(17) << text.mid(1, 16);
        QTest::newRow("5000 bytes") << text << text.right(16);
    }
    void TailSample() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, tail);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("t.bin"), content);
        QVERIFY(!container.isEmpty());
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(container, info, kFolderKey, true), 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(info.header.Tail()), 16).toHex(), tail.toHex());
        const qsizetype stream = Deflate(content).size();
        QCOMPARE(QFileInfo(container).size(), 384 + 16 + Round16(stream));
        QCOMPARE(info.padCount, Round16(stream) - stream);
    }

    void NameBlockLength_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("length");
        QTest::newRow("1 unit") << QStringLiteral("a") << 16;
        QTest::newRow("7 units") << QStringLiteral("abc.txt") << 16;
        QTest::newRow("8 units") << QStringLiteral("abcd.txt") << 32;
        QTest::newRow("7 units of Japanese") << QStringLiteral("暗号化ファイル") << 16;
        QTest::newRow("15 units") << QStringLiteral("fifteen-u.units") << 32;
        QTest::newRow("255 units") << QString(255, u'n') << 512;
    }
    void NameBlockLength() {
        QFETCH(QString, name);
        QFETCH(int, length);
        EngineFixture f;
        const QString container = f.MakeContainer(name, QByteArray());
        QVERIFY(!container.isEmpty());
        QCOMPARE(QFileInfo(container).size(), 384 + length + 16);
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(container, info, kFolderKey, true), 0);
        QCOMPARE(info.nameBlockLength, length);
        QCOMPARE(info.nameLength, name.size());
        QCOMPARE(info.name, name);
    }

    void BodyAtPieceBoundary_data() {
        QTest::addColumn<int>("streamLength");
        QTest::addColumn<int>("body");
        QTest::addColumn<int>("pad");
        QTest::newRow("one byte short of a piece") << 127999 << 128000 << 1;
        QTest::newRow("exactly one piece") << 128000 << 128000 << 0;
        QTest::newRow("one byte over") << 128001 << 128016 << 15;
        QTest::newRow("exactly two pieces") << 256000 << 256000 << 0;
    }
    void BodyAtPieceBoundary() {
        QFETCH(int, streamLength);
        QFETCH(int, body);
        QFETCH(int, pad);
        const QByteArray content = InputWithStreamLength(streamLength);
        QVERIFY(!content.isEmpty());
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("p.bin"), content);
        QVERIFY(!container.isEmpty());
        QCOMPARE(QFileInfo(container).size(), 384 + 16 + body);
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(container, info, kFolderKey, true), 0);
        QCOMPARE(info.padCount, pad);
        const QString restored = f.Path(QStringLiteral("restored.bin"));
        QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), 0);
        QVERIFY(ReadAll(restored) == content);
    }

    // Every field of the header, the name block and the body, opened with the keys by hand.
    void LayoutByteByByte() {
        EngineFixture f;
        const QByteArray content = TextBytes(5000);
        const QString before = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
        const QString container = f.MakeContainer(QStringLiteral("notes.txt"), content);
        const QString after = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
        QVERIFY(!container.isEmpty());
        const QByteArray file = ReadAll(container);
        const QByteArray stream = Deflate(content);
        QCOMPARE(file.size(), 384 + 32 + Round16(stream.size()));

        ContainerHeader h = f.PlainHeader(container);
        const QByteArray plain(reinterpret_cast<const char*>(h.Data()), ContainerHeader::kSize);
        QCOMPARE(plain.left(24), Utf16Le(f.cat.MsgB(6).left(12)));
        QCOMPARE(plain.mid(24, 6), Utf16Le(QStringLiteral("001")));
        QCOMPARE(int(h.U16(30)), int(Round16(stream.size()) - stream.size()));
        QCOMPARE(plain.mid(32, 96), Utf16Le(kHint.leftJustified(48, u' ')));
        QCOMPARE(plain.mid(128, 16), QByteArray(16, '\0'));
        QCOMPARE(h.I64(144), content.size());
        QCOMPARE(h.NameBlockLength(), 32);
        QCOMPARE(plain.mid(154, 60), QByteArray(60, ' '));
        QCOMPARE(plain.mid(278, 2), QByteArray(2, '\0'));
        QCOMPARE(plain.mid(328, 56), QByteArray(56, ' '));

        // Inner runs, each from the folder key's iv.
        QByteArray tail = plain.mid(214, 64);
        QByteArray dates = plain.mid(280, 16);
        QByteArray check = plain.mid(296, 32);
        for (QByteArray* run : {&tail, &dates, &check})
            QCOMPARE(f.engine.DecipherBuffer(U8(*run), run->size(), kFolderKey), 0);
        QCOMPARE(tail, content.right(16) + QByteArray(48, ' '));
        ContainerHeader d;
        std::memcpy(d.Data() + 280, dates.constData(), 16);
        const QString encryptedAt = QString::number(d.I64(280));
        QVERIFY2(encryptedAt >= before && encryptedAt <= after, qPrintable(encryptedAt));
        QCOMPARE(d.I64(288), kSourceTime);
        QCOMPARE(check.left(32), Utf16Le(f.cat.MsgB(7).left(16)));

        QByteArray nameBlock = file.mid(384, 32);
        QCOMPARE(f.engine.DecipherBuffer(U8(nameBlock), nameBlock.size(), kFolderKey), 0);
        QCOMPARE(nameBlock,
                 QByteArray("\x09\x00", 2) + Utf16Le(QStringLiteral("notes.txt")) + Utf16Le(QString(6, u' ')));

        QByteArray body = file.mid(416);
        QCOMPARE(f.engine.DecipherBuffer(U8(body), body.size(), kFolderKey), 0);
        QCOMPARE(body.left(stream.size()).toHex(), stream.toHex());
        QCOMPARE(body.mid(stream.size()), QByteArray(body.size() - stream.size(), '0'));
    }

    void RoundTrip_data() {
        QTest::addColumn<QByteArray>("content");
        for (const int size : {0, 1, 15, 16, 127999, 128000, 128001})
            QTest::addRow("%d bytes", size) << RandomBytes(size, static_cast<quint32>(size));
        QTest::newRow("300000 bytes of text") << TextBytes(300000);
        QTest::newRow("3 MiB mixed") << MixedBytes(3 * 1024 * 1024 + 77);
    }
    void RoundTrip() {
        QFETCH(QByteArray, content);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("data.bin"), content);
        QVERIFY(!container.isEmpty());
        // One block is the plain single stream; more are joined blocks, as long as plain zlib reads them.
        const QByteArray stream = BodyStream(f, container, 32);
        if (content.size() <= CBlockDeflater::kBlockSize)
            QCOMPARE(stream.toHex(), Deflate(content).toHex());
        QVERIFY(Inflate(stream) == content);
        QCOMPARE(QFileInfo(container).size(), 384 + 32 + Round16(stream.size()));
        const QString restored = f.Path(QStringLiteral("restored.bin"));
        QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), 0);
        QVERIFY(ReadAll(restored) == content);
        QCOMPARE(ModifiedSecs(restored), kSourceTime);
        QVERIFY(f.ui.Messages().isEmpty());
        QVERIFY(f.PartFiles().isEmpty());
        QCOMPARE(f.engine.VerifyContainer(container, kFolderKey), 0);
        QVERIFY(!f.engine.IsBusy());
    }

    // A plain name of the longest length the file system allows still round-trips: the temporary file
    // beside it must not be named after it.
    void LongestFileNameRoundTrips() {
        EngineFixture f;
        const QString name = QString(250, u'n') + QStringLiteral(".txt");
        const QString container = f.MakeContainer(name, "long name");
        QVERIFY(!container.isEmpty());
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(container, info, kFolderKey, true), 0);
        QCOMPARE(info.name, name);
        QVERIFY(QFile::remove(f.Path(name)));
        QCOMPARE(f.engine.DecryptFile(container, f.Path(name), kFolderKey), 0);
        QCOMPARE(ReadAll(f.Path(name)), QByteArray("long name"));
        QVERIFY(f.ui.Messages().isEmpty());
    }

    // No random value anywhere: only the encryption time tells two containers of one file apart.
    void SameFileTwiceDiffersOnlyInDate() {
        EngineFixture f;
        const QString source = f.Write(QStringLiteral("same.txt"), TextBytes(200000));
        const QString first = f.Path(QStringLiteral("first.zorf"));
        const QString second = f.Path(QStringLiteral("second.zorf"));
        QCOMPARE(f.engine.EncryptFile(source, first, kFolderKey), 0);
        const qint64 start = QDateTime::currentSecsSinceEpoch();
        QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() > start, 3000); // the clock's next second
        QCOMPARE(f.engine.EncryptFile(source, second, kFolderKey), 0);

        const QByteArray a = ReadAll(first);
        const QByteArray b = ReadAll(second);
        QCOMPARE(a.size(), b.size());
        QVERIFY(a.left(272) == b.left(272)); // the outer run changes from the block holding the dates on
        QVERIFY(a.mid(384) == b.mid(384));
        const ContainerHeader ha = f.PlainHeader(first);
        const ContainerHeader hb = f.PlainHeader(second);
        for (int i = 0; i < ContainerHeader::kSize; ++i) {
            const bool inDates = i >= 280 && i < 296;
            if (!inDates)
                QVERIFY2(ha.Data()[i] == hb.Data()[i], qPrintable(QString::number(i)));
        }
        ContainerInfo ia;
        ContainerInfo ib;
        static_cast<void>(f.engine.ReadContainerInfo(first, ia, kFolderKey, true));
        static_cast<void>(f.engine.ReadContainerInfo(second, ib, kFolderKey, true));
        QVERIFY(ia.header.EncryptedAt() < ib.header.EncryptedAt());
        QCOMPARE(ia.header.ModifiedTime(), ib.header.ModifiedTime());
    }

    void ContainerInfoFields() {
        EngineFixture f;
        const QString before = NowText();
        const QString container = f.MakeContainer(QStringLiteral("report.txt"), TextBytes(1234));
        const QString after = NowText();
        QVERIFY(!container.isEmpty());
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(container, info, kFolderKey, true), 0);
        QCOMPARE(info.name, QStringLiteral("report.txt"));
        QCOMPARE(int(info.nameArea[0]), 10);
        QCOMPARE(info.nameBlockLength, 32);
        QCOMPARE(info.plainSize, 1234);
        QCOMPARE(info.hint, kHint.leftJustified(48, u' '));
        QVERIFY(info.reservedText.isEmpty());
        QVERIFY2(info.encryptedAtText >= before && info.encryptedAtText <= after, qPrintable(info.encryptedAtText));
        QCOMPARE(info.modifiedText, LocalText(kSourceTime));
        QVERIFY(f.ui.Messages().isEmpty());

        // Without the folder key: what the built-in key shows, nothing more.
        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/other"), QStringLiteral("wrong-pass"), QString()), 0);
        QCOMPARE(f.engine.ReadContainerInfo(container, info, QStringLiteral("/other"), true), 0);
        QCOMPARE(f.ui.Numbers(), QList<int>{389});
        QCOMPARE(f.ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(info.hint, kHint.leftJustified(48, u' '));
        QCOMPARE(info.plainSize, 1234);
        QVERIFY(info.name.isEmpty());
        QVERIFY(info.encryptedAtText.isEmpty());
    }

    void ContainerInfoOfMissingFile() {
        EngineFixture f;
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(f.Path(QStringLiteral("none.zorf")), info, kFolderKey, false), -1);
        QVERIFY(f.ui.Messages().isEmpty());
        QCOMPARE(f.engine.ReadContainerInfo(f.Path(QStringLiteral("none.zorf")), info, kFolderKey, true), -1);
        QCOMPARE(f.ui.Numbers(), QList<int>{384});
        QVERIFY(f.ui.Messages().first().text.endsWith(f.Path(QStringLiteral("none.zorf"))));
    }

    void CheckContainerStatus_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::newRow("usable") << QStringLiteral("usable") << 0;
        QTest::newRow("wrong password") << QStringLiteral("wrong password") << 3;
        QTest::newRow("foreign file") << QStringLiteral("foreign") << 1;
        QTest::newRow("shorter than a header") << QStringLiteral("short") << 1;
        QTest::newRow("version 002") << QStringLiteral("version 002") << 2;
        QTest::newRow("version 010") << QStringLiteral("version 010") << 2;
        QTest::newRow("version 000") << QStringLiteral("version 000") << 0;
    }
    void CheckContainerStatus() {
        QFETCH(QString, kind);
        QFETCH(int, status);
        EngineFixture f;
        const QByteArray content = TextBytes(3000);
        QString path = f.MakeContainer(QStringLiteral("doc.txt"), content);
        QVERIFY(!path.isEmpty());
        QString key = kFolderKey;
        if (kind == QStringLiteral("wrong password")) {
            key = QStringLiteral("/other");
            QCOMPARE(f.RegisterFolderKey(key, QStringLiteral("wrong-pass"), QString()), 0);
        } else if (kind == QStringLiteral("foreign")) {
            path = f.Write(QStringLiteral("foreign.bin"), RandomBytes(1000, 4));
        } else if (kind == QStringLiteral("short")) {
            path = f.Write(QStringLiteral("short.bin"), RandomBytes(100, 4));
        } else if (kind.startsWith(QStringLiteral("version "))) {
            ContainerHeader header = f.PlainHeader(path);
            header.SetText(ContainerHeader::kVersionOffset, 3, kind.mid(8), u' ');
            QVERIFY(f.WriteHeader(path, header));
        }
        ContainerInfo info;
        const std::optional<ContainerCheck> check = f.engine.CheckContainer(path, info, key, false);
        QVERIFY(check.has_value());
        QCOMPARE(int(check->status), status);
        const QString& text = check->text;
        QVERIFY(f.ui.Messages().isEmpty());
        if (status == kUsable) {
            QVERIFY(text.isEmpty());
            const QString restored = f.Path(QStringLiteral("restored.txt"));
            QCOMPARE(f.engine.DecryptFile(path, restored, key), 0);
            QVERIFY(ReadAll(restored) == content);
        } else if (status == kNotContainer) {
            QCOMPARE(text, QStringLiteral("A423\n") + path);
        } else if (status == kNewerVersion) {
            QCOMPARE(text, QStringLiteral("A424\n") + path);
        } else {
            QCOMPARE(text,
                     QStringLiteral("A421") + path + QStringLiteral("A422") + kHint + QStringLiteral(" 」です。　"));
        }
        if (kind == QStringLiteral("short")) {
            const QByteArray header(reinterpret_cast<const char*>(info.header.Data()), ContainerHeader::kSize);
            QCOMPARE(header, QByteArray(ContainerHeader::kSize, '0'));
        }
    }

    void CheckContainerOfAFileThatCannotBeRead() {
        EngineFixture f;
        ContainerInfo info;
        QVERIFY(!f.engine.CheckContainer(f.Path(QStringLiteral("missing.zorf")), info, kFolderKey, false));
        QVERIFY(f.ui.Messages().isEmpty()); // told only when asked to show
    }

    void ContainerNames() {
        EngineFixture f;
        QString first;
        QString second;
        QCOMPARE(f.engine.MakeContainerName(f.dir.path(), first), 0);
        QCOMPARE(f.engine.MakeContainerName(f.dir.path(), second), 0);
        const QRegularExpression form(QStringLiteral("^[0-9A-F]{16}-[0-9A-F]{16}\\.zorf$"));
        QVERIFY2(form.match(first).hasMatch(), qPrintable(first));
        QVERIFY(form.match(second).hasMatch());
        QVERIFY(first != second);
        QVERIFY(!QFile::exists(f.Path(first)));
    }
};

QTEST_GUILESS_MAIN(TestContainerFormat)
#include "TestContainerFormat.moc"
