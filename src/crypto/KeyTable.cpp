#include "crypto/KeyTable.h"

#include "crypto/KeyMaterial.h"

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

// The points a password of `length` characters gets for its length alone.
int LengthPoints(int length) {
    return length >= 25 ? 40 : length >= 19 ? 30 : length < 13 ? 10 : 20;
}

// How many of the four kinds (digit, lower, upper, punctuation) the password uses.
int KindCount(const QString& password) {
    bool digit = false, lower = false, upper = false, punct = false;
    for (const QChar ch : password) {
        const char16_t c = ch.unicode();
        digit |= c >= u'0' && c <= u'9';
        lower |= c >= u'a' && c <= u'z';
        upper |= c >= u'A' && c <= u'Z';
        punct |= IsPunctuation(c);
    }
    return int(digit) + int(lower) + int(upper) + int(punct);
}

} // namespace

CKeyTable::CKeyTable() {
    Reset();
}

CKeyTable::~CKeyTable() {
    for (KeySlot& slot : m_slots)
        Cleanse(slot.key.data(), slot.key.size());
}

void CKeyTable::Reset() {
    for (KeySlot& slot : m_slots)
        ClearSlot(slot);
}

int CKeyTable::SlotFor(const QString& name) const {
    if (name == kBuiltInKeyName)
        return kBuiltInSlot;
    if (name == kTempKeyName)
        return kTempSlot;
    for (int i = kFirstFolderSlot; i < kSlotCount; ++i)
        if (m_slots[i].name.isEmpty())
            return i;
    return -1;
}

KeyRegistration CKeyTable::Register(const std::uint8_t* password, int count, const QString& name, const QString& hint) {
    if (count > 32 || count < 0)
        return KeyRegistration::kTooLong;
    const int index = SlotFor(name);
    if (index < 0)
        return KeyRegistration::kNoFreeSlot;

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
    return KeyRegistration::kDone;
}

KeyRegistration CKeyTable::RegisterRaw(const QString& name, const std::uint8_t key[32], const std::uint8_t iv[16]) {
    const int index = SlotFor(name);
    if (index < 0)
        return KeyRegistration::kNoFreeSlot;
    KeySlot& slot = m_slots[index];
    slot.name = name;
    std::memcpy(slot.key.data(), key, 32);
    std::memcpy(slot.iv.data(), iv, 16);
    slot.hint.fill(0);
    return KeyRegistration::kDone;
}

const KeySlot* CKeyTable::Find(const QString& name) const {
    for (const KeySlot& slot : m_slots)
        if (!slot.name.isEmpty() && slot.name == name)
            return &slot;
    return nullptr;
}

void CKeyTable::Release(const QString& name) {
    for (KeySlot& slot : m_slots) {
        if (!slot.name.isEmpty() && slot.name == name) {
            Cleanse(slot.key.data(), slot.key.size());
            ClearSlot(slot);
            return;
        }
    }
}

int CKeyTable::PasswordToBytes(const QString& password, std::array<std::uint8_t, 34>& bytes) {
    QByteArray converted = ToCodePage932(password);
    bytes.fill(0);
    std::memcpy(bytes.data(), converted.constData(), std::min<std::size_t>(32, converted.size()));
    const int count = static_cast<int>(converted.size());
    Cleanse(converted.data(), converted.size());
    return count;
}

bool CKeyTable::HasAllowedChars(const QString& password) {
    for (const QChar ch : password) {
        const char16_t c = ch.unicode();
        const bool allowed = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             IsPunctuation(c) || (c >= 0xFF61 && c <= 0xFF65);
        if (!allowed)
            return false;
    }
    return true;
}

int CKeyTable::Strength(const QString& password) {
    const auto length = static_cast<int>(password.size());
    if (length < 8)
        return 0;
    if (password.count(password.at(0)) == length)
        return 2;
    for (int i = 0; i < length; ++i) {
        const int c = 1 + static_cast<int>(password.mid(i + 1).count(password.at(i)));
        if (c * 100 / length >= 70)
            return 10;
    }
    return LengthPoints(length) + 15 * KindCount(password) - 15;
}

} // namespace korimbo
