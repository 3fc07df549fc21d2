#pragma once

#include "crypto/ContainerHeader.h"

#include <QString>

#include <array>

namespace korimbo {

// One container as listed or examined: what its header and name block revealed.
struct ContainerInfo {
    ContainerHeader header; // outer layer removed; tail sample and dates decrypted when the key was right
    std::array<char16_t, 2 + 512> nameArea{}; // length unit, then the decrypted name block over spaces
    int padCount = 0;
    int nameBlockLength = 0;
    int nameLength = 0;
    qint64 plainSize = 0;
    QString name;
    QString encryptedAtText; // YYYY/MM/DD hh:mm:ss
    QString modifiedText;    // YYYY/MM/DD hh:mm:ss, local time
    QString hint;            // 48 units as stored
    QString reservedText;
};

} // namespace korimbo
