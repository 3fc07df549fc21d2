#pragma once

// What every crypto test starts from: an engine over a scripted Interaction, the test catalogue and a
// file layer that injects faults on request, with the built-in key and one folder key registered and a
// temporary folder for all files.

#include "FaultyFileSystem.h"
#include "ScriptedInteraction.h"
#include "TestCatalogue.h"
#include "crypto/CryptEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cstdint>
#include <cstring>

namespace korimbo::test {

inline const QString kFolderKey = QStringLiteral("/media/stick/Secret");
inline const QString kPassword = QStringLiteral("Pass-word_123");
inline const QString kHint = QStringLiteral("the usual one");
// 2001-02-03 04:05:06 UTC: an old time no test run can produce by accident.
constexpr qint64 kSourceTime = 981173106;

inline std::uint8_t* U8(QByteArray& bytes) {
    return reinterpret_cast<std::uint8_t*>(bytes.data());
}
inline const std::uint8_t* U8(const QByteArray& bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

template <std::size_t N>
QByteArray Bytes(const std::array<std::uint8_t, N>& array) {
    return QByteArray(reinterpret_cast<const char*>(array.data()), N);
}

// Incompressible bytes, the same for the same seed.
inline QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.generate() & 0xFF);
    return bytes;
}

// Text that compresses well.
inline QByteArray TextBytes(qsizetype size) {
    QByteArray bytes;
    bytes.reserve(size + 64);
    for (int line = 0; bytes.size() < size; ++line)
        bytes += "line " + QByteArray::number(line) + " of a sample text that compresses well\n";
    bytes.truncate(size);
    return bytes;
}

inline QByteArray Utf16Le(const QString& text) {
    QByteArray bytes;
    for (const QChar ch : text) {
        bytes.append(static_cast<char>(ch.unicode() & 0xFF));
        bytes.append(static_cast<char>(ch.unicode() >> 8));
    }
    return bytes;
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Containers are read-only; a test that damages or replaces one writes over that, as its owner could.
inline void AllowWriting(const QString& path) {
    if (QFileInfo::exists(path))
        QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
}

inline bool IsReadOnly(const QString& path) {
    return QFileInfo::exists(path) &&
           (QFile::permissions(path) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) == 0;
}

inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    AllowWriting(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline qint64 ModifiedSecs(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

struct EngineFixture {
    EngineFixture() {
        static_cast<void>(engine.RegisterBuiltInKey());
        RegisterFolderKey(kFolderKey, kPassword, kHint);
    }

    int RegisterFolderKey(const QString& name, const QString& password, const QString& hint) {
        std::array<std::uint8_t, 34> bytes{};
        const int count = engine.PasswordToBytes(password, bytes);
        return engine.RegisterKey(bytes.data(), count, name, hint);
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    // A plain file in the folder, with the old modification time the round trips must restore.
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = Path(name);
        if (!WriteAll(path, bytes) || fs.SetModificationTime(path, kSourceTime).Failed())
            return QString();
        return path;
    }

    // Encrypts `bytes` stored as `name` into a container of its own; empty when that did not go cleanly.
    QString MakeContainer(const QString& name, const QByteArray& bytes, const QString& key = kFolderKey) {
        const QString source = Write(name, bytes);
        const QString container = Path(QStringLiteral("c%1.zorf").arg(++containersMade));
        const bool clean =
            !source.isEmpty() && engine.EncryptFile(source, container, key) == 0 && ui.Messages().isEmpty();
        ui.Clear();
        return clean ? container : QString();
    }

    // Every file in the folder, hidden ones included.
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    QStringList PartFiles() const { return Entries().filter(QStringLiteral(".part")); }

    // The 384 header bytes with the outer layer removed.
    ContainerHeader PlainHeader(const QString& container) {
        ContainerHeader header;
        QByteArray bytes = ReadAll(container).left(ContainerHeader::kSize);
        if (bytes.size() == ContainerHeader::kSize && engine.DecipherWithBuiltInKey(U8(bytes), bytes.size()) == 0)
            std::memcpy(header.Data(), bytes.constData(), ContainerHeader::kSize);
        return header;
    }

    // Writes a header back under the outer layer, as the program would have written it.
    bool WriteHeader(const QString& container, ContainerHeader header) {
        if (engine.EncipherWithBuiltInKey(header.Data(), ContainerHeader::kSize) != 0)
            return false;
        AllowWriting(container);
        QFile file(container);
        return file.open(QIODevice::ReadWrite) && file.write(reinterpret_cast<const char*>(header.Data()),
                                                             ContainerHeader::kSize) == ContainerHeader::kSize;
    }

    QTemporaryDir dir;
    ScriptedInteraction ui;
    TestCatalogue cat;
    FaultyFileSystem fs;
    CCryptEngine engine{ui, cat, fs};
    int containersMade = 0;
};

} // namespace korimbo::test
