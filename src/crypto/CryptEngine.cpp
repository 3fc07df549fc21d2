#include "crypto/CryptEngine.h"
#include "util/MessageNumbers.h"

#include "util/ErrorText.h"
#include "util/MessageText.h"

#include <openssl/crypto.h>

#include <cstring>

namespace korimbo {

namespace {

// Wipes key material that leaves the engine, so it does not linger in freed memory.
void Cleanse(void* data, std::size_t size) {
    OPENSSL_cleanse(data, size);
}

} // namespace

CCryptEngine::CCryptEngine(Interaction& ui, MessageSource& messages, FileSystem& files)
    : m_ui(ui), m_messages(messages), m_files(files), m_batch(files), m_ahead(files) {
    ResetKeys();
}

CCryptEngine::~CCryptEngine() = default;

void CCryptEngine::Report(int number, const QString& tail, Icon icon) {
    static_cast<void>(ReportMessage(m_ui, m_messages, number, tail, icon));
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
    m_keys.Reset();
    m_builtInName.clear();
}

EngineResult CCryptEngine::RegisterKey(const std::uint8_t* password, int count, const QString& name,
                                       const QString& hint) {
    switch (m_keys.Register(password, count, name, hint)) {
    case KeyRegistration::kDone:
        return kOk;
    case KeyRegistration::kTooLong:
        return Refuse(msg::kPasswordTooLong, QString(), Icon::Warning);
    case KeyRegistration::kNoFreeSlot:
        break;
    }
    return Refuse(msg::kNoFreeKeySlot, QString());
}

EngineResult CCryptEngine::RegisterBuiltInKey() {
    std::array<std::uint8_t, 34> bytes{};
    const int count = PasswordToBytes(m_messages.MsgB(1), bytes);
    const EngineResult rc = RegisterKey(bytes.data(), count, kBuiltInKeyName, QString());
    Cleanse(bytes.data(), bytes.size());
    if (rc != kOk)
        return kFailed;
    m_builtInName = kBuiltInKeyName;
    return kOk;
}

EngineResult CCryptEngine::RegisterTempKey(const QString& password, const QString& hint, QString& name) {
    std::array<std::uint8_t, 34> bytes{};
    const int count = PasswordToBytes(password, bytes);
    const EngineResult rc = RegisterKey(bytes.data(), count, kTempKeyName, hint);
    Cleanse(bytes.data(), bytes.size());
    if (rc != kOk)
        return kFailed;
    name = kTempKeyName;
    return kOk;
}

EngineResult CCryptEngine::RegisterTempKeyBytes(const std::uint8_t* password, int count, QString& name) {
    if (RegisterKey(password, count, kTempKeyName, QString()) != kOk)
        return kFailed;
    name = kTempKeyName;
    return kOk;
}

EngineResult CCryptEngine::RegisterRawKey(const QString& name, const std::uint8_t key[32], const std::uint8_t iv[16]) {
    if (m_keys.RegisterRaw(name, key, iv) != KeyRegistration::kDone)
        return Refuse(msg::kNoFreeKeySlot, QString());
    return kOk;
}

void CCryptEngine::ReleaseKey(const QString& name) {
    m_keys.Release(name);
}

EngineResult CCryptEngine::SelectKey(KeyDirection direction, const QString& name, std::uint8_t iv[16], QString* hint) {
    return KeyCipher(direction == KeyDirection::Decrypt ? m_decryptor : m_encryptor, direction, name, iv, hint);
}

EngineResult CCryptEngine::KeyCipher(CAesCipher& cipher, KeyDirection direction, const QString& name,
                                     std::uint8_t iv[16], QString* hint) {
    const KeySlot* found = m_keys.Find(name);
    if (!found)
        return Refuse(msg::kKeyNotFound, QString());
    std::uint8_t scratch[32];
    std::memcpy(scratch, found->key.data(), 32);
    const int rc =
        direction == KeyDirection::Decrypt ? cipher.SetDecryptKey(scratch, 32) : cipher.SetEncryptKey(scratch, 32);
    Cleanse(scratch, sizeof scratch);
    if (rc != 0)
        return Refuse(msg::kKeySetup, QString());
    std::memcpy(iv, found->iv.data(), 16);
    if (hint) {
        int units = 0;
        while (units < 48 && found->hint[units] != 0)
            ++units;
        *hint = QString::fromUtf16(found->hint.data(), units);
    }
    return kOk;
}

// ---- busy flag ----

EngineResult CCryptEngine::TakeBusy(int message) {
    for (int attempt = 1; attempt <= kBusyTries; ++attempt) {
        if (!m_busy) {
            m_busy = true;
            return kOk;
        }
        if (attempt == kBusyTries)
            break;
        m_ui.Sleep(10);
        m_ui.Sleep(10);
    }
    return Refuse(message, QString(), Icon::Warning);
}

// ---- enciphered buffers ----

EngineResult CCryptEngine::EncipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key,
                                          const std::uint8_t* chain) {
    if (TakeBusy(msg::kEncipherBusy) != kOk)
        return kFailed;
    const EngineResult rc = EncipherBufferHeld(buffer, length, key, chain);
    ReleaseBusy();
    return rc;
}

EngineResult CCryptEngine::EncipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key,
                                              const std::uint8_t* previous) {
    if (length < 0 || length % 16 != 0)
        return Refuse(msg::kEncipherLength, QString());
    std::uint8_t chain[16];
    CAesCipher& cipher = key == m_builtInName ? m_builtInEncryptor : m_encryptor;
    if (KeyCipher(cipher, KeyDirection::Encrypt, key, chain) != kOk)
        return kFailed;
    if (previous)
        std::memcpy(chain, previous, 16);
    if (length == 0)
        return kOk; // nothing to do, and an empty scratch has no storage to copy from
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(length));
    if (cipher.EncryptCbc(buffer, scratch.data(), scratch.size(), chain) != 0)
        return Refuse(msg::kEncipherFailed, QString());
    std::memcpy(buffer, scratch.data(), scratch.size());
    Cleanse(scratch.data(), scratch.size());
    return kOk;
}

EngineResult CCryptEngine::DecipherBuffer(std::uint8_t* buffer, qint64 length, const QString& key,
                                          const std::uint8_t* chain) {
    if (TakeBusy(msg::kDecipherBusy) != kOk)
        return kFailed;
    const EngineResult rc = DecipherBufferHeld(buffer, length, key, chain);
    ReleaseBusy();
    return rc;
}

EngineResult CCryptEngine::DecipherBufferHeld(std::uint8_t* buffer, qint64 length, const QString& key,
                                              const std::uint8_t* chain) {
    if (length < 0 || length % 16 != 0)
        return Refuse(msg::kDecipherLength, QString());
    std::uint8_t running[16];
    CAesCipher& cipher = key == m_builtInName ? m_builtInDecryptor : m_decryptor;
    if (KeyCipher(cipher, KeyDirection::Decrypt, key, running) != kOk)
        return kFailed;
    if (chain)
        std::memcpy(running, chain, 16);
    if (length == 0)
        return kOk;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(length));
    if (cipher.DecryptCbc(buffer, scratch.data(), scratch.size(), running) != 0)
        return Refuse(msg::kDecipherFailed, QString());
    std::memcpy(buffer, scratch.data(), scratch.size());
    Cleanse(scratch.data(), scratch.size());
    return kOk;
}

EngineResult CCryptEngine::EncipherWithBuiltInKey(std::uint8_t* buffer, qint64 length) {
    return EncipherBuffer(buffer, length, m_builtInName);
}

EngineResult CCryptEngine::DecipherWithBuiltInKey(std::uint8_t* buffer, qint64 length) {
    return DecipherBuffer(buffer, length, m_builtInName);
}

} // namespace korimbo
