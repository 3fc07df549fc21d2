#include "crypto/CryptEngine.h"
#include "util/MessageNumbers.h"

#include "crypto/KeyMaterial.h"
#include "util/ErrorText.h"
#include "util/MessageText.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <cstring>

namespace korimbo {

namespace {

constexpr int kBuiltInSlot = 0;
constexpr int kTempSlot = 1;
constexpr int kFirstFolderSlot = 5;

// Punctuation a password may hold: every printable ASCII character but space, letters and digits.
bool IsPunctuation(char16_t c) {
    return c > 0x20 && c < 0x7F && !(c >= u'0' && c <= u'9') && !(c >= u'a' && c <= u'z') && !(c >= u'A' && c <= u'Z');
}

void ClearSlot(KeySlot& slot) {
    const auto filler = SlotFiller();
    slot.name.clear();
    std::memcpy(slot.key.data(), filler.data(), 16);
    std::memcpy(slot.key.data() + 16, filler.data(), 16);
    std::memcpy(slot.iv.data(), filler.data(), 16);
    slot.hint.fill(0);
}

// Wipes key material that leaves the table, so it does not linger in freed memory.
void Cleanse(void* data, std::size_t size) {
    OPENSSL_cleanse(data, size);
}

} // namespace

CCryptEngine::CCryptEngine(Interaction& ui, MessageSource& messages, FileSystem& files)
    : m_ui(ui), m_messages(messages), m_files(files) {
    ResetKeys();
}

CCryptEngine::~CCryptEngine() {
    for (KeySlot& slot : m_slots)
        Cleanse(slot.key.data(), slot.key.size());
}

int CCryptEngine::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

EngineResult CCryptEngine::Refuse(int number, const QString& tail, Icon icon) {
    Report(number, tail, icon);
    return kFailed;
}

QString CCryptEngine::ErrorDetail(int error) const {
    return ErrnoText(error);
}

// ---- key slots ----

void CCryptEngine::ResetKeys() {
    for (KeySlot& slot : m_slots)
        ClearSlot(slot);
    m_builtInName.clear();
}

int CCryptEngine::PasswordToBytes(const QString& password, std::array<std::uint8_t, 34>& bytes) const {
    QByteArray converted = ToCodePage932(password);
    bytes.fill(0);
    std::memcpy(bytes.data(), converted.constData(), std::min<std::size_t>(32, converted.size()));
    const int count = static_cast<int>(converted.size());
    Cleanse(converted.data(), converted.size());
    return count;
}

int CCryptEngine::RegisterKey(const std::uint8_t* password, int count, const QString& name, const QString& hint) {
    if (count > 32 || count < 0) {
        Report(409, QString(), Icon::Warning);
        return -1;
    }
    int index = -1;
    if (name == kBuiltInKeyName) {
        index = kBuiltInSlot;
    } else if (name == kTempKeyName) {
        index = kTempSlot;
    } else {
        for (int i = kFirstFolderSlot; i < kSlotCount && index < 0; ++i)
            if (m_slots[i].name.isEmpty())
                index = i;
        if (index < 0)
            return Report(msg::kNoFreeKeySlot, QString());
    }

    const QByteArray salt = ToCodePage932(SaltText());
    std::uint8_t block[64];
    const QByteArray filler = FillerText();
    std::memcpy(block, filler.constData(), 32);
    std::memcpy(block, password, static_cast<std::size_t>(count));
    std::memcpy(block + 32, salt.constData(), 32);
    std::uint8_t k[32];
    SHA256(block, sizeof block, k);
    std::memcpy(block, k, 29);
    std::memcpy(block + 29, TailText().constData(), 3);
    std::uint8_t v[32];
    SHA256(block, sizeof block, v);

    KeySlot& slot = m_slots[index];
    slot.name = name;
    std::memcpy(slot.key.data(), k, 32);
    std::memcpy(slot.iv.data(), v, 16);
    slot.hint.fill(0);
    for (int i = 0; i < 48 && i < hint.size(); ++i)
        slot.hint[i] = hint.at(i).unicode();
    Cleanse(block, sizeof block);
    Cleanse(k, sizeof k);
    Cleanse(v, sizeof v);
    return 0;
}

int CCryptEngine::RegisterBuiltInKey() {
    std::array<std::uint8_t, 34> bytes{};
    const int count = PasswordToBytes(m_messages.MsgB(1), bytes);
    const int rc = RegisterKey(bytes.data(), count, kBuiltInKeyName, QString());
    Cleanse(bytes.data(), bytes.size());
    if (rc != 0)
        return -1;
    m_builtInName = kBuiltInKeyName;
    return 0;
}

int CCryptEngine::RegisterTempKey(const QString& password, const QString& hint, QString& name) {
    std::array<std::uint8_t, 34> bytes{};
    const int count = PasswordToBytes(password, bytes);
    const int rc = RegisterKey(bytes.data(), count, kTempKeyName, hint);
    Cleanse(bytes.data(), bytes.size());
    if (rc != 0)
        return -1;
    name = kTempKeyName;
    return 0;
}

int CCryptEngine::RegisterTempKeyBytes(const std::uint8_t* password, int count, QString& name) {
    if (RegisterKey(password, count, kTempKeyName, QString()) != 0)
        return -1;
    name = kTempKeyName;
    return 0;
}

int CCryptEngine::RegisterRawKey(const QString& name, const std::uint8_t key[32], const std::uint8_t iv[16]) {
    int index = name == kBuiltInKeyName ? kBuiltInSlot : name == kTempKeyName ? kTempSlot : -1;
    for (int i = kFirstFolderSlot; i < kSlotCount && index < 0; ++i)
        if (m_slots[i].name.isEmpty())
            index = i;
    if (index < 0)
        return Report(msg::kNoFreeKeySlot, QString());
    KeySlot& slot = m_slots[index];
    slot.name = name;
    std::memcpy(slot.key.data(), key, 32);
    std::memcpy(slot.iv.data(), iv, 16);
    slot.hint.fill(0);
    return 0;
}

int CCryptEngine::FindKey(const QString& name) const {
    for (const KeySlot& slot : m_slots)
        if (!slot.name.isEmpty() && slot.name == name)
            return 0;
    return -1;
}

void CCryptEngine::ReleaseKey(const QString& name) {
    for (KeySlot& slot : m_slots) {
        if (!slot.name.isEmpty() && slot.name == name) {
            Cleanse(slot.key.data(), slot.key.size());
            ClearSlot(slot);
            return;
        }
    }
}

int CCryptEngine::SelectKey(KeyDirection direction, const QString& name, std::uint8_t iv[16], QString* hint) {
    return KeyCipher(direction == KeyDirection::Decrypt ? m_decryptor : m_encryptor, direction, name, iv, hint);
}

int CCryptEngine::KeyCipher(CAesCipher& cipher, KeyDirection direction, const QString& name, std::uint8_t iv[16],
                            QString* hint) {
    const KeySlot* found = nullptr;
    for (const KeySlot& slot : m_slots) {
        if (!slot.name.isEmpty() && slot.name == name) {
            found = &slot;
            break;
        }
    }
    if (!found)
        return Report(337, QString());
    std::uint8_t scratch[32];
    std::memcpy(scratch, found->key.data(), 32);
    const int rc =
        direction == KeyDirection::Decrypt ? cipher.SetDecryptKey(scratch, 32) : cipher.SetEncryptKey(scratch, 32);
    Cleanse(scratch, sizeof scratch);
    if (rc != 0)
        return Report(338, QString());
    std::memcpy(iv, found->iv.data(), 16);
    if (hint) {
        int units = 0;
        while (units < 48 && found->hint[units] != 0)
            ++units;
        *hint = QString::fromUtf16(found->hint.data(), units);
    }
    return 0;
}

int CCryptEngine::CheckPasswordChars(const QString& password) {
    for (const QChar ch : password) {
        const char16_t c = ch.unicode();
        const bool allowed = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             IsPunctuation(c) || (c >= 0xFF61 && c <= 0xFF65);
        if (!allowed)
            return -1;
    }
    return 0;
}

int CCryptEngine::PasswordStrength(const QString& password, int& score) {
    const auto length = static_cast<int>(password.size());
    if (length < 8) {
        score = 0;
        return 0;
    }
    if (password.count(password.at(0)) == length) {
        score = 2;
        return 0;
    }
    for (int i = 0; i < length; ++i) {
        const int c = 1 + static_cast<int>(password.mid(i + 1).count(password.at(i)));
        if (c * 100 / length >= 70) {
            score = 10;
            return 0;
        }
    }
    const int lengthPoints = length >= 25 ? 40 : length >= 19 ? 30 : length < 13 ? 10 : 20;
    bool digit = false, lower = false, upper = false, punct = false;
    for (const QChar ch : password) {
        const char16_t c = ch.unicode();
        digit |= c >= u'0' && c <= u'9';
        lower |= c >= u'a' && c <= u'z';
        upper |= c >= u'A' && c <= u'Z';
        punct |= IsPunctuation(c);
    }
    score = lengthPoints + 15 * (int(digit) + int(lower) + int(upper) + int(punct)) - 15;
    return 0;
}

// ---- busy flag ----

int CCryptEngine::TakeBusy(int message) {
    for (int attempt = 1; attempt <= kBusyTries; ++attempt) {
        if (!m_busy) {
            m_busy = true;
            return 0;
        }
        if (attempt == kBusyTries)
            break;
        m_ui.Sleep(10);
        m_ui.Sleep(10);
    }
    Report(message, QString(), Icon::Warning);
    return -1;
}

// ---- enciphered buffers ----

int CCryptEngine::EncipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key) {
    if (TakeBusy(403) != 0)
        return -1;
    const int rc = EncipherBufferHeld(buffer, length, key);
    ReleaseBusy();
    return rc;
}

int CCryptEngine::EncipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key) {
    if (length < 0 || length % 16 != 0)
        return Report(404, QString());
    std::uint8_t chain[16];
    if (SelectKey(KeyDirection::Encrypt, key, chain) != 0)
        return -1;
    if (length == 0)
        return 0; // nothing to do, and an empty scratch has no storage to copy from
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(length));
    if (m_encryptor.EncryptCbc(buffer, scratch.data(), scratch.size(), chain) != 0)
        return Report(405, QString());
    std::memcpy(buffer, scratch.data(), scratch.size());
    Cleanse(scratch.data(), scratch.size());
    return 0;
}

int CCryptEngine::DecipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key, const std::uint8_t* chain) {
    if (TakeBusy(406) != 0)
        return -1;
    const int rc = DecipherBufferHeld(buffer, length, key, chain);
    ReleaseBusy();
    return rc;
}

int CCryptEngine::DecipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key,
                                     const std::uint8_t* chain) {
    if (length < 0 || length % 16 != 0)
        return Report(407, QString());
    std::uint8_t running[16];
    if (SelectKey(KeyDirection::Decrypt, key, running) != 0)
        return -1;
    if (chain)
        std::memcpy(running, chain, 16);
    if (length == 0)
        return 0;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(length));
    if (m_decryptor.DecryptCbc(buffer, scratch.data(), scratch.size(), running) != 0)
        return Report(408, QString());
    std::memcpy(buffer, scratch.data(), scratch.size());
    Cleanse(scratch.data(), scratch.size());
    return 0;
}

int CCryptEngine::EncipherWithBuiltInKey(std::uint8_t* buffer, qint64 length) {
    return EncipherBuffer(buffer, length, m_builtInName);
}

int CCryptEngine::DecipherWithBuiltInKey(std::uint8_t* buffer, qint64 length) {
    return DecipherBuffer(buffer, length, m_builtInName);
}

} // namespace korimbo
