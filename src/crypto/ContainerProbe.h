#pragma once

#include "crypto/AesCipher.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/LockedRegion.h"
#include "util/MessageSource.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace korimbo {

// What a full check found wrong with one file, or kNone for a whole container.
enum class ContainerFault {
    kNone,
    kTruncated,     // the file ends before the container does
    kBodyError,     // the body does not inflate to a stream whose checksum holds
    kHeaderDamaged, // header or name block unreadable, or they disagree with a whole body
    kUnreadable,    // the file cannot be opened or read (errno in `error`)
    kOtherPassword, // a sound container the key does not open
    kNewerVersion,  // made by a newer format version
    kNotContainer,  // no container at all (a plain file)
};

// The outcome of a quiet check: nothing has been shown, the caller decides what to tell.
struct [[nodiscard]] ContainerVerdict {
    ContainerFault fault = ContainerFault::kNone;
    int error = 0;      // errno of kUnreadable
    QString storedName; // from the name block, when the key opened it
    QString hint;       // the header's hint, trailing blanks removed (kOtherPassword)
    [[nodiscard]] bool Whole() const { return fault == ContainerFault::kNone; }
};

// A verdict in the user's words (catalogue A); empty for a whole container or a plain file.
[[nodiscard]] QString FaultText(const ContainerVerdict& verdict, MessageSource& messages);

// A copy of the key material a check needs, for checks away from the engine (its key slots and ciphers
// belong to the window's thread): the built-in key of the outer layer, the folder key, and the two texts
// a header is told by. Read-only once made, so any number of threads may share one.
class ProbeKeys {
public:
    struct Material {
        std::array<std::uint8_t, 32> outerKey{};
        std::array<std::uint8_t, 16> outerIv{};
        std::array<std::uint8_t, 32> key{};
        std::array<std::uint8_t, 16> iv{};
    };
    ProbeKeys(const Material& material, const QString& signature, const QString& checkText);
    ~ProbeKeys();
    ProbeKeys(const ProbeKeys&) = delete;
    ProbeKeys& operator=(const ProbeKeys&) = delete;

    const Material& Keys() const { return *m_material; }
    const QString& Signature() const { return m_signature; } // 12 code units, blank-filled
    const QString& CheckText() const { return m_checkText; } // 16 code units, NUL-filled

private:
    LockedValue<Material> m_material; // locked and left out of core dumps, like the key slots
    QString m_signature;
    QString m_checkText;
};

// A full dry-run decode of one container with the checks of a decryption (header, check text, name block,
// padding, size, tail, the stream's checksum) that reports nothing and returns what it found. Each probe
// has ciphers of its own; one probe per thread.
class CContainerProbe {
public:
    CContainerProbe(std::shared_ptr<const ProbeKeys> keys, FileSystem& files);
    ~CContainerProbe();
    CContainerProbe(const CContainerProbe&) = delete;
    CContainerProbe& operator=(const CContainerProbe&) = delete;

    [[nodiscard]] ContainerVerdict Check(const QString& path);

    // Whether a file's name is one this program gives containers: a short or unsigned file of that name
    // is a damaged container, any other is a plain file.
    [[nodiscard]] static bool HasContainerName(const QString& path);

private:
    struct Opened;
    ContainerVerdict CheckHead(File& in, Opened& opened, const QString& path);
    ContainerVerdict CheckBody(File& in, const Opened& opened, ContainerVerdict verdict);
    bool OpensWithKey(const std::uint8_t* check);
    bool ReadName(const std::uint8_t* block, int length, QString& name);

    std::shared_ptr<const ProbeKeys> m_keys;
    FileSystem& m_files;
    CAesCipher m_outer;
    CAesCipher m_inner;
    std::unique_ptr<Interaction> m_quiet;
};

} // namespace korimbo
