// Changing containers without touching their content (stored name, hint), comparing file tails, and
// wiping plain files.
#include "CryptoFixture.h"

#include "crypto/WipeBatch.h"
#include "util/ErrorText.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace korimbo;
using namespace korimbo::test;

namespace {

const QString kOtherKey = QStringLiteral("/other");
const QByteArray kMissing("<missing>");

qsizetype LeadingZeros(const QByteArray& bytes) {
    qsizetype n = 0;
    while (n < bytes.size() && bytes.at(n) == '\0')
        ++n;
    return n;
}

bool IsDelfName(const QString& name) {
    static const QRegularExpression form(QStringLiteral("^[0-9A-F]{16}-[0-9A-F]{16}\\.delf$"));
    return form.match(name).hasMatch();
}

// Whether this file system hands out write leases at all; the held-open probe of the local file layer
// depends on them.
bool LeasesAvailable(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    if (ok)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    ::close(fd);
    QFile::remove(path);
    return ok;
}

} // namespace

class TestMaintenance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void RenameStoredName_data() {
        QTest::addColumn<QString>("oldName");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<int>("growth");
        QTest::newRow("same length") << QStringLiteral("abc.txt") << QStringLiteral("xyz.txt") << 0;
        QTest::newRow("7 to 8 units") << QStringLiteral("abc.txt") << QStringLiteral("abcd.txt") << 16;
        QTest::newRow("8 to 7 units") << QStringLiteral("abcd.txt") << QStringLiteral("abc.txt") << -16;
        QTest::newRow("7 to 200 units") << QStringLiteral("abc.txt") << QString(200, u'n') << 400;
        QTest::newRow("Japanese name") << QStringLiteral("abc.txt") << QStringLiteral("名前変.txt") << 0;
    }
    void RenameStoredName() {
        QFETCH(QString, oldName);
        QFETCH(QString, newName);
        QFETCH(int, growth);
        EngineFixture f;
        const QByteArray content = TextBytes(300000);
        const QString source = f.MakeContainer(oldName, content);
        QVERIFY(!source.isEmpty());
        const QByteArray sourceBytes = ReadAll(source);
        ContainerInfo before;
        static_cast<void>(f.engine.ReadContainerInfo(source, before, kFolderKey, true));
        const QString target = f.Path(QStringLiteral("renamed.zorf"));
        QCOMPARE(f.engine.RenameStoredName(source, target, newName, kFolderKey, true), 0);
        QVERIFY(f.ui.Messages().isEmpty());
        QVERIFY(ReadAll(source) == sourceBytes);

        const QByteArray targetBytes = ReadAll(target);
        QCOMPARE(targetBytes.size() - sourceBytes.size(), growth);
        const int oldLength = before.nameBlockLength;
        QVERIFY(targetBytes.mid(384 + oldLength + growth) == sourceBytes.mid(384 + oldLength));
        QCOMPARE(f.engine.CompareFileTails(target, source, false), 0);

        // Only the name block length changes in the header.
        const ContainerHeader oldHeader = f.PlainHeader(source);
        const ContainerHeader newHeader = f.PlainHeader(target);
        QCOMPARE(newHeader.NameBlockLength(), oldLength + growth);
        for (int i = 0; i < ContainerHeader::kSize; ++i)
            if (i != 152 && i != 153)
                QVERIFY2(oldHeader.Data()[i] == newHeader.Data()[i], qPrintable(QString::number(i)));

        ContainerInfo after;
        QCOMPARE(f.engine.ReadContainerInfo(target, after, kFolderKey, true), 0);
        QCOMPARE(after.name, newName);
        QCOMPARE(after.encryptedAtText, before.encryptedAtText);
        QCOMPARE(after.modifiedText, before.modifiedText);
        QCOMPARE(after.plainSize, before.plainSize);
        QCOMPARE(after.hint, before.hint);
        const QString restored = f.Path(QStringLiteral("restored.txt"));
        QCOMPARE(f.engine.DecryptFile(target, restored, kFolderKey), 0);
        QVERIFY(ReadAll(restored) == content);
        QVERIFY(f.PartFiles().isEmpty());
    }

    void RenameStoredNameFailure_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("result");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("write fails") << QStringLiteral("write") << -8 << QList<int>{394};
        QTest::newRow("source missing") << QStringLiteral("missing") << -1 << QList<int>{391};
        QTest::newRow("empty source") << QStringLiteral("empty") << -7 << QList<int>{399, 393};
        QTest::newRow("no free space") << QStringLiteral("space") << -1 << QList<int>{311, 390};
    }
    void RenameStoredNameFailure() {
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(QList<int>, messages);
        EngineFixture f;
        QString source = f.MakeContainer(QStringLiteral("abc.txt"), TextBytes(300000));
        QVERIFY(!source.isEmpty());
        const QString target = f.Path(QStringLiteral("target.zorf"));
        const QByteArray old("the target as it was");
        QVERIFY(WriteAll(target, old));
        if (kind == QStringLiteral("write"))
            f.fs.writeFault = {QStringLiteral(".part"), ENOSPC, 500};
        else if (kind == QStringLiteral("missing"))
            source = f.Path(QStringLiteral("missing.zorf"));
        else if (kind == QStringLiteral("empty"))
            source = f.Write(QStringLiteral("empty.zorf"), QByteArray());
        else
            f.fs.freeBytes = 0;
        const QByteArray sourceBytes = ReadAll(source);
        QCOMPARE(f.engine.RenameStoredName(source, target, QStringLiteral("new.txt"), kFolderKey, true), result);
        QCOMPARE(f.ui.Numbers(), messages);
        QCOMPARE(ReadAll(target), old);
        QVERIFY(ReadAll(source) == sourceBytes);
        QVERIFY(f.PartFiles().isEmpty());
    }

    void CompareFileTails_data() {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<bool>("sizes");
        QTest::addColumn<int>("message"); // 0: equal
        const QByteArray text = TextBytes(1000);
        const QByteArray tail = text.right(16);
        QTest::newRow("equal") << text << text << true << 0;
        QTest::newRow("sizes differ") << text << text.right(500) << true << 448;
        QTest::newRow("sizes differ, not compared") << text << QByteArray("other start") + tail << false << 0;
        QTest::newRow("tails differ") << text << text.left(999) + "!" << true << 449;
        QTest::newRow("tails differ, sizes not compared") << text << QByteArray("x") + text.left(999) << false << 449;
        QTest::newRow("short files equal") << QByteArray("abc") << QByteArray("abc") << true << 0;
        QTest::newRow("short files differ") << QByteArray("abc") << QByteArray("abd") << true << 449;
        QTest::newRow("empty files") << QByteArray("") << QByteArray("") << true << 0;
        QTest::newRow("first missing") << kMissing << text << true << 442;
        QTest::newRow("second missing") << text << kMissing << true << 445;
    }
    void CompareFileTails() {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(bool, sizes);
        QFETCH(int, message);
        EngineFixture f;
        const QString a = first == kMissing ? f.Path(QStringLiteral("none1")) : f.Write(QStringLiteral("a"), first);
        const QString b = second == kMissing ? f.Path(QStringLiteral("none2")) : f.Write(QStringLiteral("b"), second);
        QCOMPARE(f.engine.CompareFileTails(a, b, sizes), message == 0 ? 0 : -1);
        QCOMPARE(f.ui.Numbers(), message == 0 ? QList<int>() : QList<int>{message});
        if (message != 0)
            QCOMPARE(f.ui.Messages().first().icon, Icon::Error);
    }

    void UpdateHintChangesOnlyTheHint_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("stored");
        const QString japanese = QStringLiteral("犬の名前と誕生日");
        QTest::newRow("Japanese") << japanese << japanese;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("longer than 48 units") << QString(60, u'h') << QString(48, u'h');
    }
    void UpdateHintChangesOnlyTheHint() {
        QFETCH(QString, hint);
        QFETCH(QString, stored);
        EngineFixture f;
        const QByteArray content = TextBytes(20000);
        const QString container = f.MakeContainer(QStringLiteral("doc.txt"), content);
        QVERIFY(!container.isEmpty());
        const QByteArray before = ReadAll(container);
        const ContainerHeader oldHeader = f.PlainHeader(container);
        QCOMPARE(f.engine.UpdateHint(container, hint), 0);
        QVERIFY(f.ui.Messages().isEmpty());
        const QByteArray after = ReadAll(container);
        QCOMPARE(after.size(), before.size());
        QVERIFY(after.mid(384) == before.mid(384));
        const ContainerHeader newHeader = f.PlainHeader(container);
        for (int i = 0; i < ContainerHeader::kSize; ++i)
            if (i < 32 || i >= 128)
                QVERIFY2(oldHeader.Data()[i] == newHeader.Data()[i], qPrintable(QString::number(i)));

        // Anyone with the program reads the hint; the key is not needed.
        QCOMPARE(f.RegisterFolderKey(kOtherKey, QStringLiteral("wrong-pass"), QString()), 0);
        ContainerInfo info;
        const std::optional<ContainerCheck> check = f.engine.CheckContainer(container, info, kOtherKey, false);
        QVERIFY(check.has_value());
        QCOMPARE(int(check->status), int(kWrongPassword));
        const QString& text = check->text;
        QCOMPARE(info.hint, stored.leftJustified(48, u' '));
        QVERIFY(text.endsWith(QStringLiteral("A422") + stored + QStringLiteral(" 」です。　")));
        const QString restored = f.Path(QStringLiteral("restored.txt"));
        QCOMPARE(f.engine.DecryptFile(container, restored, kFolderKey), 0);
        QVERIFY(ReadAll(restored) == content);
    }

    // Containers are read-only on disk. Every rewrite by the program clears the attribute only for the
    // rewrite and sets it again, also when the rewrite fails; the file layer refuses writes to files
    // without write bits the way it does for a user other than root.
    void ContainersStayReadOnlyAcrossRewrites() {
        EngineFixture f;
        f.fs.honourWriteBits = true;
        const QByteArray content = TextBytes(20000);
        const QString container = f.MakeContainer(QStringLiteral("doc.txt"), content);
        QVERIFY(!container.isEmpty());
        QVERIFY(IsReadOnly(container));

        QCOMPARE(f.engine.UpdateHint(container, QStringLiteral("new hint")), 0);
        QVERIFY(f.ui.Messages().isEmpty());
        QVERIFY(IsReadOnly(container));
        f.fs.writeFault = {container, EIO, 0};
        QCOMPARE(f.engine.UpdateHint(container, QStringLiteral("other hint")), -8);
        f.fs.writeFault = {};
        QCOMPARE(f.ui.Numbers(), (QList<int>{420, 415}));
        QVERIFY(IsReadOnly(container));
        f.ui.Clear();

        // A stored-name change in place, then over another container.
        QCOMPARE(f.engine.RenameStoredName(container, container, QStringLiteral("renamed.txt"), kFolderKey, true), 0);
        QVERIFY(IsReadOnly(container));
        const QString other = f.MakeContainer(QStringLiteral("other.txt"), TextBytes(100));
        QVERIFY(IsReadOnly(other));
        QCOMPARE(f.engine.RenameStoredName(container, other, QStringLiteral("again.txt"), kFolderKey, true), 0);
        QVERIFY(IsReadOnly(other));
        f.fs.renameFault = {QStringLiteral(".part"), EXDEV, 0};
        QVERIFY(f.engine.RenameStoredName(container, other, QStringLiteral("third.txt"), kFolderKey, true) != 0);
        f.fs.renameFault = {};
        QVERIFY(IsReadOnly(other));
        f.ui.Clear();

        // An encryption over an existing container.
        const QString source = f.Write(QStringLiteral("fresh.txt"), TextBytes(3000));
        QCOMPARE(f.engine.EncryptFile(source, other, kFolderKey), 0);
        QVERIFY(IsReadOnly(other));
        ContainerInfo info;
        QCOMPARE(f.engine.ReadContainerInfo(other, info, kFolderKey, true), 0);
        QCOMPARE(info.name, QStringLiteral("fresh.txt"));
        QVERIFY(f.ui.Messages().isEmpty());
    }

    void UpdateHintWithSameHintDoesNotWrite() {
        EngineFixture f;
        const QString container = f.MakeContainer(QStringLiteral("doc.txt"), TextBytes(2000));
        QVERIFY(!container.isEmpty());
        QCOMPARE(f.fs.SetModificationTime(container, kSourceTime).error, 0);
        const QByteArray before = ReadAll(container);
        QCOMPARE(f.engine.UpdateHint(container, kHint), 0);
        QCOMPARE(ModifiedSecs(container), kSourceTime);
        QVERIFY(ReadAll(container) == before);
        QVERIFY(f.ui.Messages().isEmpty());
        // A different hint does write.
        QCOMPARE(f.engine.UpdateHint(container, QStringLiteral("another")), 0);
        QVERIFY(ModifiedSecs(container) != kSourceTime);
    }

    void UpdateHintRefusesNonContainer_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("message");
        QTest::newRow("foreign file") << QStringLiteral("foreign") << -7 << 418;
        QTest::newRow("newer version") << QStringLiteral("version") << -7 << 418;
        QTest::newRow("shorter than a header") << QStringLiteral("short") << -7 << 417;
        QTest::newRow("missing") << QStringLiteral("missing") << -1 << 413;
    }
    void UpdateHintRefusesNonContainer() {
        QFETCH(QString, kind);
        QFETCH(int, result);
        QFETCH(int, message);
        EngineFixture f;
        QString path;
        if (kind == QStringLiteral("foreign")) {
            path = f.Write(QStringLiteral("foreign.bin"), RandomBytes(1000, 1));
        } else if (kind == QStringLiteral("short")) {
            path = f.Write(QStringLiteral("short.bin"), RandomBytes(100, 1));
        } else if (kind == QStringLiteral("missing")) {
            path = f.Path(QStringLiteral("missing.zorf"));
        } else {
            path = f.MakeContainer(QStringLiteral("doc.txt"), TextBytes(100));
            ContainerHeader header = f.PlainHeader(path);
            header.SetText(ContainerHeader::kVersionOffset, 3, QStringLiteral("002"), u' ');
            QVERIFY(f.WriteHeader(path, header));
        }
        const QByteArray before = ReadAll(path);
        QCOMPARE(f.engine.UpdateHint(path, QStringLiteral("new hint")), result);
        QVERIFY2(f.ui.Has(message), qPrintable(f.ui.Messages().isEmpty() ? QString() : f.ui.Messages().first().text));
        QCOMPARE(f.ui.Messages().first().icon, Icon::Error);
        QVERIFY(ReadAll(path) == before);
        QCOMPARE(QFile::exists(path), kind != QStringLiteral("missing"));
    }

    void WipeFileZeroesInPlace() {
        EngineFixture f;
        const QString path = f.Write(QStringLiteral("plain.txt"), RandomBytes(300000, 2));
        QString errorText;
        QVERIFY(f.engine.WipeFile(path, errorText));
        QVERIFY(errorText.isEmpty());
        QCOMPARE(ReadAll(path), QByteArray(300000, '\0'));
        QVERIFY(f.ui.Pumps() >= 3); // once per piece
        QVERIFY(f.ui.Messages().isEmpty());
    }

    void WipeAndDeleteReadOnlyFile_data() {
        QTest::addColumn<bool>("renameFirst");
        QTest::newRow("rename first") << true;
        QTest::newRow("in place") << false;
    }
    void WipeAndDeleteReadOnlyFile() {
        QFETCH(bool, renameFirst);
        EngineFixture f;
        const QString path = f.Write(QStringLiteral("victim.txt"), RandomBytes(300000, 3));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QList<QStringList> listings;
        qsizetype zeroed = 0;
        f.ui.OnPump([&](int) {
            const QStringList entries = f.Entries();
            listings.append(entries);
            if (entries.size() == 1)
                zeroed = std::max(zeroed, LeadingZeros(ReadAll(f.Path(entries.first()))));
        });
        QString errorText;
        QCOMPARE(f.engine.WipeAndDelete(path, errorText, renameFirst), 0);
        QVERIFY(errorText.isEmpty());
        QVERIFY(f.Entries().isEmpty());
        QVERIFY(listings.size() >= 3);
        for (const QStringList& entries : listings) {
            QCOMPARE(entries.size(), 1);
            if (renameFirst)
                QVERIFY2(IsDelfName(entries.first()), qPrintable(entries.first()));
            else
                QCOMPARE(entries.first(), QStringLiteral("victim.txt"));
        }
        QVERIFY(zeroed >= 256000); // seen overwritten while still on disk
    }

    void WipeAndDeleteLeavesEmptyDelfWhenDeleteFails() {
        EngineFixture f;
        const QString path = f.Write(QStringLiteral("victim.txt"), RandomBytes(5000, 4));
        f.fs.removeFault = {QStringLiteral(".delf"), EACCES, 0};
        QString errorText;
        QCOMPARE(f.engine.WipeAndDelete(path, errorText, true), -1);
        QVERIFY(!errorText.isEmpty());
        const QStringList entries = f.Entries();
        QCOMPARE(entries.size(), 1);
        QVERIFY(IsDelfName(entries.first()));
        QCOMPARE(QFileInfo(f.Path(entries.first())).size(), 0);
        QVERIFY(f.ui.Messages().isEmpty());
    }

    // Files wiped as a batch are all zeroed under wipe names before the one write-back of their volume,
    // and cut and removed only after it: a failed write-back removes none (nothing of them is plaintext,
    // and the next start sweeps the names).
    void WipeBatchRemovesOnlyAfterTheWriteBack_data() {
        QTest::addColumn<int>("syncError");
        QTest::newRow("one write-back") << 0;
        QTest::newRow("the write-back fails") << EIO;
    }
    void WipeBatchRemovesOnlyAfterTheWriteBack() {
        QFETCH(int, syncError);
        EngineFixture f;
        f.fs.markVolumes = true;
        f.fs.volumeSyncFault = {f.dir.path(), syncError, 0};
        CWipeBatch batch(f.engine, f.fs, f.cat, f.dir.path());
        QString errorText;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(batch.Add(f.Write(QStringLiteral("plain%1.txt").arg(i), RandomBytes(200000, 10 + i)), errorText),
                     CCryptEngine::kWiped);
        const QStringList waiting = f.Entries();
        QCOMPARE(waiting.size(), 3);
        for (const QString& name : waiting)
            QVERIFY(IsDelfName(name) && ReadAll(f.Path(name)) == QByteArray(200000, '\0'));
        QCOMPARE(batch.Finish(errorText), syncError == 0 ? CCryptEngine::kWiped : CCryptEngine::kWipeFailed);
        QCOMPARE(f.Entries(), syncError == 0 ? QStringList() : waiting);
        QVERIFY(syncError == 0 || errorText.startsWith(QStringLiteral("A457\n") + ErrnoText(EIO)));
        QVERIFY(f.ui.Messages().isEmpty());
    }

    void WipeFileRefusesFileHeldOpen_data() {
        QTest::addColumn<bool>("injected");
        QTest::newRow("held by another handle") << false;
        QTest::newRow("held, injected") << true;
    }
    void WipeFileRefusesFileHeldOpen() {
        QFETCH(bool, injected);
        EngineFixture f;
        if (!injected && !LeasesAvailable(f.Path(QStringLiteral("probe"))))
            QSKIP("this file system gives no write leases, so a file held open cannot be seen");
        const QByteArray content = RandomBytes(5000, 5);
        const QString path = f.Write(QStringLiteral("open.txt"), content);
        QFile other(path);
        if (injected)
            f.fs.heldOpen = {QStringLiteral("open.txt"), 0, 0};
        else
            QVERIFY(other.open(QIODevice::ReadOnly));
        QString errorText;
        QVERIFY(!f.engine.WipeFile(path, errorText));
        QVERIFY2(errorText.startsWith(QStringLiteral("A454\n") + ErrnoText(EBUSY)), qPrintable(errorText));
        QVERIFY(errorText.endsWith(QStringLiteral("\n\n") + path));
        QVERIFY(ReadAll(path) == content);
        QVERIFY(f.ui.Messages().isEmpty());

        other.close();
        f.fs.heldOpen = {};
        QVERIFY(f.engine.WipeFile(path, errorText));
        QCOMPARE(ReadAll(path), QByteArray(content.size(), '\0'));
    }
};

QTEST_GUILESS_MAIN(TestMaintenance)
#include "TestMaintenance.moc"
