#include "state/MessageCatalogue.h"

#include "crypto/CryptEngine.h"
#include "crypto/KeyMaterial.h"
#include "state/CatalogueText.h"

#include <QFile>

namespace korimbo {

namespace {

const QString kPrefixA = QStringLiteral("ZorMSGa");
const QString kPrefixB = QStringLiteral("ZorMSGb");

// Reads a deciphered blob as NUL-terminated UTF-16LE text.
QString BlobText(const QByteArray& plain) {
    const auto* units = reinterpret_cast<const char16_t*>(plain.constData());
    qsizetype count = 0;
    const qsizetype limit = plain.size() / 2;
    while (count < limit && units[count] != 0)
        ++count;
    return QString::fromUtf16(units, count);
}

} // namespace

OpResult CMessageCatalogue::Fail(const char* text) {
    m_ui.Message(QString::fromLatin1(text), Icon::Error);
    return OpResult::kFailed;
}

QByteArray CMessageCatalogue::ToBlob(const QString& text) {
    QByteArray blob(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    blob.append(QByteArray((16 - blob.size() % 16) % 16, '\0'));
    return blob;
}

int CMessageCatalogue::Decipher(CCryptEngine& engine, const QString& resource, QByteArray& plain) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray blob = file.readAll();
    if (blob.isEmpty() || blob.size() % 16 != 0)
        return -1;
    // Room for a terminating unit behind the text, whatever the blob holds.
    plain = blob + QByteArray(4, '\0');
    return engine.DecipherBuffer(reinterpret_cast<std::uint8_t*>(plain.data()), blob.size(),
                                 CCryptEngine::kTempKeyName);
}

OpResult CMessageCatalogue::MsgAIN(CCryptEngine& engine, const QString& resource) {
    m_keysA.clear();
    m_textsA.clear();
    QString keyName;
    if (engine.RegisterTempKey(CataloguePassword(), QString(), keyName) != 0)
        return Fail("MsgAIN NOT ERROR1");
    QByteArray plain;
    if (Decipher(engine, resource, plain) != 0)
        return Fail("MsgAIN NOT ERROR2");
    ParseCatalogueEntries(BlobText(plain), kPrefixA, m_keysA, m_textsA);
    plain.fill('\0');
    return OpResult::kDone;
}

OpResult CMessageCatalogue::MsgBIN(CCryptEngine& engine, const QString& resource) {
    m_heldB.fill('\0');
    m_heldB.clear();
    m_spansB.clear();
    const QString password = FindCatalogueText(m_keysA, m_textsA, CatalogueKey(kPrefixA, 588));
    QString keyName;
    if (password.isEmpty() || engine.RegisterTempKey(password, QString(), keyName) != 0)
        return Fail("MsgBIN NOT ERROR1");
    QByteArray plain;
    if (Decipher(engine, resource, plain) != 0 || plain.size() - 4 > kHeldLimit)
        return Fail("MsgBIN NOT ERROR2");
    m_heldB = plain.left(plain.size() - 4);
    QString text = BlobText(plain);
    plain.fill('\0');
    m_spansB.clear();
    for (const CatalogueSpan& span : CatalogueSpans(text, kPrefixB))
        m_spansB.insert(span.key, span); // the last entry of a key wins
    text.fill(QChar());
    for (char& byte : m_heldB)
        byte = static_cast<char>(static_cast<unsigned char>(byte) + 1);
    return OpResult::kDone;
}

QString CMessageCatalogue::m_GetMsgA(int number) {
    const QString key = CatalogueKey(kPrefixA, number);
    const QString text = FindCatalogueText(m_keysA, m_textsA, key);
    if (text.isEmpty())
        m_ui.Message(QStringLiteral("m_GetMsgA NOT KEY ERROR: ") + key.right(4), Icon::Error);
    return text;
}

QString CMessageCatalogue::m_GetMsgB(int number) {
    if (m_heldB.isEmpty()) {
        m_ui.Message(QStringLiteral("m_GetMsgB NOT ERROR"), Icon::Error);
        return QString();
    }
    const QString key = CatalogueKey(kPrefixB, number);
    const auto span = m_spansB.constFind(key);
    QString text;
    if (span != m_spansB.cend() && span->start >= 0) {
        // Only this entry's units are taken back from the held bytes.
        text.resize(span->length);
        const auto* held = reinterpret_cast<const unsigned char*>(m_heldB.constData()) + 2 * span->start;
        for (qsizetype i = 0; i < span->length; ++i) {
            const unsigned low = static_cast<unsigned char>(held[2 * i] - 1);
            const unsigned high = static_cast<unsigned char>(held[2 * i + 1] - 1);
            text[i] = QChar(static_cast<char16_t>(low | high << 8));
        }
        text = CatalogueBody(std::move(text));
    }
    if (text.isEmpty())
        m_ui.Message(QStringLiteral("m_GetMsgB NOT KEY ERROR: ") + key.right(4), Icon::Error);
    return text;
}

} // namespace korimbo
