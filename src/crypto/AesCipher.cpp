#include "crypto/AesCipher.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace korimbo {

namespace {

// Key length in bytes for an accepted length argument, 0 otherwise.
int KeyBytes(int length) {
    switch (length) {
    case 16:
    case 128:
        return 16;
    case 24:
    case 192:
        return 24;
    case 32:
    case 256:
        return 32;
    default:
        return 0;
    }
}

// Fetched once from the providers: a cipher given as EVP_aes_*() is looked up again at every key set-up,
// and a container takes several.
const EVP_CIPHER* Fetched(const char* name) {
    return EVP_CIPHER_fetch(nullptr, name, nullptr);
}

const EVP_CIPHER* CbcCipher(int bytes) {
    static const EVP_CIPHER* const k128 = Fetched("AES-128-CBC");
    static const EVP_CIPHER* const k192 = Fetched("AES-192-CBC");
    static const EVP_CIPHER* const k256 = Fetched("AES-256-CBC");
    return bytes == 16 ? k128 : bytes == 24 ? k192 : k256;
}

const EVP_CIPHER* EcbCipher(int bytes) {
    static const EVP_CIPHER* const k128 = Fetched("AES-128-ECB");
    static const EVP_CIPHER* const k192 = Fetched("AES-192-ECB");
    static const EVP_CIPHER* const k256 = Fetched("AES-256-ECB");
    return bytes == 16 ? k128 : bytes == 24 ? k192 : k256;
}

} // namespace

CAesCipher::CAesCipher() : m_cbc(EVP_CIPHER_CTX_new()), m_ecb(EVP_CIPHER_CTX_new()) {}

CAesCipher::~CAesCipher() {
    OPENSSL_cleanse(m_key, sizeof m_key);
    EVP_CIPHER_CTX_free(m_cbc);
    EVP_CIPHER_CTX_free(m_ecb);
}

int CAesCipher::SetEncryptKey(const std::uint8_t* key, int length) {
    return SetKey(key, length, Direction::Encrypt);
}

int CAesCipher::SetDecryptKey(const std::uint8_t* key, int length) {
    return SetKey(key, length, Direction::Decrypt);
}

int CAesCipher::SetKey(const std::uint8_t* key, int length, Direction direction) {
    const int bytes = KeyBytes(length);
    if (bytes == 0 || key == nullptr || m_cbc == nullptr || m_ecb == nullptr || CbcCipher(bytes) == nullptr ||
        EcbCipher(bytes) == nullptr)
        return 1;
    if (direction == m_direction && bytes == m_keyBytes && CRYPTO_memcmp(key, m_key, static_cast<std::size_t>(bytes)) == 0)
        return 0;
    const int enc = direction == Direction::Encrypt ? 1 : 0;
    static const std::uint8_t kZeroIv[16] = {};
    if (EVP_CipherInit_ex(m_cbc, CbcCipher(bytes), nullptr, key, kZeroIv, enc) != 1 ||
        EVP_CipherInit_ex(m_ecb, EcbCipher(bytes), nullptr, key, nullptr, enc) != 1) {
        // A half-made schedule must not be used.
        m_direction = Direction::None;
        m_info = 0;
        m_keyBytes = 0;
        OPENSSL_cleanse(m_key, sizeof m_key);
        return 1;
    }
    EVP_CIPHER_CTX_set_padding(m_cbc, 0);
    EVP_CIPHER_CTX_set_padding(m_ecb, 0);
    m_direction = direction;
    m_info = (bytes / 4 + 6) * 16; // rounds × 16
    std::memcpy(m_key, key, static_cast<std::size_t>(bytes));
    m_keyBytes = bytes;
    return 0;
}

int CAesCipher::EncryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t chain[16]) {
    return Run(Direction::Encrypt, true, in, out, length, chain);
}

int CAesCipher::DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t chain[16]) {
    return Run(Direction::Decrypt, true, in, out, length, chain);
}

int CAesCipher::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) {
    return Run(Direction::Encrypt, false, in, out, 16, nullptr);
}

int CAesCipher::DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) {
    return Run(Direction::Decrypt, false, in, out, 16, nullptr);
}

int CAesCipher::Run(Direction direction, bool chained, const std::uint8_t* in, std::uint8_t* out, std::size_t length,
                    std::uint8_t chain[16]) {
    if (length % 16 != 0 || m_direction != direction || (m_info != 160 && m_info != 192 && m_info != 224))
        return 1;
    if (length == 0)
        return 0;
    EVP_CIPHER_CTX* ctx = chained ? m_cbc : m_ecb;
    // The next chaining value is the last ciphertext block; when decrypting in place it is about to be
    // overwritten, so keep it first.
    std::uint8_t next[16];
    if (chained && direction == Direction::Decrypt)
        std::memcpy(next, in + length - 16, 16);
    if (chained && EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, chain, -1) != 1)
        return 1;
    int written = 0;
    std::size_t done = 0;
    // EVP takes int lengths: feed very large buffers in slices.
    while (done < length) {
        const std::size_t slice = std::min<std::size_t>(length - done, std::size_t{1} << 30);
        if (EVP_CipherUpdate(ctx, out + done, &written, in + done, static_cast<int>(slice)) != 1 ||
            static_cast<std::size_t>(written) != slice)
            return 1;
        done += slice;
    }
    if (chained)
        std::memcpy(chain, direction == Direction::Encrypt ? out + length - 16 : next, 16);
    return 0;
}

} // namespace korimbo
