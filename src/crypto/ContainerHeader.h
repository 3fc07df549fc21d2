#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace korimbo {

// The 384-byte header of every container, as plaintext once the outer layer is removed.
// Integers are little-endian, texts UTF-16LE without terminator.
class ContainerHeader {
public:
    static constexpr int kSize = 384;
    static constexpr int kSignatureOffset = 0;
    static constexpr int kSignatureUnits = 12;
    static constexpr int kVersionOffset = 24;
    static constexpr int kPadCountOffset = 30;
    static constexpr int kHintOffset = 32;
    static constexpr int kHintUnits = 48;
    static constexpr int kPlainSizeOffset = 144;
    static constexpr int kNameBlockLengthOffset = 152;
    static constexpr int kReservedTextOffset = 154;
    static constexpr int kReservedTextBytes = 16;
    static constexpr int kTailOffset = 214; // inner-encrypted, 64 bytes
    static constexpr int kTailRunBytes = 64;
    static constexpr int kDatesOffset = 280; // inner-encrypted, 16 bytes
    static constexpr int kDatesRunBytes = 16;
    static constexpr int kCheckOffset = 296; // inner-encrypted, 32 bytes
    static constexpr int kCheckRunBytes = 32;
    static constexpr int kCheckUnits = 16;
    static constexpr int kModifiedOffset = 288;
    static constexpr int kMaxNameUnits = 255;
    static constexpr int kMaxNameBlockLength = 512;

    // A header with every fixed field as written: signature, version "001", blanks and zero areas.
    static ContainerHeader Fresh(const QString& signature);

    std::uint8_t* Data() { return m_bytes.data(); }
    const std::uint8_t* Data() const { return m_bytes.data(); }
    void Fill(std::uint8_t value) { m_bytes.fill(value); }

    QString Text(int offset, int units) const;
    void SetText(int offset, int units, const QString& text, char16_t filler);

    QString Signature() const { return Text(kSignatureOffset, kSignatureUnits); }
    QString Version() const { return Text(kVersionOffset, 3); }
    int PadCount() const { return U16(kPadCountOffset); }
    void SetPadCount(int count) { SetU16(kPadCountOffset, static_cast<std::uint16_t>(count)); }
    QString Hint() const { return Text(kHintOffset, kHintUnits); } // as stored, trailing spaces kept
    void SetHint(const QString& hint) { SetText(kHintOffset, kHintUnits, hint, u' '); }
    qint64 PlainSize() const { return I64(kPlainSizeOffset); }
    void SetPlainSize(qint64 size) { SetI64(kPlainSizeOffset, size); }
    int NameBlockLength() const { return static_cast<std::int16_t>(U16(kNameBlockLengthOffset)); }
    void SetNameBlockLength(int length) { SetU16(kNameBlockLengthOffset, static_cast<std::uint16_t>(length)); }
    QString ReservedText() const;
    qint64 EncryptedAt() const { return I64(kDatesOffset); }
    qint64 ModifiedTime() const { return I64(kModifiedOffset); }
    void SetDates(qint64 encryptedAt, qint64 modified);
    void SetTail(const std::uint8_t tail[16]);
    const std::uint8_t* Tail() const { return m_bytes.data() + kTailOffset; }
    void SetCheckText(const QString& checkText) { SetText(kCheckOffset, kCheckUnits, checkText, u'\0'); }

    // Name block length for a name of `units` code units: 2 × units + 2, rounded up to 16.
    static int NameBlockLengthFor(int units) { return (2 * units + 2 + 15) / 16 * 16; }
    static bool NameBlockLengthValid(int length) {
        return length >= 16 && length <= kMaxNameBlockLength && length % 16 == 0;
    }

    std::uint16_t U16(int offset) const;
    void SetU16(int offset, std::uint16_t value);
    qint64 I64(int offset) const;
    void SetI64(int offset, qint64 value);

private:
    std::array<std::uint8_t, kSize> m_bytes{};
};

// Writes a name block: 16-bit length, the name, spaces up to `length` bytes. `out` holds `length` bytes.
void BuildNameBlock(const QString& name, int length, std::uint8_t* out);

} // namespace korimbo
