#include "CryptoFixture.h"

#include "crypto/AesCipher.h"

#include <QStandardPaths>
#include <QTest>

using namespace korimbo;
using namespace korimbo::test;

namespace {

// FIPS-197 Appendix C: one plaintext under the keys 00 01 02 ... of each length.
const QByteArray kFipsPlain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
const QByteArray kFipsKey32 = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
const QByteArray kFipsCipher128 = QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a");

// SP 800-38A F.2.5 / F.2.6, CBC-AES256.
const QByteArray kCbcKey = QByteArray::fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
const QByteArray kCbcIv = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray kCbcPlain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                                 "ae2d8a571e03ac9c9eb76fac45af8e51"
                                                 "30c81c46a35ce411e5fbc1191a0a52ef"
                                                 "f69f2445df4f9b17ad2b417be66c3710");
const QByteArray kCbcCipher = QByteArray::fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"
                                                  "9cfc4e967edb808d679f777bc6702c7d"
                                                  "39f23369a9d9bacfa530e26304231461"
                                                  "b2eb05e2c39be9fcda6c19078c6a9d1b");

enum class Way { Encrypt, Decrypt };

int Cbc(CAesCipher& cipher, Way way, QByteArray& data, qsizetype offset, qsizetype length, QByteArray& chain) {
    std::uint8_t* at = U8(data) + offset;
    return way == Way::Encrypt ? cipher.EncryptCbc(at, at, static_cast<std::size_t>(length), U8(chain))
                               : cipher.DecryptCbc(at, at, static_cast<std::size_t>(length), U8(chain));
}

} // namespace

class TestAesCipher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void FipsBlockVectors_data() {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("lengthArgument");
        QTest::addColumn<int>("info");
        QTest::addColumn<QByteArray>("cipher");
        const QByteArray c2 = QByteArray::fromHex("dda97ca4864cdfe06eaf70a0ec0d7191");
        const QByteArray c3 = QByteArray::fromHex("8ea2b7ca516745bfeafc49904b496089");
        QTest::newRow("C.1 AES-128") << kFipsKey32.left(16) << 16 << 160 << kFipsCipher128;
        QTest::newRow("C.1 length in bits") << kFipsKey32.left(16) << 128 << 160 << kFipsCipher128;
        QTest::newRow("C.2 AES-192") << kFipsKey32.left(24) << 24 << 192 << c2;
        QTest::newRow("C.2 length in bits") << kFipsKey32.left(24) << 192 << 192 << c2;
        QTest::newRow("C.3 AES-256") << kFipsKey32 << 32 << 224 << c3;
        QTest::newRow("C.3 length in bits") << kFipsKey32 << 256 << 224 << c3;
        QTest::newRow("C.1 after C.3, its first bytes") << kFipsKey32.left(16) << 16 << 160 << kFipsCipher128;
    }
    // One cipher a direction, keyed again row after row as the engine's are: every key takes effect, also
    // one made of the first bytes of the key before it.
    void FipsBlockVectors() {
        QFETCH(QByteArray, key);
        QFETCH(int, lengthArgument);
        QFETCH(int, info);
        QFETCH(QByteArray, cipher);
        QCOMPARE(m_encryptor.SetEncryptKey(U8(key), lengthArgument), 0);
        QCOMPARE(m_encryptor.Info(), info);
        QByteArray out(16, '\0');
        QCOMPARE(m_encryptor.EncryptBlock(U8(kFipsPlain), U8(out)), 0);
        QCOMPARE(out.toHex(), cipher.toHex());

        QCOMPARE(m_decryptor.SetDecryptKey(U8(key), lengthArgument), 0);
        QCOMPARE(m_decryptor.Info(), info);
        QCOMPARE(m_decryptor.DecryptBlock(U8(out), U8(out)), 0); // in place
        QCOMPARE(out.toHex(), kFipsPlain.toHex());
    }

    // The chain carries over between calls, so pieces give the bytes of one call; all runs are in place.
    void Sp80038aCbcVectors_data() {
        QTest::addColumn<int>("pieces");
        QTest::newRow("one call of 64 bytes") << 1;
        QTest::newRow("two calls of 32 bytes") << 2;
        QTest::newRow("four calls of 16 bytes") << 4;
    }
    void Sp80038aCbcVectors() {
        QFETCH(int, pieces);
        const qsizetype step = kCbcPlain.size() / pieces;
        CAesCipher encryptor;
        QCOMPARE(encryptor.SetEncryptKey(U8(kCbcKey), 32), 0);
        QByteArray data = kCbcPlain;
        QByteArray chain = kCbcIv;
        for (int i = 0; i < pieces; ++i)
            QCOMPARE(Cbc(encryptor, Way::Encrypt, data, i * step, step, chain), 0);
        QCOMPARE(data.toHex(), kCbcCipher.toHex());
        QCOMPARE(chain.toHex(), kCbcCipher.right(16).toHex());

        CAesCipher decryptor;
        QCOMPARE(decryptor.SetDecryptKey(U8(kCbcKey), 256), 0);
        chain = kCbcIv;
        for (int i = 0; i < pieces; ++i)
            QCOMPARE(Cbc(decryptor, Way::Decrypt, data, i * step, step, chain), 0);
        QCOMPARE(data.toHex(), kCbcPlain.toHex());
        // Decrypting in place overwrote the ciphertext, yet the chain holds its last block.
        QCOMPARE(chain.toHex(), kCbcCipher.right(16).toHex());
    }

    void PiecesOfBodySizeChainLikeOneRun() {
        const QByteArray plain = RandomBytes(3 * CCryptEngine::kPieceSize, 7);
        CAesCipher encryptor;
        QCOMPARE(encryptor.SetEncryptKey(U8(kCbcKey), 32), 0);
        QByteArray whole = plain;
        QByteArray chain = kCbcIv;
        QCOMPARE(Cbc(encryptor, Way::Encrypt, whole, 0, whole.size(), chain), 0);
        QByteArray pieces = plain;
        QByteArray pieceChain = kCbcIv;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(Cbc(encryptor, Way::Encrypt, pieces, i * CCryptEngine::kPieceSize, CCryptEngine::kPieceSize,
                         pieceChain),
                     0);
        QVERIFY(pieces == whole);
        QCOMPARE(pieceChain, chain);
        QVERIFY(whole != plain);
    }

    void MisalignedLengthTouchesNothing_data() {
        QTest::addColumn<bool>("encrypt");
        QTest::addColumn<int>("length");
        QTest::newRow("encrypt 17") << true << 17;
        QTest::newRow("decrypt 17") << false << 17;
        QTest::newRow("encrypt 15") << true << 15;
        QTest::newRow("decrypt 33") << false << 33;
    }
    void MisalignedLengthTouchesNothing() {
        QFETCH(bool, encrypt);
        QFETCH(int, length);
        CAesCipher cipher;
        QCOMPARE(encrypt ? cipher.SetEncryptKey(U8(kCbcKey), 32) : cipher.SetDecryptKey(U8(kCbcKey), 32), 0);
        const QByteArray in = RandomBytes(length, 3);
        QByteArray out(48, '\xEE');
        QByteArray chain = kCbcIv;
        const int rc = encrypt ? cipher.EncryptCbc(U8(in), U8(out), static_cast<std::size_t>(length), U8(chain))
                               : cipher.DecryptCbc(U8(in), U8(out), static_cast<std::size_t>(length), U8(chain));
        QCOMPARE(rc, 1);
        QCOMPARE(out, QByteArray(48, '\xEE'));
        QCOMPARE(chain, kCbcIv);
    }

    void ZeroLengthDoesNothing() {
        CAesCipher cipher;
        QCOMPARE(cipher.SetEncryptKey(U8(kCbcKey), 32), 0);
        QByteArray chain = kCbcIv;
        std::uint8_t byte = 0x5A;
        QCOMPARE(cipher.EncryptCbc(&byte, &byte, 0, U8(chain)), 0);
        QCOMPARE(byte, std::uint8_t{0x5A});
        QCOMPARE(chain, kCbcIv);
    }

    void UnkeyedScheduleRefused() {
        CAesCipher cipher;
        QVERIFY(cipher.Info() != 160 && cipher.Info() != 192 && cipher.Info() != 224);
        QByteArray out(16, '\xEE');
        QByteArray chain = kCbcIv;
        QCOMPARE(cipher.EncryptBlock(U8(kFipsPlain), U8(out)), 1);
        QCOMPARE(cipher.DecryptBlock(U8(kFipsPlain), U8(out)), 1);
        QCOMPARE(cipher.EncryptCbc(U8(kFipsPlain), U8(out), 16, U8(chain)), 1);
        QCOMPARE(cipher.DecryptCbc(U8(kFipsPlain), U8(out), 16, U8(chain)), 1);
        QCOMPARE(out, QByteArray(16, '\xEE'));
        QCOMPARE(chain, kCbcIv);
        QCOMPARE(cipher.ResetMode(), 0);
    }

    void BadKeyLengthKeepsSchedule_data() {
        QTest::addColumn<int>("length");
        for (const int length : {0, 8, 20, 31, 33, 64, 255, 512})
            QTest::addRow("%d", length) << length;
    }
    void BadKeyLengthKeepsSchedule() {
        QFETCH(int, length);
        const QByteArray longKey = RandomBytes(64, 11);
        CAesCipher unkeyed;
        QCOMPARE(unkeyed.SetEncryptKey(U8(longKey), length), 1);
        QByteArray out(16, '\0');
        QCOMPARE(unkeyed.EncryptBlock(U8(kFipsPlain), U8(out)), 1);

        CAesCipher encryptor;
        QCOMPARE(encryptor.SetEncryptKey(U8(kFipsKey32), 16), 0);
        QCOMPARE(encryptor.SetEncryptKey(U8(longKey), length), 1);
        QCOMPARE(encryptor.Info(), 160);
        QCOMPARE(encryptor.EncryptBlock(U8(kFipsPlain), U8(out)), 0);
        QCOMPARE(out.toHex(), kFipsCipher128.toHex());

        CAesCipher decryptor;
        QCOMPARE(decryptor.SetDecryptKey(U8(kFipsKey32), 16), 0);
        QCOMPARE(decryptor.SetDecryptKey(U8(longKey), length), 1);
        QCOMPARE(decryptor.DecryptBlock(U8(out), U8(out)), 0);
        QCOMPARE(out.toHex(), kFipsPlain.toHex());
    }

    void ScheduleServesOneDirection() {
        CAesCipher encryptor;
        QCOMPARE(encryptor.SetEncryptKey(U8(kCbcKey), 32), 0);
        QByteArray out(64, '\xEE');
        QByteArray chain = kCbcIv;
        QCOMPARE(encryptor.DecryptBlock(U8(kCbcCipher), U8(out)), 1);
        QCOMPARE(encryptor.DecryptCbc(U8(kCbcCipher), U8(out), 64, U8(chain)), 1);
        QCOMPARE(out, QByteArray(64, '\xEE'));
        QCOMPARE(chain, kCbcIv);

        CAesCipher decryptor;
        QCOMPARE(decryptor.SetDecryptKey(U8(kCbcKey), 32), 0);
        QCOMPARE(decryptor.EncryptBlock(U8(kCbcPlain), U8(out)), 1);
        QCOMPARE(decryptor.EncryptCbc(U8(kCbcPlain), U8(out), 64, U8(chain)), 1);
        QCOMPARE(out, QByteArray(64, '\xEE'));

        // Re-keying for the other direction makes the same object usable that way.
        QCOMPARE(encryptor.SetDecryptKey(U8(kCbcKey), 32), 0);
        QCOMPARE(encryptor.DecryptCbc(U8(kCbcCipher), U8(out), 64, U8(chain)), 0);
        QCOMPARE(out.toHex(), kCbcPlain.toHex());
    }

private:
    CAesCipher m_encryptor; // FipsBlockVectors' rows key them one after the other
    CAesCipher m_decryptor;
};

QTEST_GUILESS_MAIN(TestAesCipher)
#include "TestAesCipher.moc"
