#include "util/SecretText.h"

#include <cstring>

namespace korimbo {

namespace {

// Keeps the compiler from dropping stores to memory that is released right after.
void Overwrite(void* data, std::size_t size) {
    if (size > 0)
        ::explicit_bzero(data, size);
}

} // namespace

void WipeString(QString& text) {
    // A null d-pointer marks data the string does not own (a literal in read-only memory).
    if (text.data_ptr().isMutable())
        Overwrite(const_cast<QChar*>(text.constData()), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

void WipeBytes(QByteArray& bytes) {
    if (bytes.data_ptr().isMutable())
        Overwrite(const_cast<char*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    bytes.clear();
}

QString DeepCopy(const QString& text) {
    if (text.isNull())
        return QString();
    return QString(text.constData(), text.size());
}

} // namespace korimbo
