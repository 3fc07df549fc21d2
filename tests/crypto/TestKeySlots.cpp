// Key slots made from passwords, the password rules, and the buffers enciphered with a slot's key.
#include "CryptoFixture.h"

#include "crypto/KeyMaterial.h"

#include <QCryptographicHash>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

using namespace korimbo;
using namespace korimbo::test;

namespace {

constexpr int kTempSlot = 1;
constexpr int kFirstFolderSlot = 5;

// The key and iv a password's bytes must give, worked out independently of the engine.
std::pair<QByteArray, QByteArray> Derive(const QByteArray& password) {
    QByteArray b1 = FillerText();
    b1.replace(0, password.size(), password);
    const QByteArray salt = SaltText().toLatin1();
    const QByteArray k = QCryptographicHash::hash(b1 + salt, QCryptographicHash::Sha256);
    const QByteArray v = QCryptographicHash::hash(k.left(29) + TailText().left(3) + salt, QCryptographicHash::Sha256);
    return {k, v.left(16)};
}

bool IsStartUpState(const KeySlot& slot) {
    const QByteArray filler = Bytes(SlotFiller());
    return slot.name.isEmpty() && Bytes(slot.key) == filler + filler && Bytes(slot.iv) == filler &&
           std::all_of(slot.hint.begin(), slot.hint.end(), [](char16_t c) { return c == 0; });
}

QByteArray SlotCbc(const KeySlot& slot, const QByteArray& plain) {
    CAesCipher cipher;
    cipher.SetEncryptKey(slot.key.data(), 32);
    QByteArray out = plain;
    QByteArray chain = Bytes(slot.iv);
    cipher.EncryptCbc(U8(out), U8(out), static_cast<std::size_t>(out.size()), U8(chain));
    return out;
}

int SlotOf(const CCryptEngine& engine, const QString& name) {
    for (int i = 0; i < CCryptEngine::kSlotCount; ++i)
        if (engine.Slot(i).name == name)
            return i;
    return -1;
}

} // namespace

class TestKeySlots : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QCOMPARE(FillerText().size(), 32);
        QCOMPARE(SaltText().size(), 32);
        QVERIFY(TailText().size() >= 3);
    }

    void DerivationFromPassword_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty: the filler alone") << QString() << QByteArray();
        QTest::newRow("short") << QStringLiteral("abc") << QByteArray("abc");
        QTest::newRow("32 characters: no filler")
            << QStringLiteral("0123456789abcdefghijABCDEFGHIJ!\"") << QByteArray("0123456789abcdefghijABCDEFGHIJ!\"");
        QTest::newRow("half-width forms") << QStringLiteral("x\uFF61\uFF65") << QByteArray("x\xA1\xA5");
    }
    void DerivationFromPassword() {
        QFETCH(QString, password);
        QFETCH(QByteArray, bytes);
        EngineFixture f;
        const auto [key, iv] = Derive(bytes);
        QString name;
        QCOMPARE(f.engine.RegisterTempKey(password, kHint, name), 0);
        QCOMPARE(name, CCryptEngine::kTempKeyName);
        QCOMPARE(Bytes(f.engine.Slot(kTempSlot).key).toHex(), key.toHex());
        QCOMPARE(Bytes(f.engine.Slot(kTempSlot).iv).toHex(), iv.toHex());
        QCOMPARE(QString::fromUtf16(f.engine.Slot(kTempSlot).hint.data()), kHint);

        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/a"), password, QString()), 0);
        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/b"), password, QString()), 0);
        QCOMPARE(Bytes(f.engine.Slot(SlotOf(f.engine, QStringLiteral("/a"))).key), key);
        QCOMPARE(Bytes(f.engine.Slot(SlotOf(f.engine, QStringLiteral("/b"))).iv), iv);
        QVERIFY(f.ui.Messages().isEmpty());
    }

    void BuiltInKeyFromCatalogue() {
        EngineFixture f;
        QCOMPARE(f.engine.BuiltInKeyName(), CCryptEngine::kBuiltInKeyName);
        QCOMPARE(f.engine.Slot(0).name, CCryptEngine::kBuiltInKeyName);
        QCOMPARE(Bytes(f.engine.Slot(0).key), Derive(f.cat.MsgB(1).toLatin1()).first);
        QCOMPARE(SlotOf(f.engine, kFolderKey), kFirstFolderSlot);

        f.engine.ResetKeys();
        QVERIFY(f.engine.BuiltInKeyName().isEmpty());
        for (int i = 0; i < CCryptEngine::kSlotCount; ++i)
            QVERIFY2(IsStartUpState(f.engine.Slot(i)), qPrintable(QString::number(i)));
    }

    void TempKeyReusesItsSlot() {
        EngineFixture f;
        QString name;
        QCOMPARE(f.engine.RegisterTempKey(QStringLiteral("first-one"), QString(), name), 0);
        QCOMPARE(f.engine.RegisterTempKey(QStringLiteral("second-one"), QStringLiteral("h2"), name), 0);
        int count = 0;
        for (int i = 0; i < CCryptEngine::kSlotCount; ++i)
            count += f.engine.Slot(i).name == CCryptEngine::kTempKeyName ? 1 : 0;
        QCOMPARE(count, 1);
        QCOMPARE(Bytes(f.engine.Slot(kTempSlot).key), Derive("second-one").first);
        QCOMPARE(QString::fromUtf16(f.engine.Slot(kTempSlot).hint.data()), QStringLiteral("h2"));

        const QByteArray raw("raw bytes");
        QCOMPARE(f.engine.RegisterTempKeyBytes(U8(raw), static_cast<int>(raw.size()), name), 0);
        QCOMPARE(Bytes(f.engine.Slot(kTempSlot).key), Derive(raw).first);
        QCOMPARE(f.engine.Slot(kTempSlot).hint[0], u'\0');
    }

    void HundredFolderKeysAtMost() {
        EngineFixture f;
        for (int i = 1; i < 100; ++i) // the fixture's key is the first
            QCOMPARE(f.RegisterFolderKey(QStringLiteral("/f%1").arg(i), QStringLiteral("pw%1").arg(i), QString()), 0);
        for (int i = 2; i < kFirstFolderSlot; ++i)
            QVERIFY(f.engine.Slot(i).name.isEmpty());
        QCOMPARE(f.engine.Slot(CCryptEngine::kSlotCount - 1).name, QStringLiteral("/f99"));
        QVERIFY(f.ui.Messages().isEmpty());

        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/one-too-many"), kPassword, QString()), -1);
        QCOMPARE(f.ui.Numbers(), QList<int>{412});
        QCOMPARE(f.ui.Messages().first().icon, Icon::Error);
        QVERIFY(!f.engine.HasKey(QStringLiteral("/one-too-many")));

        // The reserved slots still work.
        f.ui.Clear();
        QByteArray buffer = RandomBytes(64, 1);
        QCOMPARE(f.engine.EncipherWithBuiltInKey(U8(buffer), buffer.size()), 0);
        QString temp;
        QCOMPARE(f.engine.RegisterTempKey(QStringLiteral("temporary"), QString(), temp), 0);
        QCOMPARE(f.engine.EncipherBuffer(U8(buffer), buffer.size(), temp), 0);
        QVERIFY(f.ui.Messages().isEmpty());

        // A released slot is taken again.
        f.engine.ReleaseKey(QStringLiteral("/f50"));
        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/late"), kPassword, QString()), 0);
        QCOMPARE(SlotOf(f.engine, QStringLiteral("/late")), kFirstFolderSlot + 50);
    }

    void ReleasedKeyIsGone() {
        EngineFixture f;
        const int slot = SlotOf(f.engine, kFolderKey);
        QVERIFY(f.engine.HasKey(kFolderKey));
        f.engine.ReleaseKey(kFolderKey);
        QVERIFY(!f.engine.HasKey(kFolderKey));
        QVERIFY(IsStartUpState(f.engine.Slot(slot)));
        std::uint8_t iv[16];
        QCOMPARE(f.engine.SelectKey(KeyDirection::Encrypt, kFolderKey, iv), -1);
        QCOMPARE(f.ui.Numbers(), QList<int>{337});
        f.engine.ReleaseKey(kFolderKey); // absent: nothing happens
        QVERIFY(f.engine.HasKey(CCryptEngine::kBuiltInKeyName));
    }

    void PasswordOfMoreThan32BytesRefused_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("result");
        QTest::newRow("32 bytes") << QString(32, u'x') << 0;
        QTest::newRow("33 bytes") << QString(33, u'x') << -1;
        QTest::newRow("33 half-width forms") << QString(33, QChar(0xFF61)) << -1;
        QTest::newRow("17 kanji: 34 bytes") << QString(17, QChar(0x6F22)) << -1;
    }
    void PasswordOfMoreThan32BytesRefused() {
        QFETCH(QString, password);
        QFETCH(int, result);
        EngineFixture f;
        const QByteArray before = Bytes(f.engine.Slot(kTempSlot).key);
        QString name;
        QCOMPARE(f.engine.RegisterTempKey(password, QString(), name), result);
        QCOMPARE(f.RegisterFolderKey(QStringLiteral("/other"), password, QString()), result);
        if (result == 0) {
            QVERIFY(f.ui.Messages().isEmpty());
            return;
        }
        QCOMPARE(f.ui.Numbers(), (QList<int>{409, 409}));
        QCOMPARE(f.ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(Bytes(f.engine.Slot(kTempSlot).key), before);
        QVERIFY(!f.engine.HasKey(QStringLiteral("/other")));
    }

    void PasswordToBytes_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        QTest::newRow("ascii") << QStringLiteral("a\"\\~") << QByteArray("a\"\\~") << 4;
        QTest::newRow("half-width forms one byte each")
            << QStringLiteral("\uFF61\uFF62\uFF63\uFF64\uFF65") << QByteArray("\xA1\xA2\xA3\xA4\xA5") << 5;
        QTest::newRow("40 characters: 32 kept, 40 counted") << QString(40, u'k') << QByteArray(32, 'k') << 40;
        QTest::newRow("34 half-width forms") << QString(34, QChar(0xFF65)) << QByteArray(32, '\xA5') << 34;
        QTest::newRow("kanji two bytes each") << QStringLiteral("\u6F22\u5B57") << QByteArray("\x8A\xBF\x8E\x9A") << 4;
    }
    void PasswordToBytes() {
        QFETCH(QString, password);
        QFETCH(QByteArray, bytes);
        QFETCH(int, count);
        EngineFixture f;
        std::array<std::uint8_t, 34> out;
        out.fill(0xEE);
        QCOMPARE(f.engine.PasswordToBytes(password, out), count);
        QByteArray expected = bytes;
        expected.append(34 - bytes.size(), '\0');
        QCOMPARE(Bytes(out).toHex(), expected.toHex());
    }

    void CheckPasswordChars_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("letters and digits") << QStringLiteral("azAZ0189") << true;
        QTest::newRow("all punctuation") << QStringLiteral("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~") << true;
        QTest::newRow("double quote") << QStringLiteral("\"") << true;
        QTest::newRow("backslash") << QStringLiteral("\\") << true;
        QTest::newRow("U+FF61 to U+FF65") << QStringLiteral("\uFF61\uFF62\uFF63\uFF64\uFF65") << true;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("space") << QStringLiteral("pass word") << false;
        QTest::newRow("U+FF66 half-width wo") << QStringLiteral("\uFF66") << false;
        QTest::newRow("U+FF60") << QStringLiteral("\uFF60") << false;
        QTest::newRow("full-width A") << QStringLiteral("\uFF21") << false;
        QTest::newRow("ideographic space") << QStringLiteral("\u3000") << false;
        QTest::newRow("hiragana") << QStringLiteral("\u3042") << false;
        QTest::newRow("kanji") << QStringLiteral("abc\u6F22") << false;
        QTest::newRow("tab") << QStringLiteral("a\tb") << false;
        QTest::newRow("DEL") << (QStringLiteral("a") + QChar(0x7F)) << false;
        QTest::newRow("latin-1") << QStringLiteral("\u00E9") << false;
    }
    void CheckPasswordChars() {
        QFETCH(QString, password);
        QFETCH(bool, allowed);
        QCOMPARE(CCryptEngine::HasAllowedPasswordChars(password), allowed);
    }

    void PasswordStrength_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("score");
        QTest::newRow("seven characters") << QStringLiteral("aB3$cD4") << 0;
        QTest::newRow("eight copies of one letter") << QStringLiteral("aaaaaaaa") << 2;
        QTest::newRow("seven copies and another: 87%") << QStringLiteral("aaaaaaab") << 10;
        QTest::newRow("seven of ten: 70%") << QStringLiteral("aaaaaaaB1!") << 10;
        QTest::newRow("six of ten: 60%") << QStringLiteral("aaaaaaB1c!") << 55;
        QTest::newRow("eight different lower-case") << QStringLiteral("abcdefgh") << 10;
        QTest::newRow("twelve, two classes") << QStringLiteral("abcdefghij12") << 25;
        QTest::newRow("thirteen, four classes") << QStringLiteral("aB3$cD4%eF5&g") << 65;
        QTest::newRow("eighteen, digits only") << QStringLiteral("123456789012345678") << 20;
        QTest::newRow("nineteen, lower-case") << QStringLiteral("abcdefghijklmnopqrs") << 30;
        QTest::newRow("twenty-four, upper-case") << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWX") << 30;
        QTest::newRow("twenty-five, lower-case") << QStringLiteral("abcdefghijklmnopqrstuvwxy") << 40;
        QTest::newRow("quote and backslash count as punctuation") << QStringLiteral("abcdefg\"\\") << 25;
        QTest::newRow("the highest score") << QStringLiteral("Abcdefghijklmnopqrstuvwxy1!") << 85;
    }
    void PasswordStrength() {
        QFETCH(QString, password);
        QFETCH(int, score);
        QCOMPARE(CCryptEngine::PasswordStrength(password), score);
    }

    // ---- buffers enciphered with a slot ----

    void BufferRoundTrip_data() {
        QTest::addColumn<QString>("key");
        QTest::newRow("built-in") << CCryptEngine::kBuiltInKeyName;
        QTest::newRow("temporary") << CCryptEngine::kTempKeyName;
        QTest::newRow("folder") << kFolderKey;
    }
    void BufferRoundTrip() {
        QFETCH(QString, key);
        EngineFixture f;
        QString temp;
        QCOMPARE(f.engine.RegisterTempKey(QStringLiteral("temp-pass"), QString(), temp), 0);
        const QByteArray plain = RandomBytes(32, 5);
        QByteArray buffer = plain;
        QCOMPARE(f.engine.EncipherBuffer(U8(buffer), buffer.size(), key), 0);
        const KeySlot& slot = f.engine.Slot(SlotOf(f.engine, key));
        QCOMPARE(buffer.left(16).toHex(), SlotCbc(slot, plain.left(16)).toHex());
        QCOMPARE(buffer.toHex(), SlotCbc(slot, plain).toHex()); // one chained run

        QByteArray withChain = buffer;
        QCOMPARE(f.engine.DecipherBuffer(U8(buffer), buffer.size(), key), 0);
        QCOMPARE(buffer, plain);
        QCOMPARE(f.engine.DecipherBuffer(U8(withChain), withChain.size(), key, slot.iv.data()), 0);
        QCOMPARE(withChain, plain);
        QVERIFY(f.ui.Messages().isEmpty());
        QVERIFY(!f.engine.IsBusy());
    }

    void OtherChainChangesOnlyFirstBlock() {
        EngineFixture f;
        const QByteArray plain = RandomBytes(48, 6);
        QByteArray buffer = plain;
        QCOMPARE(f.engine.EncipherBuffer(U8(buffer), buffer.size(), kFolderKey), 0);
        const QByteArray chain(16, '\x01');
        QCOMPARE(f.engine.DecipherBuffer(U8(buffer), buffer.size(), kFolderKey, U8(chain)), 0);
        QVERIFY(buffer.left(16) != plain.left(16));
        QCOMPARE(buffer.mid(16), plain.mid(16));
    }

    void BufferRefused_data() {
        QTest::addColumn<bool>("encipher");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("message");
        QTest::newRow("encipher 100 bytes") << true << 100 << kFolderKey << 404;
        QTest::newRow("decipher 100 bytes") << false << 100 << kFolderKey << 407;
        QTest::newRow("encipher unknown key") << true << 32 << QStringLiteral("/nobody") << 337;
        QTest::newRow("decipher unknown key") << false << 32 << QStringLiteral("/nobody") << 337;
    }
    void BufferRefused() {
        QFETCH(bool, encipher);
        QFETCH(int, length);
        QFETCH(QString, key);
        QFETCH(int, message);
        EngineFixture f;
        const QByteArray plain = RandomBytes(length, 8);
        QByteArray buffer = plain;
        const int rc = encipher ? f.engine.EncipherBuffer(U8(buffer), length, key)
                                : f.engine.DecipherBuffer(U8(buffer), length, key);
        QCOMPARE(rc, -1);
        QCOMPARE(buffer, plain);
        QCOMPARE(f.ui.Numbers(), QList<int>{message});
        QCOMPARE(f.ui.Messages().first().icon, Icon::Error);
        QVERIFY(!f.engine.IsBusy());
    }

    void EmptyBufferAccepted() {
        EngineFixture f;
        std::uint8_t byte = 0x42;
        QCOMPARE(f.engine.EncipherBuffer(&byte, 0, kFolderKey), 0);
        QCOMPARE(f.engine.DecipherBuffer(&byte, 0, kFolderKey), 0);
        QCOMPARE(byte, std::uint8_t{0x42});
        QVERIFY(f.ui.Messages().isEmpty());
    }

    void BusyFlagHeldGivesUpAfterHundredTries_data() {
        QTest::addColumn<bool>("encipher");
        QTest::addColumn<int>("message");
        QTest::newRow("encipher") << true << 403;
        QTest::newRow("decipher") << false << 406;
    }
    void BusyFlagHeldGivesUpAfterHundredTries() {
        QFETCH(bool, encipher);
        QFETCH(int, message);
        EngineFixture f;
        QCOMPARE(f.engine.TakeBusy(351), 0);
        const QByteArray plain = RandomBytes(32, 9);
        QByteArray buffer = plain;
        const int rc = encipher ? f.engine.EncipherBuffer(U8(buffer), 32, kFolderKey)
                                : f.engine.DecipherBuffer(U8(buffer), 32, kFolderKey);
        QCOMPARE(rc, -1);
        QCOMPARE(buffer, plain);
        QCOMPARE(f.ui.Numbers(), QList<int>{message});
        QCOMPARE(f.ui.Messages().first().icon, Icon::Warning);
        QCOMPARE(f.ui.SleptMs(), qint64{99 * 20}); // 99 waits of 2 × 10 ms, the 100th try gives up
        QVERIFY(f.engine.IsBusy());                // someone else's flag is not released
        f.engine.ReleaseBusy();
        QCOMPARE(encipher ? f.engine.EncipherBuffer(U8(buffer), 32, kFolderKey)
                          : f.engine.DecipherBuffer(U8(buffer), 32, kFolderKey),
                 0);
    }

    void EncipherWhileEncryptFileRuns() {
        EngineFixture f;
        const QString source = f.Write(QStringLiteral("big.bin"), RandomBytes(300000, 10));
        QByteArray buffer = RandomBytes(32, 11);
        const QByteArray before = buffer;
        int inner = 1;
        bool fired = false;
        f.ui.OnPump([&](int) {
            if (fired)
                return;
            fired = true;
            inner = f.engine.EncipherBuffer(U8(buffer), buffer.size(), kFolderKey);
        });
        QCOMPARE(f.engine.EncryptFile(source, f.Path(QStringLiteral("big.zorf")), kFolderKey), 0);
        QCOMPARE(inner, -1);
        QCOMPARE(buffer, before);
        QCOMPARE(f.ui.Numbers(), QList<int>{403});
        QVERIFY(!f.engine.IsBusy());
    }
};

QTEST_GUILESS_MAIN(TestKeySlots)
#include "TestKeySlots.moc"
