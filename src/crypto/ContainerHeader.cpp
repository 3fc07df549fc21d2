#include "crypto/ContainerHeader.h"

#include <cstring>

namespace korimbo {

ContainerHeader ContainerHeader::Fresh(const QString& signature) {
    ContainerHeader h;
    h.m_bytes.fill(0);
    h.SetText(kSignatureOffset, kSignatureUnits, signature, u' ');
    h.SetText(kVersionOffset, 3, QStringLiteral("001"), u' ');
    h.SetHint(QString());
    std::memset(h.Data() + kReservedTextOffset, 0x20, kReservedTextBytes + 44); // reserved text and blank
    std::memset(h.Data() + kTailOffset + 16, 0x20, 48);
    std::memset(h.Data() + 328, 0x20, kSize - 328);
    return h;
}

QString ContainerHeader::Text(int offset, int units) const {
    QString text(units, QChar());
    for (int i = 0; i < units; ++i)
        text[i] = QChar(U16(offset + 2 * i));
    return text;
}

void ContainerHeader::SetText(int offset, int units, const QString& text, char16_t filler) {
    for (int i = 0; i < units; ++i)
        SetU16(offset + 2 * i, i < text.size() ? text.at(i).unicode() : filler);
}

QString ContainerHeader::ReservedText() const {
    QByteArray raw(reinterpret_cast<const char*>(Data() + kReservedTextOffset), kReservedTextBytes);
    while (!raw.isEmpty() && (raw.endsWith(' ') || raw.endsWith('\0')))
        raw.chop(1);
    return QString::fromLatin1(raw);
}

void ContainerHeader::SetDates(qint64 encryptedAt, qint64 modified) {
    SetI64(kDatesOffset, encryptedAt);
    SetI64(kModifiedOffset, modified);
}

void ContainerHeader::SetTail(const std::uint8_t tail[16]) {
    std::memcpy(Data() + kTailOffset, tail, 16);
}

std::uint16_t ContainerHeader::U16(int offset) const {
    return static_cast<std::uint16_t>(m_bytes[offset] | (m_bytes[offset + 1] << 8));
}

void ContainerHeader::SetU16(int offset, std::uint16_t value) {
    m_bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    m_bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

qint64 ContainerHeader::I64(int offset) const {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | m_bytes[offset + i];
    return static_cast<qint64>(v);
}

void ContainerHeader::SetI64(int offset, qint64 value) {
    auto v = static_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i, v >>= 8)
        m_bytes[offset + i] = static_cast<std::uint8_t>(v & 0xFF);
}

void BuildNameBlock(const QString& name, int length, std::uint8_t* out) {
    const int units = static_cast<int>(name.size());
    out[0] = static_cast<std::uint8_t>(units & 0xFF);
    out[1] = static_cast<std::uint8_t>(units >> 8);
    for (int pos = 2, i = 0; pos + 1 < length; pos += 2, ++i) {
        const char16_t unit = i < units ? name.at(i).unicode() : u' ';
        out[pos] = static_cast<std::uint8_t>(unit & 0xFF);
        out[pos + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
}

} // namespace korimbo
