#pragma once

#include <cstddef>
#include <cstdint>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

namespace korimbo {

// AES (FIPS-197) in CBC mode over whole 16-byte blocks, with a chaining value owned by the caller
// and carried across calls, so a stream encrypted in pieces gives the bytes of one call over the
// whole. OpenSSL does the block work (AES-NI where the processor has it).
// Every operation returns 0 for success and 1 for failure; nothing throws.
class CAesCipher {
public:
    CAesCipher();
    ~CAesCipher();
    CAesCipher(const CAesCipher&) = delete;
    CAesCipher& operator=(const CAesCipher&) = delete;

    // Key length in bytes (16, 24, 32) or bits (128, 192, 256). Any other length leaves the
    // schedule as it was. The key the schedule already holds, for the same direction, is not set up
    // again: many small containers in a row use one key.
    int SetEncryptKey(const std::uint8_t* key, int length);
    int SetDecryptKey(const std::uint8_t* key, int length);

    // No stream mode is offered, so there is no position to clear.
    int ResetMode() { return 0; }

    // Input and output may be the same buffer. A length that is not a multiple of 16 returns 1 before
    // anything is touched; so does an unkeyed schedule or one made for the other direction.
    int EncryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t chain[16]);
    int DecryptCbc(const std::uint8_t* in, std::uint8_t* out, std::size_t length, std::uint8_t chain[16]);

    int EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]);
    int DecryptBlock(const std::uint8_t in[16], std::uint8_t out[16]);

    // Rounds × 16: 160, 192 or 224 when keyed, anything else when not.
    int Info() const { return m_info; }

private:
    enum class Direction { None, Encrypt, Decrypt };
    int SetKey(const std::uint8_t* key, int length, Direction direction);
    int Run(Direction direction, bool chained, const std::uint8_t* in, std::uint8_t* out, std::size_t length,
            std::uint8_t chain[16]);

    EVP_CIPHER_CTX* m_cbc;
    EVP_CIPHER_CTX* m_ecb;
    Direction m_direction = Direction::None;
    int m_info = 0;
    std::uint8_t m_key[32] = {}; // the key of the schedule, to tell it again; cleansed with the cipher
    int m_keyBytes = 0;
};

} // namespace korimbo
