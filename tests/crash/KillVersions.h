#pragma once

#include <QByteArray>
#include <QRandomGenerator>

namespace korimbo {

// Numbered file contents that prove themselves complete: a header with the number, then bytes that
// follow from the number alone. A torn or mixed file does not check.
struct KillVersions {
    static QByteArray Make(qint64 version, qint64 size) {
        QByteArray bytes = QByteArrayLiteral("KV") + QByteArray::number(version).rightJustified(10, '0') + '\n';
        QByteArray rest(size - bytes.size(), '\0');
        // Half random, half text: the body is neither all compressible nor all not.
        QRandomGenerator(quint32(version)).fillRange(reinterpret_cast<quint32*>(rest.data()), rest.size() / 8);
        for (qsizetype i = rest.size() / 2; i < rest.size(); ++i)
            rest[i] = char('a' + (i * 7 + version) % 26);
        return bytes + rest;
    }
    // The version `bytes` are, or -1.
    static qint64 Check(const QByteArray& bytes) {
        if (bytes.size() < 13 || !bytes.startsWith("KV") || bytes[12] != '\n')
            return -1;
        bool ok = false;
        const qint64 version = bytes.mid(2, 10).toLongLong(&ok);
        return ok && bytes == Make(version, bytes.size()) ? version : -1;
    }
};

} // namespace korimbo
