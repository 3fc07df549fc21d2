// Failures of writing and reading containers: wrong keys, damaged files, faults of the disk, a stop
// request and re-entry. None may leave a partial file behind or touch a file that was there before.
#include "CryptoFixture.h"

#include "util/ErrorText.h"

#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <cstdio>

using namespace korimbo;
using namespace korimbo::test;

namespace {

bool FlipBit(const QString& path, qint64 offset) {
    QByteArray bytes = ReadAll(path);
    if (offset < 0)
        offset += bytes.size();
    if (offset < 0 || offset >= bytes.size())
        return false;
    bytes[offset] = static_cast<char>(bytes.at(offset) ^ 0x10);
    return WriteAll(path, bytes);
}

enum class Fault { WriteAfterHeader, WriteAtStart, NoSpace, NoSpaceInWorkArea, RenameRefused };

} // namespace

class TestContainerDamage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void WrongPasswordWritesNothing() {
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("doc.txt"), TextBytes(5000));
        QVERIFY(!container.isEmpty());
        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/other"), QStringLiteral("wrong-pass"), QString()), 0);
        const QString destination = f.Path(QStringLiteral("out.txt"));
        QCOMPARE(f.engine.DecryptFile(container, destination, QStringLiteral("/other")), -1);
        QCOMPARE(f.ui.Numbers(), (QList<int>{375, 336}));
        QCOMPARE(f.ui.Messages().at(0).icon, Icon::Warning);
        QCOMPARE(f.ui.Messages().at(1).icon, Icon::Error);
        QCOMPARE(f.ui.Messages().at(1).text, QStringLiteral("A336") + container);
        QVERIFY(!QFile::exists(destination));
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }

    void TooShortToBeAContainer_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("message");
        QTest::newRow("zero length") << 0 << 371;
        QTest::newRow("100 bytes") << 100 << 373;
        QTest::newRow("383 bytes") << 383 << 373;
    }
    void TooShortToBeAContainer() {
        QFETCH(int, size);
        QFETCH(int, message);
        EngineFixture f;
        const QString container = f.Write(QStringLiteral("short.zorf"), RandomBytes(size, 1));
        const QString destination = f.Path(QStringLiteral("out.txt"));
        QCOMPARE(f.engine.DecryptFile(container, destination, kFolderKey), -7);
        QCOMPARE(f.ui.Numbers(), (QList<int>{message, 341, 336}));
        QVERIFY(!QFile::exists(destination));
        QVERIFY(f.PartFiles().isEmpty());
    }

    void DamagedContainerFails_data() {
        QTest::addColumn<qint64>("flipAt"); // negative: from the end; 0: no flip
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<QList<int>>("anyOf");
        const QList<int> body{379, 381, 377};
        QTest::newRow("body cut short by 16 bytes") << qint64{0} << true << body;
        QTest::newRow("bit in first body byte") << qint64{384 + 16} << false << body;
        QTest::newRow("bit in a middle piece") << qint64{384 + 16 + 200000} << false << body;
        QTest::newRow("bit in last byte") << qint64{-1} << false << body;
        QTest::newRow("bit in tail sample") << qint64{220} << false << QList<int>{441};
        QTest::newRow("bit in check text") << qint64{300} << false << QList<int>{375};
    }
    void DamagedContainerFails() {
        QFETCH(qint64, flipAt);
        QFETCH(bool, cutShort);
        QFETCH(QList<int>, anyOf);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("big.bin"), RandomBytes(400000, 2));
        QVERIFY(!container.isEmpty());
        AllowWriting(container);
        if (cutShort)
            QVERIFY(QFile::resize(container, QFileInfo(container).size() - 16));
        else
            QVERIFY(FlipBit(container, flipAt));
        const QString destination = f.Path(QStringLiteral("out.bin"));
        QVERIFY(f.engine.DecryptFile(container, destination, kFolderKey) != 0);
        QVERIFY(!f.ui.Numbers().isEmpty());
        QCOMPARE(f.ui.Numbers().last(), 336);
        bool named = false;
        for (const int number : anyOf)
            named = named || f.ui.Has(number);
        QVERIFY2(named, qPrintable(f.ui.Messages().first().text));
        QVERIFY(!QFile::exists(destination));
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(f.engine.VerifyContainer(container, kFolderKey) != 0);
        QVERIFY(!f.engine.IsBusy());
    }

    // A file whose name on disk is not UTF-8 (here Latin-1) is refused for what it is, not as missing.
    void NameThatIsNotTextIsRefused() {
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("plain.txt"), TextBytes(500));
        QVERIFY(!container.isEmpty());
        const QByteArray folder = QFile::encodeName(f.dir.path());
        std::FILE* raw = std::fopen((folder + "/caf\xe9.txt").constData(), "wb");
        QVERIFY(raw != nullptr);
        QCOMPARE(std::fputs("data", raw) >= 0, true);
        std::fclose(raw);
        QVERIFY(::rename(QFile::encodeName(container).constData(), (folder + "/caf\xe9.zorf").constData()) == 0);
        // The paths as a drop or a paste hands them over: the bytes that are not text became U+FFFD.
        const QString source = QFile::decodeName(folder + "/caf\xe9.txt");
        const QString renamed = QFile::decodeName(folder + "/caf\xe9.zorf");

        QCOMPARE(f.engine.EncryptFile(source, f.Path(QStringLiteral("new.zorf")), kFolderKey), -1);
        QCOMPARE(f.ui.Numbers(), (QList<int>{654, 335}));
        QCOMPARE(f.ui.Messages().first().text, QStringLiteral("A654\n\n") + source);
        f.ui.Clear();
        QCOMPARE(f.engine.DecryptFile(renamed, f.Path(QStringLiteral("out.txt")), kFolderKey), -1);
        QCOMPARE(f.ui.Numbers(), (QList<int>{654, 336}));
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!QFile::exists(f.Path(QStringLiteral("new.zorf"))));
        QVERIFY(!QFile::exists(f.Path(QStringLiteral("out.txt"))));
    }

    void StopDuringCompression_data() {
        QTest::addColumn<bool>("overExisting");
        QTest::newRow("new container") << false;
        QTest::newRow("over an existing container") << true;
    }
    void StopDuringCompression() {
        QFETCH(bool, overExisting);
        EngineFixture f;
        const QString container = f.Path(QStringLiteral("big.zorf"));
        const QByteArray old("an older container");
        if (overExisting)
            QVERIFY(WriteAll(container, old));
        const QString source = f.Write(QStringLiteral("big.bin"), RandomBytes(4 * 1024 * 1024, 3));
        f.ui.StopAfterPumps(2);
        QCOMPARE(f.engine.EncryptFile(source, container, kFolderKey), -9);
        QCOMPARE(f.ui.Numbers(), QList<int>{334});
        QCOMPARE(f.ui.Messages().first().icon, Icon::Information);
        QVERIFY(f.ui.Pumps() < 10); // it stopped early, not at the end
        QCOMPARE(QFile::exists(container), overExisting);
        if (overExisting)
            QCOMPARE(ReadAll(container), old);
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }

    void FailedOverwriteKeepsOldContainer_data() {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("result");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("disk full in the body") << Fault::WriteAfterHeader << -8 << QList<int>{342, 335};
        QTest::newRow("disk full at once") << Fault::WriteAtStart << -8 << QList<int>{342, 335};
        QTest::newRow("free space too small") << Fault::NoSpace << -1 << QList<int>{311, 335};
        QTest::newRow("free space too small, work area") << Fault::NoSpaceInWorkArea << -1 << QList<int>{310, 335};
        QTest::newRow("final rename refused") << Fault::RenameRefused << -8 << QList<int>{342, 335};
    }
    void FailedOverwriteKeepsOldContainer() {
        QFETCH(Fault, fault);
        QFETCH(int, result);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        f.fs.honourWriteBits = true;
        const QByteArray content = RandomBytes(300000, 4);
        const QString container = f.MakeContainer(QStringLiteral("doc.bin"), TextBytes(10000));
        QVERIFY(!container.isEmpty());
        QVERIFY(IsReadOnly(container));
        const QByteArray before = ReadAll(container);
        const QString source = f.Write(QStringLiteral("new.bin"), content);
        const QString part = QStringLiteral(".part");
        switch (fault) {
        case Fault::WriteAfterHeader:
            f.fs.writeFault = {part, ENOSPC, 1000};
            break;
        case Fault::WriteAtStart:
            f.fs.writeFault = {part, ENOSPC, 0};
            break;
        case Fault::NoSpaceInWorkArea:
            f.engine.SetWorkFolder(f.dir.path() + QStringLiteral("/Ce"));
            f.fs.freeBytes = 1000;
            break;
        case Fault::NoSpace:
            f.fs.freeBytes = 1000;
            break;
        case Fault::RenameRefused:
            f.fs.renameFault = {part, EXDEV, 0};
            break;
        }
        QCOMPARE(f.engine.EncryptFile(source, container, kFolderKey), result);
        QCOMPARE(f.ui.Numbers(), messages);
        if (messages.first() == 342)
            QVERIFY(f.ui.Messages().first().text.endsWith(QStringLiteral("\n\n") + container));
        QCOMPARE(f.ui.Messages().last().text, QStringLiteral("A335") + source);
        QVERIFY(ReadAll(container) == before);
        QVERIFY(IsReadOnly(container));
        QVERIFY(ReadAll(source) == content);
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }

    // Free space must cover the input's size and 4096 bytes more, for both directions.
    void FreeSpaceMargin_data() {
        QTest::addColumn<qint64>("spare");
        QTest::addColumn<bool>("enough");
        QTest::newRow("4095 bytes over the size") << qint64{4095} << false;
        QTest::newRow("4096 bytes over the size") << qint64{4096} << true;
    }
    void FreeSpaceMargin() {
        QFETCH(qint64, spare);
        QFETCH(bool, enough);
        EngineFixture f;
        const QByteArray content = TextBytes(50000);
        const QString source = f.Write(QStringLiteral("a.txt"), content);
        const QString container = f.Path(QStringLiteral("a.zorf"));
        f.fs.freeBytes = content.size() + spare;
        QCOMPARE(f.engine.EncryptFile(source, container, kFolderKey), enough ? 0 : -1);
        QCOMPARE(f.ui.Numbers(), enough ? QList<int>() : (QList<int>{311, 335}));
        QCOMPARE(QFile::exists(container), enough);
        if (!enough)
            return;
        const QString restored = f.Path(QStringLiteral("restored.txt"));
        f.fs.freeBytes = QFileInfo(container).size() + spare - 1;
        QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), -1);
        QCOMPARE(f.ui.Numbers(), (QList<int>{311, 336}));
        QVERIFY(!QFile::exists(restored));
        f.ui.Clear();
        f.fs.freeBytes = QFileInfo(container).size() + spare;
        QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), 0);
        QVERIFY(ReadAll(restored) == content);
    }

    void DiskFullDuringDecryptionKeepsOldFile_data() {
        QTest::addColumn<int>("plainBytes");
        QTest::addColumn<bool>("noSpace");
        QTest::addColumn<qint64>("afterBytes");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("write fails at once") << 3000000 << false << qint64(1000) << QList<int>{342, 336};
        // The pieces written before the failure and those queued behind it are in flight together.
        QTest::newRow("write fails many pieces in") << 3000000 << false << qint64(1500000) << QList<int>{342, 336};
        // One piece is written by the decrypting thread itself.
        QTest::newRow("write of the only piece fails") << 100000 << false << qint64(1000) << QList<int>{342, 336};
        QTest::newRow("free space too small") << 3000000 << true << qint64(0) << QList<int>{311, 336};
    }
    void DiskFullDuringDecryptionKeepsOldFile() {
        QFETCH(int, plainBytes);
        QFETCH(bool, noSpace);
        QFETCH(qint64, afterBytes);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("doc.txt"), TextBytes(plainBytes));
        QVERIFY(!container.isEmpty());
        const QString destination = f.Path(QStringLiteral("restored.txt"));
        const QByteArray old("the file as it was");
        QVERIFY(WriteAll(destination, old));
        if (noSpace)
            f.fs.freeBytes = 0;
        else
            f.fs.writeFault = {QStringLiteral(".part"), ENOSPC, afterBytes};
        QVERIFY(f.engine.DecryptFile(container, destination, kFolderKey) != 0);
        QCOMPARE(f.ui.Numbers(), messages);
        if (!noSpace)
            QVERIFY(f.ui.Messages().first().text.contains(ErrnoText(ENOSPC)));
        QCOMPARE(ReadAll(destination), old);
        QVERIFY(f.PartFiles().isEmpty());
    }

    void OpenAndReadFaults_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("openFault");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("result");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("source cannot be opened")
            << QStringLiteral(".src") << true << EACCES << -1 << QList<int>{339, 335};
        QTest::newRow("container cannot be created")
            << QStringLiteral(".part") << true << EROFS << -1 << QList<int>{340, 335};
        QTest::newRow("source read fails") << QStringLiteral(".src") << false << EIO << -7 << QList<int>{341, 335};
    }
    void OpenAndReadFaults() {
        QFETCH(QString, pattern);
        QFETCH(bool, openFault);
        QFETCH(int, error);
        QFETCH(int, result);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        const QString source = f.Write(QStringLiteral("input.src"), TextBytes(200000));
        const QString container = f.Path(QStringLiteral("out.zorf"));
        if (openFault)
            f.fs.openFault = {pattern, error, 0};
        else
            f.fs.readFault = {pattern, error, 16}; // the tail sample passes, the body does not
        QCOMPARE(f.engine.EncryptFile(source, container, kFolderKey), result);
        QCOMPARE(f.ui.Numbers(), messages);
        const QString& first = f.ui.Messages().first().text;
        QVERIFY2(first.contains(ErrnoText(error)), qPrintable(first));
        QVERIFY(first.endsWith(messages.first() == 340 ? container : source));
        QVERIFY(!QFile::exists(container));
        QVERIFY(f.PartFiles().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }

    // A second operation started through the pumped messages waits for the flag and gives up, without
    // disturbing the one that runs, even when both aim at the same file.
    void ReentryWaitsAndGivesUp_data() {
        QTest::addColumn<bool>("decrypt");
        QTest::addColumn<bool>("sameTarget");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("encryption inside an encryption") << false << false << QList<int>{351, 335};
        QTest::newRow("encryption to the same container") << false << true << QList<int>{351, 335};
        QTest::newRow("decryption inside a decryption") << true << false << QList<int>{368, 336};
        QTest::newRow("decryption to the same file") << true << true << QList<int>{368, 336};
    }
    void ReentryWaitsAndGivesUp() {
        QFETCH(bool, decrypt);
        QFETCH(bool, sameTarget);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        const QByteArray content = RandomBytes(300000, 5);
        const QString container = f.MakeContainer(QStringLiteral("one.bin"), content);
        QVERIFY(!container.isEmpty());
        const QString source = f.Path(QStringLiteral("one.bin"));
        const QString target = f.Path(decrypt ? QStringLiteral("out.bin") : QStringLiteral("out.zorf"));
        const QString innerTarget = sameTarget ? target : f.Path(QStringLiteral("inner.out"));
        auto run = [&](const QString& to) {
            return decrypt ? f.engine.DecryptFile(container, to, kFolderKey)
                           : f.engine.EncryptFile(source, to, kFolderKey);
        };
        int inner = 1;
        bool entered = false;
        f.ui.OnPump([&](int) {
            if (entered)
                return;
            entered = true;
            inner = run(innerTarget);
        });
        QCOMPARE(run(target), 0);
        QCOMPARE(inner, -1);
        QCOMPARE(f.ui.Numbers(), messages);
        QCOMPARE(f.ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(f.ui.SleptMs(), qint64{99 * 20});
        QCOMPARE(QFile::exists(innerTarget), sameTarget);
        QVERIFY(f.PartFiles().isEmpty());
        f.ui.OnPump({});
        f.ui.Clear();
        QString restored = target;
        if (!decrypt) {
            restored = f.Path(QStringLiteral("restored.bin"));
            QCOMPARE(f.engine.DecryptFile(target, restored, kFolderKey), 0);
        }
        QVERIFY(ReadAll(restored) == content);
    }

    void UnknownKeyRefused() {
        EngineFixture f;
        const QString source = f.Write(QStringLiteral("a.txt"), TextBytes(100));
        const QString container = f.Path(QStringLiteral("a.zorf"));
        QCOMPARE(f.engine.EncryptFile(source, container, QStringLiteral("/nobody")), -1);
        QCOMPARE(f.ui.Numbers(), (QList<int>{337, 335}));
        QVERIFY(!QFile::exists(container));
        QVERIFY(f.PartFiles().isEmpty());
    }

    void DestinationPathTooLong() {
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("a.txt"), TextBytes(100));
        QVERIFY(!container.isEmpty());
        QCOMPARE(CCryptEngine::MaxPathLength(), 4095);
        const QString destination = f.dir.path() + u'/' + QString(4096 - f.dir.path().size() - 1, u'd');
        QCOMPARE(destination.size(), 4096);
        QCOMPARE(f.engine.DecryptFile(container, destination, kFolderKey), -1);
        QCOMPARE(f.ui.Numbers(), (QList<int>{468, 336}));
        QCOMPARE(f.ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(f.ui.Messages().first().text, QStringLiteral("A4684095A469\n") + destination);
    }
};

QTEST_GUILESS_MAIN(TestContainerDamage)
#include "TestContainerDamage.moc"
