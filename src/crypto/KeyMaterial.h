#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace korimbo {

// The fixed inputs of key derivation. They are constant for the program: containers and state files
// made with other values cannot be read by it.

// 32 single-byte characters that stand behind a password shorter than 32 bytes.
QByteArray FillerText();
// Its first 3 bytes complete the input of the chaining-value hash.
QByteArray TailText();
// The salt: three fixed texts A (5), B (5), C (6 digits) joined as A B C B A C, 32 characters.
QString SaltText();
// The 16 bytes every free slot's key (twice) and iv hold.
std::array<std::uint8_t, 16> SlotFiller();
// The password of catalogue A, joined at run time from three fixed texts so it is never stored whole.
QString CataloguePassword();

// The password conversion of the Japanese ANSI code page (932), whatever the locale: every character a
// password may hold becomes one byte; anything else becomes what the code page makes of it.
QByteArray ToCodePage932(const QString& text);

} // namespace korimbo
