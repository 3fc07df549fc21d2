#pragma once

// zlib's own inflate, the reader every other program has: a stream the writer makes must pass it.

#include <QByteArray>

#include <zlib.h>

namespace korimbo::test {

// The content of one zlib stream, inflated in small steps; a null array when the stream is damaged,
// ends early, or has bytes after its end.
inline QByteArray Inflate(const QByteArray& stream, int step = 4096) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return QByteArray();
    QByteArray out;
    QByteArray buffer(step, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.constData()));
    z.avail_in = static_cast<uInt>(stream.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(step);
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.constData(), step - static_cast<int>(z.avail_out));
    }
    const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    if (!whole)
        return QByteArray();
    return out.isNull() ? QByteArray("") : out;
}

} // namespace korimbo::test
