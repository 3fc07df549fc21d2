#pragma once

#include "util/LockedRegion.h"

#include <QString>

#include <array>
#include <cstdint>

namespace korimbo {

// One named key: an AES-256 key, the chaining value every run with it starts from, and the hint
// written into the containers made with it.
struct KeySlot {
    QString name; // empty: free
    std::array<std::uint8_t, 32> key{};
    std::array<std::uint8_t, 16> iv{};
    std::array<char16_t, 49> hint{};
};

// What registering a key ended with; the engine turns a refusal into its message.
enum class [[nodiscard]] KeyRegistration{kDone, kTooLong, kNoFreeSlot};

// The table of named key slots and the rules a password keeps. The built-in key and the temporary key
// have slots of their own; folder keys take the first free one of the rest. The table never talks to
// the user.
class CKeyTable {
public:
    static constexpr int kSlotCount = 105;
    static inline const QString kBuiltInKeyName = QStringLiteral("<koyu>");
    static inline const QString kTempKeyName = QStringLiteral("<temp>");

    CKeyTable();
    ~CKeyTable();
    CKeyTable(const CKeyTable&) = delete;
    CKeyTable& operator=(const CKeyTable&) = delete;

    void Reset();
    // Derives the key and chaining value from at most 32 password bytes.
    KeyRegistration Register(const std::uint8_t* password, int count, const QString& name, const QString& hint);
    // Installs key material made elsewhere under a name.
    KeyRegistration RegisterRaw(const QString& name, const std::uint8_t key[32], const std::uint8_t iv[16]);
    [[nodiscard]] const KeySlot* Find(const QString& name) const;
    void Release(const QString& name);
    const KeySlot& Slot(int index) const { return m_slots[index]; }
    // Whether the slots lie in locked memory (false when RLIMIT_MEMLOCK was too small for them).
    bool Locked() const { return m_slotTable.Locked(); }

    // At most the first 32 bytes go into `bytes` (34 bytes, zero-filled); returns the full byte count.
    static int PasswordToBytes(const QString& password, std::array<std::uint8_t, 34>& bytes);
    // Letters, digits, printable ASCII punctuation and the half-width katakana punctuation.
    [[nodiscard]] static bool HasAllowedChars(const QString& password);
    // 0 to 85: length, variety of character kinds, and penalties for repetition.
    [[nodiscard]] static int Strength(const QString& password);

private:
    int SlotFor(const QString& name) const;

    // The slots live in pages of their own, locked and left out of core dumps.
    LockedValue<std::array<KeySlot, kSlotCount>> m_slotTable;
    std::array<KeySlot, kSlotCount>& m_slots = *m_slotTable;
};

} // namespace korimbo
